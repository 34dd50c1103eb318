#pragma once

#include <cstdint>
#include <string>

#include "stream/StreamIo.h"

namespace kbn {

struct RiffChunkHeader {
    FourCC id{};
    uint32_t size = 0;
};

RiffChunkHeader ReadChunkHeader(CStreamIn& in);

// A chunk of odd size is followed by one pad byte.
inline uint64_t PaddedSize(uint32_t size) { return uint64_t{size} + (size & 1u); }

// Skips the rest of a chunk's contents (`remaining` bytes) and its pad byte.
void SkipChunkRest(CStreamIn& in, uint32_t chunkSize, uint64_t remaining);

// A chunk id for messages: the four characters, with anything unprintable
// shown as an escape.
std::string DescribeFourCC(const FourCC& id);

}  // namespace kbn
