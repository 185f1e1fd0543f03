// A ZIP archive of stored (uncompressed) files, as the kit's own server hands the rescue VM
// its "emulator": enough of the format (local headers, central directory, end record) for
// any unzip, Windows' tar.exe included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelto::acceptance {

struct ZipEntry {
    std::string name;  // with "/" between folders
    std::string bytes;
};

// The CRC-32 of the ZIP format (polynomial 0xEDB88320, reflected, inverted at both ends).
std::uint32_t Crc32(const std::string& bytes);
// The archive's bytes: each entry stored as it is, dated 1 January 2024 00:00.
std::string StoredZip(const std::vector<ZipEntry>& entries);

}  // namespace kelto::acceptance
