#include "base/registry_value.h"

namespace kelto::registry_value {

namespace {
using platform::RawRegistryValue;
using platform::ReadResult;
using platform::ReadStatus;
namespace regtype = platform::regtype;

void PutUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool IsDword(const RawRegistryValue& value) {
    return value.type == regtype::kDword && value.bytes.size() == 4;
}

std::uint32_t DwordOf(const RawRegistryValue& value) {
    return value.bytes[0] | (value.bytes[1] << 8) | (value.bytes[2] << 16) |
           (static_cast<std::uint32_t>(value.bytes[3]) << 24);
}
}  // namespace

std::string TextOfUtf16(const std::vector<std::uint8_t>& bytes) {
    std::size_t units = bytes.size() / 2;
    while (units > 0 && bytes[2 * units - 2] == 0 && bytes[2 * units - 1] == 0) --units;
    std::string out;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = bytes[2 * i] | (bytes[2 * i + 1] << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
            const std::uint32_t low = bytes[2 * i + 2] | (bytes[2 * i + 3] << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                PutUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        PutUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
    }
    return out;
}

ReadResult AsText(const RawRegistryValue& value, std::string& text) {
    if (value.type == regtype::kSz || value.type == regtype::kExpandSz) {
        text = TextOfUtf16(value.bytes);
    } else if (IsDword(value)) {
        text = std::to_string(DwordOf(value));
    } else {
        return {ReadStatus::WrongType, 0};
    }
    return {ReadStatus::Ok, 0};
}

ReadResult AsDword(const RawRegistryValue& value, std::uint32_t& number) {
    if (!IsDword(value)) return {ReadStatus::WrongType, 0};
    number = DwordOf(value);
    return {ReadStatus::Ok, 0};
}

}  // namespace kelto::registry_value
