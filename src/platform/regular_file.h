// What the handle of an opened file says about the object behind its name, and the rule that
// tells a regular file from a link. The Windows layer reads the facts from the handle it
// opened (so that nothing can be swapped in between); the rule itself is plain logic.
#pragma once

#include <cstdint>

namespace kelto::platform {

// File attribute bits, with the values Windows uses.
inline constexpr std::uint32_t kAttributeDirectory = 0x10;
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;

// Bit 29 of a reparse tag marks a name surrogate: a point that stands for another named
// object (a symbolic link, a junction or mount point), as IsReparseTagNameSurrogate tests it.
inline constexpr std::uint32_t kReparseTagNameSurrogateBit = 0x20000000;
constexpr bool IsNameSurrogateTag(std::uint32_t tag) { return (tag & kReparseTagNameSurrogateBit) != 0; }

struct OpenedFileFacts {
    std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_TAG_INFO.FileAttributes
    std::uint32_t reparseTag = 0;  // FILE_ATTRIBUTE_TAG_INFO.ReparseTag (read only with the attribute)
    std::uint32_t linkCount = 0;   // BY_HANDLE_FILE_INFORMATION.nNumberOfLinks
};

// A regular file: no folder, no name-surrogate reparse point, and exactly one name (a second
// hard link makes the same bytes reachable under a name somebody else chose). Other reparse
// points, such as the placeholders of a cloud client that keeps the file in sync, are regular.
constexpr bool IsRegularFile(const OpenedFileFacts& facts) {
    if ((facts.attributes & kAttributeDirectory) != 0) return false;
    if ((facts.attributes & kAttributeReparsePoint) != 0 && IsNameSurrogateTag(facts.reparseTag))
        return false;
    return facts.linkCount == 1;
}

}  // namespace kelto::platform
