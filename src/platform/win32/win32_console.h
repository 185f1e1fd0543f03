// The standard streams of a console program.
#pragma once

#include <string_view>

namespace kelto::platform::win32 {

enum class StandardStream { Output, Error };

// Writes UTF-8 text: as wide characters when the stream is a console, so that Hebrew shows
// whatever the console's code page; as the UTF-8 bytes when it is a file or a pipe.
void WriteStandardStream(StandardStream stream, std::string_view utf8);

}  // namespace kelto::platform::win32
