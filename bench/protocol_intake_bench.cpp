// The protocol intake reads whatever the browser hands over, up to the full command-line length
// and beyond: its cost must grow linearly with the input, also for hostile inputs full of
// quotes and escapes.
#include <benchmark/benchmark.h>

#include <string>

#include "app/startup.h"
#include "intake/protocol_parse.h"
#include "intake/protocol_request.h"
#include "support/fakes.h"

namespace {

std::string Repeat(const std::string& unit, std::size_t size) {
    std::string text;
    text.reserve(size + unit.size());
    while (text.size() < size) text += unit;
    text.resize(size);
    return text;
}

std::string Hostile(std::size_t size) {
    return "\"kelto:" + Repeat("%22\"\\\\\\\"%3f%3d%2f%26%3F%00%0d%0a/sid/&|^<>()%!/host//port/", size);
}

void BM_ParseAll_Hostile(benchmark::State& state) {
    const std::string text = Hostile(static_cast<std::size_t>(state.range(0)));
    kelto::intake::RequestState request;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelto::intake::ParseActionKey(text));
        benchmark::DoNotOptimize(kelto::intake::ParseSessionId(text));
        kelto::intake::ParseServerAddress(text, request);
        benchmark::DoNotOptimize(request);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseAll_Hostile)->RangeMultiplier(8)->Range(64, 1 << 20)->Complexity(benchmark::oN);

// A long run of accepted characters: the session ID stops after 80 of them.
void BM_ParseSessionId_LongRun(benchmark::State& state) {
    const std::string text = "kelto:x/sid/" + Repeat("Ab-_9", static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(kelto::intake::ParseSessionId(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseSessionId_LongRun)->RangeMultiplier(8)->Range(64, 1 << 20)->Complexity(benchmark::oN);

// The whole request as the browser sends it, against the doubles (the refusal box included).
void BM_HandleProtocolRequest(benchmark::State& state) {
    const std::string url = "\"kelto://IPCONFIG/sid/AbC-9_x/host/10.0.0.5/port/0443/tls/1\"";
    for (auto _ : state) {
        kelto::testing::FakeSystem f;
        kelto::app::RouteProtocolRequest(f.context, f.mainWindow, url);
        benchmark::DoNotOptimize(f.request);
    }
}
BENCHMARK(BM_HandleProtocolRequest);

}  // namespace
