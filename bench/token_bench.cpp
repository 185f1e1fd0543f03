// The token check runs once per typed entry; it should stay well under a microsecond.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "support/fakes.h"
#include "token/token.h"

namespace {

using kelto::testing::FakeClock;

void BM_ComputeToken(benchmark::State& state) {
    std::int32_t window = 204384;
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelto::token::ComputeToken(window));
        window = (window + 1) & 0x3fffffff;
    }
}
BENCHMARK(BM_ComputeToken);

// Clock at window 204384, offset 137 (2025-12-10T16:02:17Z).
void CheckEntry(benchmark::State& state, const char* entry) {
    FakeClock clock;
    clock.utc = {2025, 12, 10, 16, 2, 17};
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelto::token::IsTokenValid(clock, entry));
    }
}

// Accepted on the first comparison: one clock reading, one token.
void BM_IsTokenValid_CurrentWindow(benchmark::State& state) { CheckEntry(state, " 226939 "); }
BENCHMARK(BM_IsTokenValid_CurrentWindow);

// Refused after every comparison: two clock readings, one token (neither grace applies at 137 s).
void BM_IsTokenValid_Wrong(benchmark::State& state) { CheckEntry(state, "123456"); }
BENCHMARK(BM_IsTokenValid_Wrong);

// Refused before the clock is read.
void BM_IsTokenValid_Malformed(benchmark::State& state) { CheckEntry(state, "12345x"); }
BENCHMARK(BM_IsTokenValid_Malformed);

// Worst case: a wrong entry within a grace period: two clock readings and two tokens.
void BM_IsTokenValid_WrongInGrace(benchmark::State& state) {
    FakeClock clock;
    clock.utc = {2025, 12, 10, 16, 0, 30};  // offset 30
    for (auto _ : state) {
        benchmark::DoNotOptimize(kelto::token::IsTokenValid(clock, "123456"));
    }
}
BENCHMARK(BM_IsTokenValid_WrongInGrace);

}  // namespace
