#include "codec/SampleEncoder.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "codec/BitWriter.h"
#include "codec/BlockAnalysis.h"
#include "codec/FullBlock.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {


}  // namespace

void EncodeSample(CStreamOut& out, const int16_t* samples, int32_t count) {
    if (count < 0) throw std::invalid_argument("EncodeSample: negative sample count");
    const auto total = static_cast<uint32_t>(count);
    const uint32_t fullBlocks = total / kSamplesPerBlock;
    const uint32_t tail = total % kSamplesPerBlock;

    // A full block is read with the three samples before it; before the
    // first block they are zeros, which a padded copy supplies.
    int16_t firstBlock[kBlockLookBehind + kSamplesPerBlock] = {};
    if (fullBlocks > 0) std::copy(samples, samples + kSamplesPerBlock, firstBlock + kBlockLookBehind);
    const auto blockAt = [&](uint32_t block) {
        return block == 0 ? firstBlock + kBlockLookBehind : samples + uint64_t{block} * kSamplesPerBlock;
    };

    // First pass: choose every block's coding, which fixes the bit count
    // that precedes the bits. One byte per block remembers the choice.
    const FullBlockKernel& kernel = SelectedFullBlockKernel();
    std::vector<uint8_t> choices(fullBlocks);
    uint64_t bitCount = 0;
    for (uint32_t block = 0; block < fullBlocks; ++block) {
        const BlockCoding coding = kernel.analyze(blockAt(block));
        choices[block] = static_cast<uint8_t>(coding.order << 4 | coding.riceParameter);
        bitCount += kBlockHeaderBits + coding.cost;
    }
    const int16_t* tailSamples = samples + uint64_t{fullBlocks} * kSamplesPerBlock;
    PredictorHistory history;
    if (fullBlocks > 0) {
        const auto d1 = static_cast<int16_t>(tailSamples[-1] - tailSamples[-2]);
        const auto d1Before = static_cast<int16_t>(tailSamples[-2] - tailSamples[-3]);
        history = PredictorHistory{tailSamples[-1], d1, static_cast<int16_t>(d1 - d1Before)};
    }
    ResidualRows rows;
    ComputeResidualRows(tailSamples, tail, history, rows);
    const BlockCoding tailCoding = ChooseBlockCoding(rows, tail);
    bitCount += kBlockHeaderBits + tailCoding.cost;

    WriteU16(out, static_cast<uint16_t>(kSamplesPerBlock));
    WriteU64(out, bitCount);

    // Second pass: the chosen row of every block again, written out.
    CBitWriter bits(out, bitCount);
    for (uint32_t block = 0; block < fullBlocks; ++block) {
        kernel.write(blockAt(block), choices[block] >> 4, choices[block] & 0x0F, bits);
    }
    uint32_t codes[kSamplesPerBlock];
    for (uint32_t i = 0; i < tail; ++i) codes[i] = ResidualCode(rows.Row(tailCoding.order)[i]);
    bits.WriteBits(BlockHeader(tailCoding.order, tailCoding.riceParameter), kBlockHeaderBits);
    bits.WriteRiceCodes(codes, tail, tailCoding.riceParameter);
    if (bits.BitCount() != bitCount) throw std::logic_error("EncodeSample: bit count mismatch");
    bits.Finish();
}

}  // namespace kbn
