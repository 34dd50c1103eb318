#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "stream/ByteOrder.h"
#include "stream/StreamOut.h"

namespace kbn {

// The accumulator's words are stored with memcpy in the inner loop, which
// is the little-endian byte order only on little-endian hosts.
static_assert(std::endian::native == std::endian::little, "the bit writer stores little-endian words");

// Packs bits least significant first, filling each byte from bit 0 upward,
// through a 64-bit accumulator, and hands them to the stream in large
// chunks. Zero runs are an advance of the position, not a loop over bits.
class CBitWriter {
public:
    explicit CBitWriter(CStreamOut& out);
    // For a writer that will write exactly `bitCount` bits: where the stream
    // offers room in its own memory, the bits go straight there.
    CBitWriter(CStreamOut& out, uint64_t bitCount);
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

    // The Rice codes of n codes with one parameter k: the encoder's inner loop.
    void WriteRiceCodes(const uint32_t* codes, uint32_t n, uint32_t k);

    // Appends `count` (at most 32) values of widths[i] bits each (at most
    // 56, with no bits set above the width), kept in registers throughout.
    static constexpr uint32_t kMaxValuesPerAppend = 32;
    void AppendValues(const uint64_t* values, const uint64_t* widths, uint32_t count) {
        if (used_ + 8 * (count + 2) > limit_) FlushChunk();
        uint64_t accumulator = accumulator_;
        uint32_t fill = fill_;
        uint8_t* const start = buffer_ + used_;
        uint8_t* byte = start;
        // Whole bytes of what is pending go out first, so that fewer than 8
        // bits are pending and a value of up to 56 bits fits beside them.
        std::memcpy(byte, &accumulator, 8);  // little-endian hosts; see the assertion above
        byte += fill / 8;
        accumulator >>= fill & ~7u;
        fill %= 8;
        // Every step stores 8 bytes and moves on by the whole bytes it
        // completed: no branch on the data.
        for (uint32_t i = 0; i < count; ++i) {
            accumulator |= values[i] << fill;
            std::memcpy(byte, &accumulator, 8);
            const uint32_t total = fill + static_cast<uint32_t>(widths[i]);
            byte += total / 8;
            accumulator >>= total & ~7u;
            fill = total % 8;
        }
        const auto stored = static_cast<std::size_t>(byte - start);
        used_ += stored;
        storedBits_ += 8 * stored;
        accumulator_ = accumulator;
        fill_ = fill;
    }

    uint64_t BitCount() const { return storedBits_ + fill_; }

    // Writes the current partial byte, also when it holds no bit, so that
    // floor(bits / 8) + 1 bytes reach the stream, and hands everything over.
    // The writer's last call.
    void Finish();

private:
    static constexpr uint32_t kMaxPut = 57;
    static constexpr std::size_t kChunkBytes = 256 * 1024;
    // Room for the largest append: 32 values of 56 bits, the pending bits
    // and the spare word that every step stores.
    static constexpr std::size_t kBlockReserve = 8 * (kMaxValuesPerAppend + 2);

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

    void StoreWord(uint64_t word) {
        PutU64(buffer_ + used_, word);
        used_ += 8;
        storedBits_ += 64;
        if (used_ >= limit_) FlushChunk();
    }

    void FlushChunk();

    CStreamOut& out_;
    // Never read before written, so left uninitialised: a sample costs no
    // clearing of a buffer it may hardly use. Not allocated when the bits
    // go to the stream's own memory.
    std::unique_ptr<uint8_t[]> chunk_;
    uint8_t* buffer_ = nullptr;  // the chunk, or the stream's area
    std::size_t limit_ = 0;      // the bytes stored before a flush is due
    bool inPlace_ = false;
    std::size_t used_ = 0;
    uint64_t storedBits_ = 0;
    uint64_t accumulator_ = 0;
    uint32_t fill_ = 0;
};

}  // namespace kbn
