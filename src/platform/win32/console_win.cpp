#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/win32/win32_console.h"
#include "platform/win32/win32_util.h"

namespace kelto::platform::win32 {

void WriteStandardStream(StandardStream stream, std::string_view utf8) {
    if (utf8.empty()) return;
    const bool error = stream == StandardStream::Error;
    HANDLE handle = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Widen(utf8);
        // Console writes are limited in size: a part at a time.
        constexpr std::size_t kPart = 8192;
        for (std::size_t start = 0; start < wide.size(); start += kPart) {
            const auto count = static_cast<DWORD>(std::min(kPart, wide.size() - start));
            DWORD written = 0;
            if (!::WriteConsoleW(handle, wide.data() + start, count, &written, nullptr)) break;
        }
        return;
    }
    std::FILE* file = error ? stderr : stdout;
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fflush(file);
}

}  // namespace kelto::platform::win32
