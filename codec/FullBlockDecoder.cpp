#include "codec/FullBlockDecoder.h"

#include "codec/BlockDecoding.h"
#include "codec/CpuFeatures.h"
#include "codec/FullBlock.h"

namespace kbn {

namespace kernels {

uint64_t DecodeFullBlocksPortable(const uint8_t* data, uint64_t size, uint64_t bitCount, uint64_t& position,
                                  int16_t* out, uint64_t blocks, int32_t (&previous)[3]) {
    const auto rebuild = [](uint32_t header, const block_decoding::RawCodes& raw, int16_t* samples,
                            int32_t(&before)[3]) {
        const uint32_t k = ParameterOf(header);
        uint32_t codes[kSamplesPerBlock];
        for (uint32_t i = 0; i < kSamplesPerBlock; ++i) codes[i] = block_decoding::CodeOf(raw.ends[i], raw.bits[i], k);
        block_decoding::Block block;
        block.order = OrderOf(header);
        if (!block_decoding::ResidualsOf(codes, kSamplesPerBlock, block.residual)) return false;
        block_decoding::Reconstruct(block, kSamplesPerBlock, samples, before);
        return true;
    };
    return block_decoding::DecodeFullBlocksWith(data, size, bitCount, position, out, blocks, previous, rebuild);
}

}  // namespace kernels

const std::vector<NamedFullBlockDecoder>& AvailableFullBlockDecoders() {
    static const std::vector<NamedFullBlockDecoder> decoders = [] {
        std::vector<NamedFullBlockDecoder> available = {{"portable", kernels::DecodeFullBlocksPortable}};
#ifdef KBN_HAVE_AVX2_DECODER
        if (cpu::HasAvx2()) available.push_back({"avx2", kernels::DecodeFullBlocksAvx2});
#endif
#ifdef KBN_HAVE_AVX512_DECODER
        if (cpu::HasAvx512()) available.push_back({"avx512", kernels::DecodeFullBlocksAvx512});
#endif
        return available;
    }();
    return decoders;
}

FullBlockDecoder SelectedFullBlockDecoder() {
    static const FullBlockDecoder selected = AvailableFullBlockDecoders().back().decode;
    return selected;
}

}  // namespace kbn
