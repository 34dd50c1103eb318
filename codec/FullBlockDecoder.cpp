#include "codec/FullBlockDecoder.h"

#include "codec/BlockDecoding.h"
#include "codec/FullBlock.h"

namespace kbn {

namespace kernels {

bool DecodeFullBlockPortable(const uint8_t* data, uint64_t bitCount, uint64_t& position, int16_t* out,
                             int32_t (&previous)[3]) {
    block_decoding::Block block;
    uint64_t at = position;
    if (!block_decoding::DecodeBlockFast(data, at, kSamplesPerBlock, block) || at > bitCount) return false;
    position = at;
    block_decoding::Reconstruct(block, kSamplesPerBlock, out, previous);
    return true;
}

}  // namespace kernels

const std::vector<NamedFullBlockDecoder>& AvailableFullBlockDecoders() {
    static const std::vector<NamedFullBlockDecoder> decoders = [] {
        std::vector<NamedFullBlockDecoder> available = {{"portable", kernels::DecodeFullBlockPortable}};
#ifdef KBN_HAVE_AVX2_DECODER
        if (kernels::ProcessorHasAvx2()) available.push_back({"avx2", kernels::DecodeFullBlockAvx2});
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
