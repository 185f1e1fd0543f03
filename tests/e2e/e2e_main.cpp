// Entry of the end-to-end suite. Besides GoogleTest's own flags it takes the programs under
// test, as Windows paths or as paths of the Linux side (seen through Wine's Z: drive):
//   kelto_e2e_tests --helper=<KeltoClientHelper.exe> --log-writer=<kelto_log_writer.exe>
//                   --standin=<kelto_standin.exe> --artifacts=<folder for screenshots>
//                   --data=<tests/data, the catalogue fixture and the hostile inputs>
#include <windows.h>

#include <cstdio>
#include <string>

#include "harness.h"

namespace {

bool TakeOption(const std::wstring& argument, const std::wstring& name, std::wstring& value) {
    const std::wstring prefix = L"--" + name + L"=";
    if (argument.compare(0, prefix.size(), prefix) != 0) return false;
    value = kelto::e2e::ToWindowsPath(argument.substr(prefix.size()));
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    auto& programs = kelto::e2e::Programs();
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
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
        std::fprintf(stderr, "unknown argument: %ls\n", argv[i]);
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
    std::printf("end-to-end suite: ANSI code page %u\n", ::GetACP());
    kelto::e2e::RegisterHostileInputTests();
    return RUN_ALL_TESTS();
}
