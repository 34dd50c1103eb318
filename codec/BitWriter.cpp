#include "codec/BitWriter.h"

#include <algorithm>
#include <stdexcept>

#include "stream/ByteOrder.h"

namespace kbn {

CBitWriter::CBitWriter(CStreamOut& out)
    : out_(out), chunk_(std::make_unique_for_overwrite<uint8_t[]>(kChunkBytes + kBlockReserve)),
      buffer_(chunk_.get()), limit_(kChunkBytes) {}

CBitWriter::CBitWriter(CStreamOut& out, uint64_t bitCount) : out_(out) {
    // As with the chunk, the limit leaves room for the widest append and a
    // word stored past it. The announced bits never reach the limit, and the
    // stream keeps only the floor(bits / 8) + 1 bytes that count.
    const auto bytes = static_cast<std::size_t>(bitCount / 8 + 1);
    const std::span<uint8_t> area = out_.OpenArea(bytes + kBlockReserve + 8);
    if (area.empty()) {
        chunk_ = std::make_unique_for_overwrite<uint8_t[]>(kChunkBytes + kBlockReserve);
        buffer_ = chunk_.get();
        limit_ = kChunkBytes;
        return;
    }
    buffer_ = area.data();
    limit_ = area.size() - 8;
    inPlace_ = true;
}

void CBitWriter::FlushChunk() {
    // In place, the area was sized for every bit announced: more is a
    // caller's fault, and the stream must not be overrun.
    if (inPlace_) throw std::logic_error("CBitWriter: more bits than announced");
    out_.Write(buffer_, static_cast<uint32_t>(used_));
    used_ = 0;
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

void CBitWriter::WriteRiceCodes(const uint32_t* codes, uint32_t n, uint32_t k) {
    // Codes of at most 32 bits go as values of a low part and a stop bit,
    // two together where they fit 56 bits, which shortens the chain of
    // dependent steps. A longer code (rare: a huge residual with a small
    // parameter) sends the codes the long way.
    uint32_t largest = 0;
    for (uint32_t i = 0; i < n; ++i) largest = std::max(largest, codes[i] >> k);
    if (largest >= 32 - k) {
        for (uint32_t i = 0; i < n; ++i) WriteRiceCode(codes[i], k);
        return;
    }
    const uint32_t lowMask = (uint32_t{1} << k) - 1;
    const auto value = [&](uint32_t code) { return (code & lowMask) | (uint64_t{1} << (k + (code >> k))); };
    const auto width = [&](uint32_t code) { return k + 1 + (code >> k); };
    uint64_t values[kMaxValuesPerAppend];
    uint64_t widths[kMaxValuesPerAppend];
    for (uint32_t i = 0; i < n;) {
        uint32_t count = 0;
        for (; i < n && count < kMaxValuesPerAppend; ++count) {
            const uint32_t firstWidth = width(codes[i]);
            if (i + 1 < n && firstWidth + width(codes[i + 1]) <= 56) {
                values[count] = value(codes[i]) | value(codes[i + 1]) << firstWidth;
                widths[count] = firstWidth + width(codes[i + 1]);
                i += 2;
            } else {
                values[count] = value(codes[i]);
                widths[count] = firstWidth;
                i += 1;
            }
        }
        AppendValues(values, widths, count);
    }
}

void CBitWriter::Finish() {
    const uint32_t tailBytes = fill_ / 8 + 1;
    for (uint32_t i = 0; i < tailBytes; ++i) {
        buffer_[used_++] = static_cast<uint8_t>(accumulator_ >> (8 * i));
    }
    if (inPlace_) {
        out_.CloseArea(used_);
    } else {
        out_.Write(buffer_, static_cast<uint32_t>(used_));
    }
    used_ = 0;
    accumulator_ = 0;
    fill_ = 0;
}

}  // namespace kbn
