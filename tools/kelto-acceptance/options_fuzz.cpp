// Arbitrary bytes as the kit's arguments (split at NUL) and as report text: the parser never
// fails to answer, and an escaped field never holds what would end its line, column or element.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "options.h"
#include "report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> arguments;
    for (std::size_t start = 0; start <= bytes.size();) {
        const std::size_t end = bytes.find('\0', start);
        arguments.push_back(bytes.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    using namespace kelto::acceptance;
    const ParsedOptions parsed = ParseOptions(arguments);
    if (parsed.ok == !parsed.error.empty()) std::abort();
    // A refusal is one line, whatever the arguments hold.
    if (parsed.error.find_first_of("\r\n") != std::string::npos) std::abort();
    if (parsed.ok && parsed.options.standardUser.rfind("--", 0) == 0) std::abort();

    const std::string field = EscapeTsvField(bytes);
    if (field.find_first_of("\t\n\r") != std::string::npos) std::abort();
    const std::string html = EscapeHtml(bytes);
    if (html.find_first_of("<>\"'") != std::string::npos) std::abort();
    const std::string tsv = TsvReport({{bytes, Status::Fail, bytes, {}}});
    std::size_t lines = 0;
    for (char c : tsv) lines += c == '\n';
    if (lines != 2) std::abort();
    return 0;
}
