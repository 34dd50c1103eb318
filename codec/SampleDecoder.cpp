#include "codec/SampleDecoder.h"

#include <bit>
#include <cstring>
#include <string>

#include "codec/BitReader.h"
#include "codec/BlockAnalysis.h"

namespace kbn {
namespace {

constexpr uint32_t kLargestCode = 65537;  // the code of -32768
constexpr uint32_t kHeaderBits = 6;
// The fast path reads 8 bytes wherever a block's code may start; a block of
// codes of at most 57 bits takes at most this many bytes.
constexpr uint64_t kFastBlockBytes = (kHeaderBits + kSamplesPerBlock * 57) / 8 + 16;

inline bool IsResidualCode(uint64_t code) { return code <= kLargestCode && code != 1 && code != 65536; }

// (code >> 1) - (code & 1), which is below 32768 exactly for the codes of
// 16-bit residuals (0, 2 to 65535 and 65537): ORed over a block, one test
// checks them all.
inline uint64_t ResidualExcess(uint64_t code) { return (code >> 1) - (code & 1); }

// v from its code: 2v for v >= 0, 2|v| + 1 for v < 0.
inline int16_t ResidualOf(uint64_t code) {
    const auto magnitude = static_cast<uint32_t>(code >> 1);
    const uint32_t negative = 0u - static_cast<uint32_t>(code & 1);
    return static_cast<int16_t>((magnitude ^ negative) - negative);
}

inline uint64_t LoadWord(const uint8_t* at) {
    uint64_t word;
    std::memcpy(&word, at, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

struct Block {
    uint32_t order = 0;
    int16_t residual[kSamplesPerBlock];
};

// Decodes a block's header and codes at full speed, assuming the bytes are
// there (the caller checks), and gives up (false) on anything unusual: a
// code longer than 56 bits or one that is no residual's. The careful path
// then decodes the same block and says what is wrong.
inline bool DecodeBlockFast(const uint8_t* data, uint64_t& position, uint32_t n, Block& block) {
    // A 64-bit buffer of the next bits, topped up to at least 56 of them
    // before every code from the bytes after it; the load's address does not
    // wait for the code before, which keeps it off the chain of dependent
    // steps (the "lookahead" refill).
    const uint8_t* next = data + position / 8;
    uint64_t buffer = 0;
    uint32_t count = 0;
    const auto refill = [&] {
        buffer |= LoadWord(next) << count;
        next += (63 - count) >> 3;
        count |= 56;
    };
    refill();
    buffer >>= position % 8;
    count -= static_cast<uint32_t>(position % 8);
    refill();
    block.order = static_cast<uint32_t>(buffer & 3);
    const auto k = static_cast<uint32_t>((buffer >> 2) & 15);
    buffer >>= kHeaderBits;
    count -= kHeaderBits;
    const uint64_t lowMask = (uint64_t{1} << k) - 1;
    uint64_t excess = 0;
    const auto decode = [&](uint32_t i) {
        const uint64_t rest = buffer >> k;
        const auto quotient = static_cast<uint32_t>(std::countr_zero(rest));  // 64 when rest is 0
        const uint32_t length = k + quotient + 1;
        const uint64_t code = (uint64_t{quotient} << k) | (buffer & lowMask);
        buffer >>= length & 63;
        count -= length;  // wraps when the code did not fit: caught below
        excess |= ResidualExcess(code);
        block.residual[i] = ResidualOf(code);
        return length;
    };
    // Two codes per top-up when they fit in the 56 bits it guarantees.
    uint32_t i = 0;
    for (; i + 1 < n; i += 2) {
        refill();
        const uint32_t available = count;
        const uint32_t first = decode(i);
        const uint32_t second = decode(i + 1);
        if (first + second > available) return false;
    }
    if (i < n) {
        refill();
        const uint32_t available = count;
        if (decode(i) > available) return false;
    }
    if (excess >= 32768) return false;
    position = static_cast<uint64_t>(next - data) * 8 - count;
    return true;
}

// The same, bit by bit and bounded by the bit count, with a message for
// every defect.
void DecodeBlockCarefully(std::span<const uint8_t> packed, uint64_t bitCount, uint64_t& position, uint32_t n,
                          Block& block) {
    CBitReader reader(packed, bitCount, position);
    block.order = reader.ReadBits(2);
    const uint32_t k = reader.ReadBits(4);
    for (uint32_t i = 0; i < n; ++i) {
        const uint64_t bit = reader.Position();
        const uint32_t low = reader.ReadBits(k);
        const uint64_t quotient = reader.ReadUnary();
        if (quotient > (kLargestCode >> k)) {
            throw CDecodeError("bit " + std::to_string(bit) + ": a Rice code of " + std::to_string(quotient) +
                               " zero bits is longer than any residual");
        }
        const uint64_t code = (quotient << k) | low;
        if (!IsResidualCode(code)) {
            throw CDecodeError("bit " + std::to_string(bit) + ": " + std::to_string(code) +
                               " is not the code of a 16-bit residual");
        }
        block.residual[i] = ResidualOf(code);
    }
    position = reader.Position();
}

// Undoes the order's differences: x = d + the prediction from the three
// samples before, in 16-bit wrapping arithmetic (x - x[-1] is the first
// difference, x - 2 x[-1] + x[-2] the second, and so on).
void Reconstruct(const Block& block, uint32_t n, int16_t* out, int32_t (&previous)[3]) {
    int32_t x1 = previous[0], x2 = previous[1], x3 = previous[2];
    const auto run = [&](auto predict) {
        for (uint32_t i = 0; i < n; ++i) {
            const auto sample = static_cast<int16_t>(block.residual[i] + predict(x1, x2, x3));
            out[i] = sample;
            x3 = x2;
            x2 = x1;
            x1 = sample;
        }
    };
    switch (block.order) {
        case 0: run([](int32_t, int32_t, int32_t) { return 0; }); break;
        case 1: run([](int32_t a, int32_t, int32_t) { return a; }); break;
        case 2: run([](int32_t a, int32_t b, int32_t) { return 2 * a - b; }); break;
        default: run([](int32_t a, int32_t b, int32_t c) { return 3 * (a - b) + c; }); break;
    }
    previous[0] = x1;
    previous[1] = x2;
    previous[2] = x3;
}

}  // namespace

void DecodeSample(std::span<const uint8_t> packed, uint64_t bitCount, std::span<int16_t> out) {
    if (packed.size() != bitCount / 8 + 1) {
        throw CDecodeError("the stream holds " + std::to_string(packed.size()) + " bytes for " +
                           std::to_string(bitCount) + " bits; " + std::to_string(bitCount / 8 + 1) +
                           " expected");
    }
    int32_t previous[3] = {0, 0, 0};
    uint64_t position = 0;
    Block block;
    const std::size_t frames = out.size();
    for (std::size_t start = 0;; start += kSamplesPerBlock) {
        const auto n = static_cast<uint32_t>(frames - start < kSamplesPerBlock ? frames - start : kSamplesPerBlock);
        const uint64_t blockStart = position;
        const bool roomForFastPath = position / 8 + kFastBlockBytes <= packed.size();
        if (!roomForFastPath || !DecodeBlockFast(packed.data(), position, n, block) || position > bitCount) {
            position = blockStart;
            DecodeBlockCarefully(packed, bitCount, position, n, block);
        }
        Reconstruct(block, n, out.data() + start, previous);
        if (n < kSamplesPerBlock) break;  // the final block, possibly empty
    }
    if (position != bitCount) {
        throw CDecodeError("the blocks end at bit " + std::to_string(position) + " but the bit count is " +
                           std::to_string(bitCount));
    }
    const auto usedInLastByte = static_cast<uint32_t>(bitCount % 8);
    if ((packed.back() >> usedInLastByte) != 0) {
        throw CDecodeError("the padding bits after bit " + std::to_string(bitCount) + " are not zero");
    }
}

}  // namespace kbn
