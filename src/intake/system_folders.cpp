#include "intake/system_folders.h"

#include <array>

#include "base/text.h"

namespace kelto::intake {

std::string ResolveSystemFile(platform::Environment& environment, platform::FileSystem& files,
                              const std::string& name) {
    std::string root = environment.Get("SystemRoot");
    if (root.empty()) root = environment.Get("WinDir");
    const std::array<std::string, 4> candidates = {
        root + "\\Sysnative\\" + name,
        root + "\\System32\\" + name,
        root + "\\SysWOW64\\" + name,
        root + "\\" + name,
    };
    for (const auto& candidate : candidates) {
        if (files.IsNormalFile(candidate)) return candidate;
    }
    return name;
}

}  // namespace kelto::intake
