// Full blocks without SIMD: the general block functions.
#include "codec/FullBlock.h"

namespace kbn::kernels {
namespace {

PredictorHistory HistoryBefore(const int16_t* block) {
    const auto d1 = static_cast<int16_t>(block[-1] - block[-2]);
    const auto d1Before = static_cast<int16_t>(block[-2] - block[-3]);
    return PredictorHistory{block[-1], d1, static_cast<int16_t>(d1 - d1Before)};
}

}  // namespace

BlockCoding AnalyzePortable(const int16_t* block) {
    PredictorHistory history = HistoryBefore(block);
    ResidualRows rows;
    ComputeResidualRows(block, kSamplesPerBlock, history, rows);
    return ChooseBlockCoding(rows, kSamplesPerBlock);
}

void WritePortable(const int16_t* block, uint32_t order, uint32_t k, CBitWriter& bits) {
    PredictorHistory history = HistoryBefore(block);
    ResidualRows rows;
    ComputeResidualRows(block, kSamplesPerBlock, history, rows);
    uint32_t codes[kSamplesPerBlock];
    for (uint32_t i = 0; i < kSamplesPerBlock; ++i) codes[i] = ResidualCode(rows.Row(order)[i]);
    bits.WriteBits(BlockHeader(order, k), kBlockHeaderBits);
    bits.WriteRiceCodes(codes, kSamplesPerBlock, k);
}

}  // namespace kbn::kernels
