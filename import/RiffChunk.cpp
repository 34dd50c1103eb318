#include "import/RiffChunk.h"

#include <algorithm>
#include <cstdio>

#include "stream/ByteOrder.h"
#include "stream/Error.h"

namespace kbn {
namespace {

constexpr uint64_t kHeaderSize = 8;

bool IsPrintable(uint8_t byte) { return byte >= 0x20 && byte < 0x7F; }

// Whether the 8 bytes at `header`, lying at `offset`, could start a chunk
// that ends by `limit`.
bool IsPlausibleHeader(const uint8_t* header, uint64_t offset, uint64_t limit) {
    return std::all_of(header, header + 4, IsPrintable) && GetU32(header + 4) <= limit - offset - kHeaderSize;
}

std::string DescribeHeader(const uint8_t* header) {
    FourCC id{};
    for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<char>(header[i]);
    return DescribeFourCC(id) + " of " + std::to_string(GetU32(header + 4)) + " bytes";
}

// Where the next chunk begins when the byte `first` after an odd-sized
// chunk is not zero; the stream is just past that byte. The candidates are
// a header starting at the byte and one starting after it.
uint64_t NextChunkAfterMissingPad(CStreamIn& in, const RiffChunkHeader& chunk, uint8_t first, uint64_t limit,
                                  AfterChunk after) {
    const uint64_t end = chunk.ContentsEnd();
    uint8_t bytes[kHeaderSize + 1] = {first};
    const uint64_t count = std::min<uint64_t>(limit - end, sizeof bytes);
    if (count > 1) in.Read(bytes + 1, static_cast<uint32_t>(count - 1));
    if (count >= kHeaderSize && IsPlausibleHeader(bytes, end, limit)) return end;
    if (count <= kHeaderSize || IsPlausibleHeader(bytes + 1, end + 1, limit) || after == AfterChunk::JunkTolerated) {
        return end + 1;
    }
    throw CError("after the odd-sized " + DescribeFourCC(chunk.id) + " chunk at offset " +
                 std::to_string(chunk.offset) + ", neither offset " + std::to_string(end) + " nor " +
                 std::to_string(end + 1) + " starts a chunk (found " + DescribeHeader(bytes) + " and " +
                 DescribeHeader(bytes + 1) + "; a chunk must end by offset " + std::to_string(limit) + ")");
}

}  // namespace

RiffChunkHeader ReadChunkHeader(CStreamIn& in) {
    RiffChunkHeader header;
    header.offset = in.Tell();
    header.id = ReadFourCC(in);
    header.size = ReadU32(in);
    return header;
}

void SkipChunkRest(CStreamIn& in, const RiffChunkHeader& chunk, uint64_t remaining, uint64_t limit,
                   AfterChunk after) {
    const uint64_t end = chunk.ContentsEnd();
    if ((chunk.size & 1u) == 0 || end >= limit) {
        const uint64_t skip = remaining + (chunk.size & 1u);
        if (skip != 0) in.Skip(static_cast<int64_t>(skip));
        return;
    }
    if (remaining != 0) in.Skip(static_cast<int64_t>(remaining));
    const uint8_t first = ReadU8(in);
    if (first == 0) return;  // the pad byte
    in.Seek(NextChunkAfterMissingPad(in, chunk, first, limit, after));
}

std::string DescribeFourCC(const FourCC& id) {
    std::string text = "'";
    for (char c : id) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsPrintable(byte) && c != '\'' && c != '\\') {
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
