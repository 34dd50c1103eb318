#include "codec/BitWriter.h"

#include "stream/ByteOrder.h"

namespace kbn {

CBitWriter::CBitWriter(CStreamOut& out) : out_(out), chunk_(kChunkBytes + 8) {}

void CBitWriter::StoreWord(uint64_t word) {
    PutU64(chunk_.data() + used_, word);
    used_ += 8;
    storedBits_ += 64;
    if (used_ == kChunkBytes) {
        out_.Write(chunk_.data(), static_cast<uint32_t>(used_));
        used_ = 0;
    }
}

void CBitWriter::WriteZeros(uint64_t count) {
    fill_ += static_cast<uint32_t>(count % 64);
    uint64_t words = count / 64;
    if (fill_ >= 64) {
        fill_ -= 64;
        ++words;
    }
    // The accumulator's bits stay where they are; each whole word passed
    // over is stored, and only the first of them can hold earlier bits.
    for (; words > 0; --words) {
        StoreWord(accumulator_);
        accumulator_ = 0;
    }
}

void CBitWriter::Finish() {
    const uint32_t tailBytes = fill_ / 8 + 1;
    for (uint32_t i = 0; i < tailBytes; ++i) {
        chunk_[used_++] = static_cast<uint8_t>(accumulator_ >> (8 * i));
    }
    out_.Write(chunk_.data(), static_cast<uint32_t>(used_));
    used_ = 0;
    accumulator_ = 0;
    fill_ = 0;
}

}  // namespace kbn
