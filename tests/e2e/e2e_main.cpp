// Entry of the end-to-end suite. Besides GoogleTest's own flags it takes the programs under
// test, as Windows paths or as paths of the Linux side (seen through Wine's Z: drive):
//   kelto_e2e_tests --helper=<KeltoClientHelper.exe> --log-writer=<kelto_log_writer.exe>
//                   --standin=<kelto_standin.exe> --artifacts=<folder for screenshots>
//                   --data=<tests/data, the catalogue fixture and the hostile inputs>
//                   [--slowness=<N>: the helper runs N times slower than on a plain machine,
//                    under an emulator; every wait of the suite stretches by N]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

namespace {

bool TakeValue(const std::wstring& argument, const std::wstring& name, std::wstring& value) {
    const std::wstring prefix = L"--" + name + L"=";
    if (argument.compare(0, prefix.size(), prefix) != 0) return false;
    value = argument.substr(prefix.size());
    return true;
}

bool TakeOption(const std::wstring& argument, const std::wstring& name, std::wstring& value) {
    if (!TakeValue(argument, name, value)) return false;
    value = kelto::e2e::ToWindowsPath(value);
    return true;
}

// 1 to 100 in decimal digits; 0 for anything else.
int ParseFactor(const std::wstring& text) {
    if (text.empty() || text.size() > 3) return 0;
    int factor = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return 0;
        factor = factor * 10 + (c - L'0');
    }
    return factor <= 100 ? factor : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The programs are known before GoogleTest sets its tests up: the parameterized tables
    // expect what the helper under test names (a 32-bit or a 64-bit helper).
    auto& programs = kelto::e2e::Programs();
    std::vector<wchar_t*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        std::wstring slowness;
        if (TakeOption(argument, L"helper", programs.helper) ||
            TakeOption(argument, L"log-writer", programs.logWriter) ||
            TakeOption(argument, L"artifacts", programs.artifacts) ||
            TakeOption(argument, L"standin", programs.standin) ||
            TakeOption(argument, L"forwarder", programs.forwarder) ||
            TakeOption(argument, L"rescue-data", programs.rescueData) ||
            TakeOption(argument, L"data", programs.data) ||
            TakeOption(argument, L"token-tool", programs.tokenTool)) {
            continue;
        }
        if (TakeValue(argument, L"slowness", slowness)) {
            const int factor = ParseFactor(slowness);
            if (factor < 1) {
                std::fprintf(stderr, "--slowness= takes a whole number from 1 to 100: %ls\n", slowness.c_str());
                return 2;
            }
            kelto::e2e::Slowness() = factor;
            continue;
        }
        rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    ::testing::InitGoogleMock(&restCount, rest.data());
    if (restCount > 1) {
        std::fprintf(stderr, "unknown argument: %ls\n", rest[1]);
        return 2;
    }
    kelto::e2e::BecomeDpiAware();
    // Icons and colours are told from the screen's pixels, which Wine's null driver does
    // not have: the suite runs on an X display (run-in-wine.sh with KELTO_WINE_DISPLAY=xvfb).
    if (!kelto::e2e::ScreenIsReadable()) {
        std::fprintf(stderr,
                     "end-to-end suite: the screen's pixels cannot be read; run it on an X display "
                     "(KELTO_WINE_DISPLAY=xvfb)\n");
        return 1;
    }
    std::printf("end-to-end suite: ANSI code page %u; the helper under test: %ls, a %s program; waits x%d\n",
                ::GetACP(), programs.helper.c_str(), kelto::e2e::HelperIs32Bit() ? "32-bit" : "64-bit",
                kelto::e2e::Slowness());
    kelto::e2e::RegisterHostileInputTests();
    return RUN_ALL_TESTS();
}
