#include "import/RiffChunk.h"

#include <cstdio>

namespace kbn {

RiffChunkHeader ReadChunkHeader(CStreamIn& in) {
    RiffChunkHeader header;
    header.id = ReadFourCC(in);
    header.size = ReadU32(in);
    return header;
}

void SkipChunkRest(CStreamIn& in, uint32_t chunkSize, uint64_t remaining) {
    const uint64_t skip = remaining + (chunkSize & 1u);
    if (skip != 0) in.Skip(static_cast<int64_t>(skip));
}

std::string DescribeFourCC(const FourCC& id) {
    std::string text = "'";
    for (char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\'' && c != '\\') {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text + "'";
}

}  // namespace kbn
