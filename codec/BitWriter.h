#pragma once

#include <cstdint>
#include <vector>

#include "stream/StreamOut.h"

namespace kbn {

// Packs bits least significant first, filling each byte from bit 0 upward,
// through a 64-bit accumulator, and hands them to the stream in large
// chunks. Zero runs are an advance of the position, not a loop over bits.
class CBitWriter {
public:
    explicit CBitWriter(CStreamOut& out);
    CBitWriter(const CBitWriter&) = delete;
    CBitWriter& operator=(const CBitWriter&) = delete;

    // Appends the `width` (0 to 32) low bits of `value`.
    void WriteBits(uint32_t value, uint32_t width) {
        const uint64_t mask = (uint64_t{1} << width) - 1;
        Put(value & mask, width);
    }

    void WriteZeros(uint64_t count);

    // The Rice code of `code` with parameter k (0 to 15): the k low bits,
    // then (code >> k) zero bits, then a one bit.
    void WriteRiceCode(uint32_t code, uint32_t k) {
        const uint32_t quotient = code >> k;
        const uint64_t low = code & ((uint32_t{1} << k) - 1);
        if (quotient + k < kMaxPut) {
            Put(low | (uint64_t{1} << (k + quotient)), k + quotient + 1);
        } else {
            Put(low, k);
            WriteZeros(quotient);
            Put(1, 1);
        }
    }

    uint64_t BitCount() const { return storedBits_ + fill_; }

    // Writes the current partial byte, also when it holds no bit, so that
    // floor(bits / 8) + 1 bytes reach the stream, and hands everything over.
    void Finish();

private:
    static constexpr uint32_t kMaxPut = 57;
    static constexpr std::size_t kChunkBytes = 64 * 1024;

    // Appends the `width` (at most 64) low bits of `value`, which must have
    // no bits above them.
    void Put(uint64_t value, uint32_t width) {
        accumulator_ |= value << fill_;
        fill_ += width;
        if (fill_ >= 64) {
            StoreWord(accumulator_);
            fill_ -= 64;
            accumulator_ = fill_ != 0 ? value >> (width - fill_) : 0;
        }
    }

    void StoreWord(uint64_t word);

    CStreamOut& out_;
    std::vector<uint8_t> chunk_;
    std::size_t used_ = 0;
    uint64_t storedBits_ = 0;
    uint64_t accumulator_ = 0;
    uint32_t fill_ = 0;
};

}  // namespace kbn
