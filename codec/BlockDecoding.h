#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "codec/BlockAnalysis.h"

// The pieces of the decoder's fast path that every full-block decoder
// shares. They are inline and carry no target of their own, so that a
// decoder built for a newer processor compiles them with its instructions.
namespace kbn::block_decoding {

inline constexpr uint32_t kLargestCode = 65537;  // the code of -32768
inline constexpr uint32_t kHeaderBits = 6;
// The fast path reads 8 bytes wherever a block's code may start; a block of
// codes of at most 57 bits takes at most this many bytes.
inline constexpr uint64_t kFastBlockBytes = (kHeaderBits + kSamplesPerBlock * 57) / 8 + 16;

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

// Reads a block's header and its n codes at full speed, assuming the bytes
// are there (the caller checks), and gives up (false) on a code longer than
// 56 bits. Whether the codes are residuals' is for the caller to check.
[[gnu::always_inline]] inline bool DecodeCodesFast(const uint8_t* data, uint64_t& position, uint32_t n,
                                                   uint32_t& order, uint32_t* codes) {
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
    order = static_cast<uint32_t>(buffer & 3);
    const auto k = static_cast<uint32_t>((buffer >> 2) & 15);
    buffer >>= kHeaderBits;
    count -= kHeaderBits;
    const uint64_t lowMask = (uint64_t{1} << k) - 1;
    const auto decode = [&](uint32_t i) {
        const uint64_t rest = buffer >> k;
        const auto quotient = static_cast<uint32_t>(std::countr_zero(rest));  // 64 when rest is 0
        const uint32_t length = k + quotient + 1;
        codes[i] = (quotient << k) | static_cast<uint32_t>(buffer & lowMask);
        buffer >>= length & 63;
        count -= length;  // wraps when the code did not fit: caught below
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
    position = static_cast<uint64_t>(next - data) * 8 - count;
    return true;
}

// The fast path for any block: its codes, then their residuals; false, with
// `position` unchanged, on a long code or a code that is no residual's. The
// careful path then decodes the same block and says what is wrong.
[[gnu::always_inline]] inline bool DecodeBlockFast(const uint8_t* data, uint64_t& position, uint32_t n, Block& block) {
    uint32_t codes[kSamplesPerBlock];
    uint64_t at = position;
    if (!DecodeCodesFast(data, at, n, block.order, codes)) return false;
    uint64_t excess = 0;
    for (uint32_t i = 0; i < n; ++i) {
        excess |= ResidualExcess(codes[i]);
        block.residual[i] = ResidualOf(codes[i]);
    }
    if (excess >= 32768) return false;
    position = at;
    return true;
}

// Undoes the order's differences: x = d + the prediction from the three
// samples before, in 16-bit wrapping arithmetic (x - x[-1] is the first
// difference, x - 2 x[-1] + x[-2] the second, and so on).
inline void Reconstruct(const Block& block, uint32_t n, int16_t* out, int32_t (&previous)[3]) {
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

}  // namespace kbn::block_decoding
