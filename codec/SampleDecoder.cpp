#include "codec/SampleDecoder.h"

#include <string>

#include "codec/BitReader.h"
#include "codec/BlockAnalysis.h"

namespace kbn {
namespace {

constexpr uint32_t kLargestCode = 65537;  // the code of -32768

int16_t ResidualFromCode(uint32_t code, uint64_t bit) {
    if (code > kLargestCode || code == 1 || code == 65536) {
        throw CDecodeError("bit " + std::to_string(bit) + ": " + std::to_string(code) +
                           " is not the code of a 16-bit residual");
    }
    const auto magnitude = static_cast<int32_t>(code >> 1);
    return static_cast<int16_t>((code & 1) ? -magnitude : magnitude);
}

// Undoes the differences of one residual of row `order` and moves the
// history on, as the encoder does for all three rows whatever the order.
int16_t Reconstruct(int16_t residual, uint32_t order, int16_t previous[3]) {
    int16_t row[4];
    row[order] = residual;
    for (uint32_t p = order; p > 0; --p) row[p - 1] = static_cast<int16_t>(row[p] + previous[p - 1]);
    for (uint32_t p = order; p < 3; ++p) row[p + 1] = static_cast<int16_t>(row[p] - previous[p]);
    previous[0] = row[0];
    previous[1] = row[1];
    previous[2] = row[2];
    return row[0];
}

}  // namespace

void DecodeSample(std::span<const uint8_t> packed, uint64_t bitCount, std::span<int16_t> out) {
    if (packed.size() != bitCount / 8 + 1) {
        throw CDecodeError("the stream holds " + std::to_string(packed.size()) + " bytes for " +
                           std::to_string(bitCount) + " bits; " + std::to_string(bitCount / 8 + 1) +
                           " expected");
    }
    CBitReader reader(packed, bitCount);
    int16_t previous[3] = {0, 0, 0};
    const std::size_t frames = out.size();
    for (std::size_t start = 0;; start += kSamplesPerBlock) {
        const std::size_t n = frames - start < kSamplesPerBlock ? frames - start : kSamplesPerBlock;
        const uint32_t order = reader.ReadBits(2);
        const uint32_t k = reader.ReadBits(4);
        for (std::size_t i = 0; i < n; ++i) {
            const uint64_t bit = reader.Position();
            const uint32_t low = reader.ReadBits(k);
            const uint64_t quotient = reader.ReadUnary();
            if (quotient > (kLargestCode >> k)) {
                throw CDecodeError("bit " + std::to_string(bit) + ": a Rice code of " +
                                   std::to_string(quotient) + " zero bits is longer than any residual");
            }
            const auto code = static_cast<uint32_t>(quotient << k) | low;
            out[start + i] = Reconstruct(ResidualFromCode(code, bit), order, previous);
        }
        if (n < kSamplesPerBlock) break;  // the final block, possibly empty
    }
    if (reader.Position() != bitCount) {
        throw CDecodeError("the blocks end at bit " + std::to_string(reader.Position()) +
                           " but the bit count is " + std::to_string(bitCount));
    }
    const uint32_t usedInLastByte = static_cast<uint32_t>(bitCount % 8);
    if ((packed.back() >> usedInLastByte) != 0) {
        throw CDecodeError("the padding bits after bit " + std::to_string(bitCount) + " are not zero");
    }
}

}  // namespace kbn
