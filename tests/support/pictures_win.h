// Pictures the Windows-layer tests keep of what they drew, for a person to look at: BMP files
// in the folder that KELTO_TEST_PICTURES names (nothing is written when it is unset). The
// pixels and the files are the end-to-end driver's (e2e::Canvas, e2e::Image, e2e::WriteBmp).
#pragma once

#include <windows.h>

#include <string>

#include "driver/driver.h"

namespace kelto::testing {

inline void KeepPicture(const std::string& name, const e2e::Image& image) {
    wchar_t folder[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"KELTO_TEST_PICTURES", folder, MAX_PATH) == 0) return;
    const std::wstring where = folder;
    // The folder and the folders above it.
    for (size_t end = where.find_first_of(L"\\/", 3); end != std::wstring::npos;
         end = where.find_first_of(L"\\/", end + 1))
        ::CreateDirectoryW(where.substr(0, end).c_str(), nullptr);
    ::CreateDirectoryW(where.c_str(), nullptr);
    e2e::WriteBmp(where + L"\\" + e2e::Widen(name) + L".bmp", image);
}

// The window as it stands on the screen, once the thread's pending painting is done (where a
// display draws at all).
inline void KeepWindowPicture(const std::string& name, HWND window) {
    ::UpdateWindow(window);
    for (int round = 0; round < 20; ++round) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(10);
    }
    if (const auto image = e2e::CaptureWindow(window)) KeepPicture(name, *image);
}

}  // namespace kelto::testing
