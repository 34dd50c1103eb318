#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kbn::platform {

// The path of a temporary file beside a target: `directory` (with its
// separator), then "." + the target's `name` + "." + `unique` + ".tmp". The
// target's name is cut short where the file name would pass `maxName` bytes
// or the path `maxPath`: an output whose name is near the system's limit
// still gets a temporary file, and the output's own name is never touched.
inline std::string SiblingTempName(std::string_view directory, std::string_view name, std::string_view unique,
                                   std::size_t maxName, std::size_t maxPath) {
    const std::size_t fixed = 1 + 1 + unique.size() + 4;  // the dots, the unique part, ".tmp"
    std::size_t kept = name.size();
    if (fixed + kept > maxName) kept = maxName > fixed ? maxName - fixed : 0;
    if (directory.size() + fixed + kept > maxPath) {
        kept = maxPath > directory.size() + fixed ? maxPath - directory.size() - fixed : 0;
    }
    std::string path(directory);
    path.append(".").append(name.substr(0, kept)).append(".").append(unique).append(".tmp");
    return path;
}

}  // namespace kbn::platform
