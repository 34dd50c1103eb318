#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "codec/SampleDecoder.h"
#include "stream/ByteOrder.h"

namespace kbn {

// Reads bits least significant first from packed bytes, never past a limit
// of meaningful bits; crossing it is a CError.
class CBitReader {
public:
    CBitReader(std::span<const uint8_t> bytes, uint64_t limit, uint64_t start = 0)
        : bytes_(bytes), limit_(limit), position_(start) {}

    uint64_t Position() const { return position_; }

    // `width` is 0 to 32.
    uint32_t ReadBits(uint32_t width) {
        Require(width);
        const uint64_t mask = (uint64_t{1} << width) - 1;
        const auto value = static_cast<uint32_t>(Peek() & mask);
        position_ += width;
        return value;
    }

    // Counts zero bits up to and including the next one bit; returns the
    // number of zeros.
    uint64_t ReadUnary() {
        uint64_t zeros = 0;
        for (;;) {
            const uint64_t window = Peek();
            if (window != 0) {
                const auto run = static_cast<uint64_t>(std::countr_zero(window));
                Require(run + 1);
                position_ += run + 1;
                return zeros + run;
            }
            Require(kWindowBits);
            position_ += kWindowBits;
            zeros += kWindowBits;
        }
    }

private:
    static constexpr uint32_t kWindowBits = 56;

    // The next 56 bits (fewer at the end of the bytes, zero-filled).
    uint64_t Peek() const {
        const uint64_t byte = position_ / 8;
        uint64_t word = 0;
        if (byte + 8 <= bytes_.size()) {
            word = GetU64(bytes_.data() + byte);
        } else if (byte < bytes_.size()) {
            uint8_t tail[8] = {};
            std::memcpy(tail, bytes_.data() + byte, static_cast<std::size_t>(bytes_.size() - byte));
            word = GetU64(tail);
        }
        return (word >> (position_ % 8)) & ((uint64_t{1} << kWindowBits) - 1);
    }

    void Require(uint64_t bits) const {
        if (bits > limit_ - position_) {
            throw CError("bit " + std::to_string(position_) + ": the blocks run past the bit count " +
                         std::to_string(limit_));
        }
    }

    std::span<const uint8_t> bytes_;
    uint64_t limit_;
    uint64_t position_;
};

}  // namespace kbn
