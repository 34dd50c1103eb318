#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "codec/BlockAnalysis.h"

// The pieces of the decoder's fast path that every full-block decoder
// shares. They are inline and carry no target of their own, so that a
// decoder built for a newer processor compiles them with its instructions.
namespace kbn::block_decoding {

inline constexpr uint32_t kLargestCode = 65537;  // the code of -32768
// The fast path loads 8 bytes at a time, up to 63 bits ahead of where it
// decodes; a block of codes of at most 57 bits, with those loads, stays
// within this many bytes of its start.
inline constexpr uint64_t kFastBlockBytes = (kBlockHeaderBits + kSamplesPerBlock * 57 + 63) / 8 + 16;

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

// The fast path takes a block's codes in groups, as many per top-up of its
// bits as fit with room to spare for their unary parts, which the
// encoder's choice of k keeps short: groups of GroupSize(k) codes, from
// code 0 on (the last group may be shorter).
inline constexpr uint32_t GroupSize(uint32_t k) { return k <= 3 ? 8 : k <= 9 ? 4 : k <= 13 ? 3 : 2; }

// For each k, bit i set when code i begins a group.
inline constexpr auto kGroupStarts = [] {
    std::array<uint32_t, 16> starts{};
    for (uint32_t k = 0; k < starts.size(); ++k) {
        for (uint32_t i = 0; i < kSamplesPerBlock; i += GroupSize(k)) starts[k] |= uint32_t{1} << i;
    }
    return starts;
}();

// A block's codes as the fast path leaves them: where each code ends, and
// the 32 bits from the bit before it on. Without BMI (see TakeCodes), an
// end is the code's length; with it, the length of the code and of those
// before it in its group, so that the lengths are a vector pass away
// rather than a subtraction per code on the decoder's tightest loop.
struct RawCodes {
    alignas(32) uint32_t ends[kSamplesPerBlock];
    alignas(32) uint32_t bits[kSamplesPerBlock];
};

// The code: its unary part's length (its length less the k low bits and
// the terminating one) above its k low bits.
inline uint32_t CodeOf(uint32_t end, uint32_t bits, uint32_t k) {
    return ((end - k - 1) << k) | ((bits >> 1) & ((uint32_t{1} << k) - 1));
}

// ~mask & value: a decoder built for processors with BMI gets it as one
// andn instruction from the compiler.
inline uint64_t AndNot(uint64_t mask, uint64_t value) { return ~mask & value; }

// The fast path's view of the packed bits. `bits_` holds 63 stream bits
// above its bit 0, which is the last bit already taken (a code's
// terminating one, or the header's last bit). The next terminating one is
// then the lowest set bit above a code's k low bits: one count of trailing
// zeros under a mask fixed for the block, and one shift, per code (with
// BMI, the shift is left to the end of the group; see TakeCodes). A group
// of codes is taken from those 63 bits alone; TopUp then fills the bits
// they freed from `ahead_`, the stream bits after them, which were loaded
// one group earlier. No load waits for the codes just decoded, so the
// shifts and counts are the only chain from one code to the next.
class CFastBitCursor {
public:
    // The most bits one group may take: `ahead_` holds at least 57.
    static constexpr uint32_t kGroupBits = 57;

    // At bit `position`; 16 bytes from position / 8 on are readable.
    CFastBitCursor(const uint8_t* data, uint64_t position)
        : data_(data),
          position_(position),
          bits_(StreamBits(position) << 1 | StreamBits(position + 57) << 58),
          ahead_(StreamBits(position + 63) << 1) {}

    // The bit the next code or header starts at.
    uint64_t Position() const { return position_ + static_cast<uint64_t>(63 - room_); }

    // A block's 6 header bits: the order, then k.
    uint32_t TakeHeader() {
        const auto header = static_cast<uint32_t>((bits_ >> 1) & 63);
        bits_ >>= kBlockHeaderBits;
        room_ -= static_cast<int32_t>(kBlockHeaderBits);
        return header;
    }

    // n codes of parameter k, kGroup per top-up, assuming the bytes are
    // there (the caller checks); false on a code longer than kGroupBits.
    // Each code is left raw for a vector pass to finish (see CodeOf).
    // Whether the codes are residuals' is for the caller to check.
    template <uint32_t kGroup, bool kBmi>
    [[gnu::always_inline]] bool TakeCodes(uint32_t n, uint32_t k, RawCodes& raw) {
        const uint64_t below = ~(~uint64_t{0} << (k + 1));
        // Bits 1 to `end`: k low bits, zeros, the terminating one.
        const auto take = [&](uint32_t i) {
            raw.bits[i] = static_cast<uint32_t>(bits_);
            const auto end = static_cast<uint32_t>(std::countr_zero(AndNot(below, bits_)));  // 64 when none
            raw.ends[i] = end;
            bits_ >>= end & 63;
            room_ -= static_cast<int32_t>(end);
        };
        // With BMI, a group's terminating ones are found in place, and the
        // bits are shifted down once, after the group: the candidates for
        // the next one are the bits above the last one and the next code's
        // k low bits, and clearing those takes three one-cycle steps
        // (blsmsk, shlx, andn). Shifting down after each code would put the
        // count of trailing zeros, three cycles on Intel, on the chain from
        // one code to the next. The header's bits are topped up before the
        // first group, so that every group starts with 63 bits and moving on
        // past it needs no count of the room left.
        const auto takeInPlace = [&](uint32_t first, uint32_t size) {
            const uint64_t window = bits_;
            uint64_t rest = AndNot(below, window);
            uint32_t last = 0;  // the bit of the last terminating one; 64 when none
            for (uint32_t i = first; i < first + size; ++i) {
                const auto end = static_cast<uint32_t>(std::countr_zero(rest));
                raw.bits[i] = static_cast<uint32_t>(window >> (last & 63));
                raw.ends[i] = end;
                last = end;
                // The bits through the terminating one (blsmsk), moved up
                // k, cover it too: it is above the k bits below it.
                rest = AndNot((rest ^ (rest - 1)) << k, rest);
            }
            // Once none is found, none is after it: `last` is then 64.
            if (last > kGroupBits) [[unlikely]] return false;
            // Every code takes a bit at least, so the shift is below 63.
            bits_ = (window >> last) | (ahead_ << (63 - last));
            position_ += last;
            ahead_ = StreamBits(position_ + 63) << 1;
            return true;
        };
        const auto takeGroup = [&](uint32_t first, uint32_t size) {
            if constexpr (kBmi) {
                // It changes nothing when it fails.
                if (takeInPlace(first, size)) [[likely]] return true;
            } else {
                // Within a group only these two change.
                const uint64_t startBits = bits_;
                const int32_t startRoom = room_;
                for (uint32_t i = first; i < first + size; ++i) take(i);
                if (room_ >= kMinimumRoom) [[likely]] {
                    TopUp();
                    return true;
                }
                bits_ = startBits;
                room_ = startRoom;
            }
            // Longer codes than the group size bets on: one per top-up.
            uint32_t groupEnd = 0;
            for (uint32_t i = first; i < first + size; ++i) {
                TopUp();
                take(i);
                if constexpr (kBmi) raw.ends[i] = groupEnd += raw.ends[i];
                if (room_ < kMinimumRoom) return false;
            }
            TopUp();
            return true;
        };
        if constexpr (kBmi) TopUp();
        uint32_t i = 0;
        for (; i + kGroup <= n; i += kGroup) {
            if (!takeGroup(i, kGroup)) return false;
        }
        return i == n || takeGroup(i, n - i);
    }

private:
    // `room_` below this: more than kGroupBits taken.
    static constexpr int32_t kMinimumRoom = 63 - static_cast<int32_t>(kGroupBits);

    // At least 57 stream bits from `position` on.
    uint64_t StreamBits(uint64_t position) const { return LoadWord(data_ + position / 8) >> (position % 8); }

    void TopUp() {
        bits_ |= ahead_ << room_;
        position_ += static_cast<uint64_t>(63 - room_);
        room_ = 63;
        ahead_ = StreamBits(position_ + 63) << 1;
    }

    const uint8_t* data_;
    uint64_t position_;  // the stream bit at bit 1 of `bits_` when room_ was 63
    uint64_t bits_;
    uint64_t ahead_;  // the stream bits from position_ + 63 on, from its bit 1
    int32_t room_ = 63;  // 63 less the bits taken since: where `ahead_` goes
};

// Whether n codes are all residuals' codes, and their residuals.
inline bool ResidualsOf(const uint32_t* codes, uint32_t n, int16_t* residual) {
    uint64_t excess = 0;
    for (uint32_t i = 0; i < n; ++i) {
        excess |= ResidualExcess(codes[i]);
        residual[i] = ResidualOf(codes[i]);
    }
    return excess < 32768;
}

// Takes n codes of parameter k from `cursor`, GroupSize(k) per top-up.
template <bool kBmi = false>
[[gnu::always_inline]] inline bool TakeCodes(CFastBitCursor& cursor, uint32_t n, uint32_t k, RawCodes& raw) {
    switch (GroupSize(k)) {
        case 8: return cursor.TakeCodes<8, kBmi>(n, k, raw);
        case 4: return cursor.TakeCodes<4, kBmi>(n, k, raw);
        case 3: return cursor.TakeCodes<3, kBmi>(n, k, raw);
        default: return cursor.TakeCodes<2, kBmi>(n, k, raw);
    }
}

// The fast path for any block: its codes, then their residuals; false, with
// `position` unchanged, on a long code or a code that is no residual's. The
// careful path then decodes the same block and says what is wrong.
inline bool DecodeBlockFast(const uint8_t* data, uint64_t& position, uint32_t n, Block& block) {
    CFastBitCursor cursor(data, position);
    const uint32_t header = cursor.TakeHeader();
    const uint32_t k = ParameterOf(header);
    RawCodes raw;
    if (!TakeCodes(cursor, n, k, raw)) return false;
    uint32_t codes[kSamplesPerBlock];
    for (uint32_t i = 0; i < n; ++i) codes[i] = CodeOf(raw.ends[i], raw.bits[i], k);
    if (!ResidualsOf(codes, n, block.residual)) return false;
    block.order = OrderOf(header);
    position = cursor.Position();
    return true;
}

// Full blocks, one after another, without leaving the fast path: up to
// `blocks` of them while a block's bytes lie within the `size` bytes. The
// bit buffer carries on from block to block. `rebuild(header, raw, out,
// previous)` turns a block's codes into its samples, or returns false,
// changing nothing, when they are not all residuals' codes. Stops before
// the first block the careful path must decode; returns how many it did.
// kBmi: the caller is built for processors with BMI, whose bit
// instructions make finding a group's codes in place pay (see TakeCodes).
//
// A block is rebuilt only after the codes of the next one are taken: its
// codes were stored one by one, and a vector load of them right away would
// wait for those stores to complete, holding up the decoding of the next
// block behind it.
template <bool kBmi = false, class Rebuild>
[[gnu::always_inline]] inline uint64_t DecodeFullBlocksWith(const uint8_t* data, uint64_t size, uint64_t bitCount,
                                                            uint64_t& position, int16_t* out, uint64_t blocks,
                                                            int32_t (&previous)[3], Rebuild rebuild) {
    if (size < kFastBlockBytes) return 0;
    const uint64_t lastStartByte = size - kFastBlockBytes;
    if (position / 8 > lastStartByte) return 0;
    CFastBitCursor cursor(data, position);
    RawCodes raw[2];
    uint32_t headers[2] = {0, 0};
    uint64_t starts[2] = {position, position};  // where each block begins
    uint64_t done = 0;   // blocks rebuilt
    uint64_t taken = 0;  // blocks whose codes are taken: done, or done + 1
    // Rebuilds the block taken last but not yet rebuilt; false when it is
    // declined, the cursor then back at its start.
    const auto rebuildPending = [&]() __attribute__((always_inline)) {
        const uint64_t slot = done & 1;
        if (!rebuild(headers[slot], raw[slot], out + kSamplesPerBlock * done, previous)) {
            taken = done;
            cursor = CFastBitCursor(data, starts[slot]);
            return false;
        }
        ++done;
        return true;
    };
    while (taken < blocks) {
        const uint64_t start = cursor.Position();
        if (start / 8 > lastStartByte) break;
        const uint64_t slot = taken & 1;
        starts[slot] = start;
        headers[slot] = cursor.TakeHeader();
        if (!TakeCodes<kBmi>(cursor, kSamplesPerBlock, ParameterOf(headers[slot]), raw[slot]) ||
            cursor.Position() > bitCount) {
            cursor = CFastBitCursor(data, start);
            break;
        }
        ++taken;
        if (taken - done == 2 && !rebuildPending()) break;
    }
    if (taken != done) rebuildPending();
    position = cursor.Position();
    return done;
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
