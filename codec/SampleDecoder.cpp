#include "codec/SampleDecoder.h"

#include <bit>
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

void DecodeSample(std::span<const uint8_t> packed, uint64_t bitCount, std::span<int16_t> out) {
    if (packed.size() != bitCount / 8 + 1) {
        throw CError("the stream holds " + std::to_string(packed.size()) + " bytes for " +
                           std::to_string(bitCount) + " bits; " + std::to_string(bitCount / 8 + 1) +
                           " expected");
    }
    int32_t previous[3] = {0, 0, 0};
    uint64_t position = 0;
    Block block;
    const FullBlockDecoder decodeFullBlocks = SelectedFullBlockDecoder();
    const std::size_t frames = out.size();
    for (std::size_t start = 0;; start += kSamplesPerBlock) {
        // As many full blocks as the fast path takes, then one block here:
        // the one it declined, or the final one (possibly empty).
        const uint64_t fullBlocks = (frames - start) / kSamplesPerBlock;
        if (fullBlocks > 0) {
            // At most fullBlocks come back, so the count fits the span's size type.
            const uint64_t decoded = decodeFullBlocks(packed.data(), packed.size(), bitCount, position,
                                                      out.data() + start, fullBlocks, previous);
            start += kSamplesPerBlock * static_cast<std::size_t>(decoded);
        }
        const auto n = static_cast<uint32_t>(frames - start < kSamplesPerBlock ? frames - start : kSamplesPerBlock);
        const uint64_t blockStart = position;
        const bool roomForFastPath = position / 8 + kFastBlockBytes <= packed.size();
        if (!roomForFastPath || !DecodeBlockFast(packed.data(), position, n, block) || position > bitCount) {
            position = blockStart;
            DecodeBlockCarefully(packed, bitCount, position, n, block);
        }
        Reconstruct(block, n, out.data() + start, previous);
        if (n < kSamplesPerBlock) break;
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

}  // namespace kbn
