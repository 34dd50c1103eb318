#pragma once

#include <cstdint>
#include <string>

#include "stream/StreamIo.h"

namespace kbn {

struct RiffChunkHeader {
    FourCC id{};
    uint32_t size = 0;
    uint64_t offset = 0;  // where the header begins

    uint64_t ContentsEnd() const { return offset + 8 + size; }
};

// Reads the header at the stream's position.
RiffChunkHeader ReadChunkHeader(CStreamIn& in);

// What follows an odd-sized chunk when the byte after it is not zero and no
// chunk header can be read either at that byte or after it.
enum class AfterChunk {
    ChunkExpected,  // an error: the walk needs the next chunk
    JunkTolerated,  // the byte is skipped as a pad byte and the walk goes on
};

// Skips the rest of a chunk's contents (`remaining` bytes) and the pad byte
// after an odd-sized chunk, leaving the stream where the next chunk begins.
// `limit` is where the list or file holding the chunk ends. Many writers
// leave the pad byte out: a non-zero byte where it belongs is taken for the
// start of the next chunk when a plausible header starts there (an id of
// four printable characters and a size that fits before `limit`), and is
// skipped as a pad byte otherwise. Throws CError, naming the chunk and
// what was found, when neither reading finds a header and `after` expects a
// chunk.
void SkipChunkRest(CStreamIn& in, const RiffChunkHeader& chunk, uint64_t remaining, uint64_t limit,
                   AfterChunk after = AfterChunk::ChunkExpected);

// A chunk id for messages: the four characters, with anything unprintable
// shown as an escape.
std::string DescribeFourCC(const FourCC& id);

}  // namespace kbn
