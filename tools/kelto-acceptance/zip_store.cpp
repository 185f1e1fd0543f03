#include "zip_store.h"

namespace kelto::acceptance {

namespace {

void Put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// MS-DOS date and time fields: 2024-01-01 00:00:00.
constexpr std::uint32_t kDosTime = 0;
constexpr std::uint32_t kDosDate = ((2024 - 1980) << 9) | (1 << 5) | 1;

}  // namespace

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string StoredZip(const std::vector<ZipEntry>& entries) {
    std::string out;
    std::string central;
    for (const auto& e : entries) {
        const std::uint32_t crc = Crc32(e.bytes);
        const auto size = static_cast<std::uint32_t>(e.bytes.size());
        const auto offset = static_cast<std::uint32_t>(out.size());
        // Local file header.
        Put32(out, 0x04034B50);
        Put16(out, 10);  // version needed: 1.0
        Put16(out, 0);   // flags
        Put16(out, 0);   // method: stored
        Put16(out, kDosTime);
        Put16(out, kDosDate);
        Put32(out, crc);
        Put32(out, size);
        Put32(out, size);
        Put16(out, static_cast<std::uint32_t>(e.name.size()));
        Put16(out, 0);  // extra field length
        out += e.name;
        out += e.bytes;
        // Its central directory record.
        Put32(central, 0x02014B50);
        Put16(central, 20);  // made by: MS-DOS, 2.0
        Put16(central, 10);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, kDosTime);
        Put16(central, kDosDate);
        Put32(central, crc);
        Put32(central, size);
        Put32(central, size);
        Put16(central, static_cast<std::uint32_t>(e.name.size()));
        Put16(central, 0);  // extra
        Put16(central, 0);  // comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, 0);  // external attributes
        Put32(central, offset);
        central += e.name;
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put32(out, static_cast<std::uint32_t>(central.size()));
    Put32(out, centralOffset);
    Put16(out, 0);  // comment length
    return out;
}

}  // namespace kelto::acceptance
