#include "codec/FullBlockDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "codec/BlockDecoding.h"
#include "codec/SampleDecoder.h"
#include "codec/SampleEncoder.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"

namespace kbn {
namespace {

// What the careful decoder makes of the block at `position` after the
// samples `previous`: whether the fast path must take it (every code valid
// and none longer than a group's bits), its samples and where it ends.
struct CarefulBlock {
    bool fast = false;
    std::vector<int16_t> samples;
    uint64_t end = 0;
};

CarefulBlock DecodeCarefully(const std::vector<uint8_t>& packed, uint64_t bitCount, uint64_t position,
                             int32_t (&previous)[3]) {
    CarefulBlock careful;
    block_decoding::Block block;
    careful.end = position;
    try {
        DecodeBlockCarefully(packed, bitCount, careful.end, kSamplesPerBlock, block);
    } catch (const CError&) {
        return careful;
    }
    const auto at = static_cast<std::size_t>(position / 8);
    const auto header = static_cast<uint32_t>(packed[at] | packed[at + 1] << 8) >> (position % 8);
    const uint32_t k = ParameterOf(header & ((1u << kBlockHeaderBits) - 1));
    uint32_t longest = 0;
    for (const int16_t residual : block.residual) longest = std::max(longest, k + 1 + (ResidualCode(residual) >> k));
    careful.fast = longest <= block_decoding::CFastBitCursor::kGroupBits;
    careful.samples.resize(kSamplesPerBlock);
    block_decoding::Reconstruct(block, kSamplesPerBlock, careful.samples.data(), previous);
    return careful;
}

// Decodes a stream's blocks one call at a time against the careful
// decoder: a block is decoded exactly when the fast path must take it, to
// the same samples and the same end; a declined one changes nothing. Goes
// on after a declined block from the careful decoder's end, while it has
// one. Returns how many blocks came before the first declined one, and how
// many were decoded.
std::pair<std::size_t, std::size_t> ExpectBlockByBlockMatches(FullBlockDecoder decode, const std::vector<uint8_t>& packed,
                                      uint64_t bitCount, std::size_t blocks) {
    uint64_t position = 0;
    int32_t previous[3] = {0, 0, 0};
    int16_t out[kSamplesPerBlock];
    std::size_t firstDeclined = blocks, decoded = 0;
    for (std::size_t block = 0; block < blocks; ++block) {
        int32_t careful[3] = {previous[0], previous[1], previous[2]};
        const CarefulBlock expected = DecodeCarefully(packed, bitCount, position, careful);
        const uint64_t start = position;
        const uint64_t done = decode(packed.data(), packed.size(), bitCount, position, out, 1, previous);
        EXPECT_EQ(done, expected.fast ? 1u : 0u) << "block " << block;
        if (done == 1) {
            EXPECT_TRUE(std::equal(out, out + kSamplesPerBlock, expected.samples.begin())) << "block " << block;
            EXPECT_EQ(position, expected.end) << "block " << block;
            ++decoded;
            continue;
        }
        EXPECT_EQ(position, start) << "block " << block;
        firstDeclined = std::min(firstDeclined, block);
        if (expected.samples.empty()) break;
        position = expected.end;
        std::copy(careful, careful + 3, previous);
    }
    return {firstDeclined, decoded};
}

// Samples of every scale: each block its own spread and waveform, going on
// from where the block before ended, so that all four orders and most
// parameters occur; now and then a block of extremes.
std::vector<int16_t> Signal(std::mt19937& random, std::size_t blocks) {
    std::vector<int16_t> pcm(32 * blocks);
    int32_t base = 0;
    for (std::size_t block = 0; block < blocks; ++block) {
        const int32_t scale = 1 << (random() % 16);
        const int kind = static_cast<int>(random() % 5);
        const int32_t slope = static_cast<int32_t>(random() % static_cast<uint32_t>(2 * scale + 1)) - scale;
        for (std::size_t i = 0; i < 32; ++i) {
            const auto t = static_cast<int32_t>(i);
            int32_t x = base + static_cast<int32_t>(random() % static_cast<uint32_t>(2 * scale + 1)) - scale;  // noise
            if (kind == 1) x = base + t * slope / 8;                                        // a ramp
            if (kind == 2) x = base + t * t * slope / 256;                                  // a curve
            if (kind == 3) x = base + (t % 8 < 4 ? scale : -scale);                         // a square
            if (kind == 4 && random() % 8 == 0) x = (random() % 2) ? 32767 : -32768;        // extremes
            pcm[32 * block + i] = static_cast<int16_t>(std::clamp(x, -32768, 32767));
        }
        base = pcm[32 * block + 31];
    }
    return pcm;
}

// One call for all the blocks: it stops before the first block it would
// decline called block by block, having decoded the same samples.
void ExpectOneCallMatches(FullBlockDecoder decode, const std::vector<uint8_t>& packed, uint64_t bitCount,
                          std::size_t blocks, std::size_t firstDeclined) {
    uint64_t position = 0;
    int32_t previous[3] = {0, 0, 0};
    std::vector<int16_t> out(kSamplesPerBlock * blocks);
    const uint64_t done = decode(packed.data(), packed.size(), bitCount, position, out.data(), blocks, previous);
    ASSERT_EQ(done, firstDeclined);
    uint64_t careful = 0;
    int32_t carefulPrevious[3] = {0, 0, 0};
    for (std::size_t block = 0; block < done; ++block) {
        const CarefulBlock expected = DecodeCarefully(packed, bitCount, careful, carefulPrevious);
        EXPECT_TRUE(std::equal(expected.samples.begin(), expected.samples.end(), out.begin() + static_cast<std::ptrdiff_t>(kSamplesPerBlock * block)))
            << "block " << block;
        careful = expected.end;
    }
    EXPECT_EQ(position, careful);
    EXPECT_TRUE(std::equal(previous, previous + 3, carefulPrevious));
}

class FullBlockDecoders : public testing::TestWithParam<NamedFullBlockDecoder> {};

// Every fast decoder, the portable one too, against the careful decoder:
// on real streams they decode nearly every block, to the encoder's input;
// on damaged ones (flipped bits, a bit count cut short) they decline
// exactly the blocks they must, whether called block by block or once for
// all the blocks.
TEST_P(FullBlockDecoders, AgreeWithTheCarefulDecoder) {
    std::mt19937 random(11);
    std::size_t decodedBlocks = 0, totalBlocks = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const std::size_t blocks = 1 + random() % 40;
        const std::vector<int16_t> pcm = Signal(random, blocks);
        CMemoryStreamOut encoded;
        EncodeSample(encoded, pcm.data(), static_cast<int32_t>(pcm.size()));
        const uint64_t bitCount = GetU64(encoded.Bytes().data() + 2);
        std::vector<uint8_t> packed(encoded.Bytes().begin() + 10, encoded.Bytes().end());
        packed.resize(packed.size() + block_decoding::kFastBlockBytes);  // room for every block's fast path

        const auto [sound, fast] = ExpectBlockByBlockMatches(GetParam().decode, packed, bitCount, blocks);
        ExpectOneCallMatches(GetParam().decode, packed, bitCount, blocks, sound);
        std::vector<int16_t> decoded(kSamplesPerBlock * blocks);
        uint64_t position = 0;
        int32_t previous[3] = {0, 0, 0};
        const uint64_t done = GetParam().decode(packed.data(), packed.size(), bitCount, position, decoded.data(),
                                                blocks, previous);
        ASSERT_TRUE(std::equal(decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(kSamplesPerBlock * done), pcm.begin()))
            << "trial " << trial;
        decodedBlocks += fast;
        totalBlocks += blocks;

        std::vector<uint8_t> damaged = packed;
        for (int flip = 0; flip < 3; ++flip) damaged[random() % (packed.size() - 64)] ^= uint8_t(1u << (random() % 8));
        const uint64_t shortCount = bitCount - random() % (bitCount / 2 + 1);
        for (const auto& [bytes, count] : {std::pair{&damaged, bitCount}, std::pair{&packed, shortCount}}) {
            const std::size_t first = ExpectBlockByBlockMatches(GetParam().decode, *bytes, count, blocks).first;
            ExpectOneCallMatches(GetParam().decode, *bytes, count, blocks, first);
        }
    }
    // Nearly every block takes the fast path: the test checks what it claims.
    EXPECT_GT(decodedBlocks, totalBlocks * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Available, FullBlockDecoders, testing::ValuesIn(AvailableFullBlockDecoders()),
                         [](const testing::TestParamInfo<NamedFullBlockDecoder>& tested) {
                             return std::string(tested.param.name);
                         });

}  // namespace
}  // namespace kbn
