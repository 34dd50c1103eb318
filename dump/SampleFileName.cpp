#include "dump/SampleFileName.h"

#include <cstdio>
#include <cstring>

namespace kbn {

std::string SampleFileName(uint32_t index, const Name& name) {
    std::string safe;
    for (uint8_t byte : name) {
        if (byte == 0) break;
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || std::strchr(" .-_+()", byte) != nullptr;
        safe.push_back(plain ? static_cast<char>(byte) : '_');
    }
    // No name of dots only ("." and ".."), no trailing spaces or dots.
    while (!safe.empty() && (safe.back() == ' ' || safe.back() == '.')) safe.pop_back();
    if (safe.empty()) safe = "sample";
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03u-", index);
    return prefix + safe + ".wav";
}

}  // namespace kbn
