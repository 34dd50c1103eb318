#include "codec/SampleDecoder.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <cstring>
#include <string>

#include "codec/BitReader.h"
#include "codec/BlockAnalysis.h"
#include "codec/BlockDecoding.h"
#include "codec/FullBlockDecoder.h"

namespace kbn {

using namespace block_decoding;

void DecodeBlockCarefully(std::span<const uint8_t> packed, uint64_t bitCount, uint64_t& position, uint32_t n,
                          Block& block) {
    CBitReader reader(packed, bitCount, position);
    const uint32_t header = reader.ReadBits(kBlockHeaderBits);
    block.order = OrderOf(header);
    const uint32_t k = ParameterOf(header);
    for (uint32_t i = 0; i < n; ++i) {
        const uint64_t bit = reader.Position();
        const uint32_t low = reader.ReadBits(k);
        const uint64_t quotient = reader.ReadUnary();
        if (quotient > (kLargestCode >> k)) {
            throw CError("bit " + std::to_string(bit) + ": a Rice code of " + std::to_string(quotient) +
                         " zero bits is longer than any residual");
        }
        const uint64_t code = (quotient << k) | low;
        if (!IsResidualCode(code)) {
            throw CError("bit " + std::to_string(bit) + ": " + std::to_string(code) +
                         " is not the code of a 16-bit residual");
        }
        block.residual[i] = ResidualOf(code);
    }
    position = reader.Position();
}

namespace {

// Decodes the blocks of a sample of `frames` frames in order, up to the
// block that holds frame `until` - 1 (every block, with the checks of the
// stream's end, when `until` is `frames`). `place(start, most)` gives where
// to write the frames from `start` on, and how many fit there (a whole
// number of blocks, at most `most`); `placed(start, count)` follows each
// write.
template <class Place, class Placed>
void DecodeBlocks(std::span<const uint8_t> packed, uint64_t bitCount, uint64_t frames, uint64_t until, Place place,
                  Placed placed) {
    if (packed.size() != bitCount / 8 + 1) {
        throw CError("the stream holds " + std::to_string(packed.size()) + " bytes for " + std::to_string(bitCount) +
                     " bits; " + std::to_string(bitCount / 8 + 1) + " expected");
    }
    int32_t previous[3] = {0, 0, 0};
    uint64_t position = 0;
    Block block;
    const FullBlockDecoder decodeFullBlocks = SelectedFullBlockDecoder();
    for (uint64_t start = 0;;) {
        // As many full blocks as the fast path takes, then one block here:
        // the one it declined, or the final one (possibly empty).
        const uint64_t fullBlocks = (frames - start) / kSamplesPerBlock;
        uint64_t room = 0;
        int16_t* to = place(start, fullBlocks * kSamplesPerBlock + kSamplesPerBlock, room);
        if (fullBlocks > 0 && room > kSamplesPerBlock) {
            const uint64_t decoded = decodeFullBlocks(packed.data(), packed.size(), bitCount, position, to,
                                                      std::min(fullBlocks, room / kSamplesPerBlock - 1), previous);
            if (decoded > 0) {
                placed(start, decoded * kSamplesPerBlock);
                start += decoded * kSamplesPerBlock;
                if (start >= until && until < frames) return;
                to = place(start, kSamplesPerBlock, room);
            }
        }
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(frames - start, kSamplesPerBlock));
        const uint64_t blockStart = position;
        const bool roomForFastPath = position / 8 + kFastBlockBytes <= packed.size();
        if (!roomForFastPath || !DecodeBlockFast(packed.data(), position, n, block) || position > bitCount) {
            position = blockStart;
            DecodeBlockCarefully(packed, bitCount, position, n, block);
        }
        Reconstruct(block, n, to, previous);
        placed(start, n);
        start += n;
        if (n < kSamplesPerBlock) break;
        if (start >= until && until < frames) return;
    }
    if (position != bitCount) {
        throw CError("the blocks end at bit " + std::to_string(position) + " but the bit count is " +
                     std::to_string(bitCount));
    }
    const auto usedInLastByte = static_cast<uint32_t>(bitCount % 8);
    if ((packed.back() >> usedInLastByte) != 0) {
        throw CError("the padding bits after bit " + std::to_string(bitCount) + " are not zero");
    }
}

}  // namespace

void DecodeSample(std::span<const uint8_t> packed, uint64_t bitCount, std::span<int16_t> out) {
    // Straight into `out`, which holds the whole sample (and a block's room
    // is all any write needs past `start`).
    DecodeBlocks(
        packed, bitCount, out.size(), out.size(),
        [&](uint64_t start, uint64_t most, uint64_t& room) {
            room = std::min<uint64_t>(most, out.size() - start + kSamplesPerBlock);
            return out.data() + start;
        },
        [](uint64_t, uint64_t) {});
}

void DecodeSampleRange(std::span<const uint8_t> packed, uint64_t bitCount, uint64_t frames, uint64_t first,
                       std::span<int16_t> out) {
    if (first > frames || out.size() > frames - first) {
        throw CError("frames " + std::to_string(first) + " to " + std::to_string(first + out.size()) +
                     " lie outside the sample's " + std::to_string(frames));
    }
    // Blocks go through a buffer of a few, from which the range's frames
    // are copied: no memory grows with the sample.
    constexpr uint64_t kBufferBlocks = 64;
    int16_t buffer[kBufferBlocks * kSamplesPerBlock];
    const uint64_t end = first + out.size();
    DecodeBlocks(
        packed, bitCount, frames, end,
        [&](uint64_t, uint64_t most, uint64_t& room) {
            room = std::min<uint64_t>(most, std::size(buffer));
            return buffer;
        },
        [&](uint64_t start, uint64_t count) {
            const uint64_t from = std::max(start, first), to = std::min(start + count, end);
            if (from < to) std::copy(buffer + (from - start), buffer + (to - start), out.data() + (from - first));
        });
}

}  // namespace kbn
