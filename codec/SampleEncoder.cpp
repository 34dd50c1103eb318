#include "codec/SampleEncoder.h"

#include <stdexcept>
#include <vector>

#include "codec/BitWriter.h"
#include "codec/BlockAnalysis.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

constexpr uint32_t kBlockHeaderBits = 6;

// The blocks of a sample: floor(count / 32) full ones and a final one of
// count mod 32 samples, which is present even when empty.
uint32_t BlockCount(uint32_t count) { return count / kSamplesPerBlock + 1; }

uint32_t BlockLength(uint32_t block, uint32_t count) {
    const uint32_t start = block * kSamplesPerBlock;
    return count - start < kSamplesPerBlock ? count - start : kSamplesPerBlock;
}

}  // namespace

void EncodeSample(CStreamOut& out, const int16_t* samples, int32_t count) {
    if (count < 0) throw std::invalid_argument("EncodeSample: negative sample count");
    const auto total = static_cast<uint32_t>(count);
    const uint32_t blocks = BlockCount(total);

    // First pass: choose every block's coding, which fixes the bit count
    // that precedes the bits. One byte per block remembers the choice.
    std::vector<uint8_t> choices(blocks);
    PredictorHistory history;
    ResidualRows rows;
    uint64_t bitCount = 0;
    for (uint32_t block = 0; block < blocks; ++block) {
        const uint32_t n = BlockLength(block, total);
        ComputeResidualRows(samples + block * kSamplesPerBlock, n, history, rows);
        const BlockCoding coding = ChooseBlockCoding(rows, n);
        choices[block] = static_cast<uint8_t>(coding.order << 4 | coding.riceParameter);
        bitCount += kBlockHeaderBits + coding.cost;
    }

    WriteU16(out, static_cast<uint16_t>(kSamplesPerBlock));
    WriteU64(out, bitCount);

    // Second pass: the rows again, written with the chosen coding.
    CBitWriter bits(out);
    history = PredictorHistory{};
    for (uint32_t block = 0; block < blocks; ++block) {
        const uint32_t n = BlockLength(block, total);
        ComputeResidualRows(samples + block * kSamplesPerBlock, n, history, rows);
        const uint32_t order = choices[block] >> 4;
        const uint32_t k = choices[block] & 0x0F;
        bits.WriteBits(order, 2);
        bits.WriteBits(k, 4);
        const uint32_t* codes = rows.codes[order].data();
        for (uint32_t i = 0; i < n; ++i) bits.WriteRiceCode(codes[i], k);
    }
    if (bits.BitCount() != bitCount) throw std::logic_error("EncodeSample: bit count mismatch");
    bits.Finish();
}

}  // namespace kbn
