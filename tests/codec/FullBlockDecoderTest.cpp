#include "codec/FullBlockDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "codec/BlockDecoding.h"
#include "codec/SampleEncoder.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"

namespace kbn {
namespace {

// What one decoder made of a stream, block after block: the samples of
// each block it decoded (none for one it declined) and where it ended.
struct Outcome {
    std::vector<std::vector<int16_t>> blocks;
    std::vector<uint64_t> positions;
    bool operator==(const Outcome&) const = default;
};

// Where the blocks of a sound stream begin: a stream's full blocks are
// coded the same however many samples follow, and an empty final block
// takes its 6 header bits.
std::vector<uint64_t> BlockStarts(const std::vector<int16_t>& pcm) {
    std::vector<uint64_t> starts;
    for (std::size_t block = 0; block <= pcm.size() / 32; ++block) {
        CMemoryStreamOut prefix;
        EncodeSample(prefix, pcm.data(), static_cast<int32_t>(32 * block));
        starts.push_back(GetU64(prefix.Bytes().data() + 2) - 6);
    }
    return starts;
}

// Decodes every block; after a declined one, carries on from the next
// block's start with the true samples before it when `resync` is given,
// and stops otherwise.
Outcome DecodeBlocks(FullBlockDecoder decode, const std::vector<uint8_t>& packed, uint64_t bitCount,
                     std::size_t blocks, const std::vector<uint64_t>* starts = nullptr,
                     const std::vector<int16_t>* pcm = nullptr) {
    Outcome outcome;
    uint64_t position = 0;
    int32_t previous[3] = {0, 0, 0};
    int16_t out[32];
    for (std::size_t block = 0; block < blocks; ++block) {
        if (position / 8 + block_decoding::kFastBlockBytes > packed.size()) break;
        const uint64_t before = position;
        const int32_t saved[3] = {previous[0], previous[1], previous[2]};
        if (decode(packed.data(), packed.size(), bitCount, position, out, 1, previous) == 1) {
            outcome.blocks.emplace_back(out, out + 32);
        } else {
            // Declining changes nothing.
            EXPECT_EQ(position, before);
            EXPECT_TRUE(std::equal(previous, previous + 3, saved));
            outcome.blocks.emplace_back();
            if (starts == nullptr) break;
            position = (*starts)[block + 1];
            for (int i = 0; i < 3; ++i) previous[i] = (*pcm)[32 * (block + 1) - 1 - i];
        }
        outcome.positions.push_back(position);
    }
    return outcome;
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
        const int32_t slope = static_cast<int32_t>(random() % (2 * scale + 1)) - scale;
        for (std::size_t i = 0; i < 32; ++i) {
            const auto t = static_cast<int32_t>(i);
            int32_t x = base + static_cast<int32_t>(random() % (2 * scale + 1)) - scale;  // noise
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

// One call for all the blocks: it must stop where block-by-block decoding
// first declines, having decoded the same samples and ended at the same bit.
void ExpectOneCallMatches(FullBlockDecoder decode, const std::vector<uint8_t>& packed, uint64_t bitCount,
                          std::size_t blocks, const Outcome& blockByBlock) {
    std::size_t expected = 0;
    while (expected < blockByBlock.blocks.size() && !blockByBlock.blocks[expected].empty()) ++expected;
    uint64_t position = 0;
    int32_t previous[3] = {0, 0, 0};
    std::vector<int16_t> out(32 * blocks);
    const uint64_t done = decode(packed.data(), packed.size(), bitCount, position, out.data(), blocks, previous);
    ASSERT_EQ(done, expected);
    EXPECT_EQ(position, expected == 0 ? 0 : blockByBlock.positions[expected - 1]);
    for (std::size_t block = 0; block < done; ++block) {
        EXPECT_TRUE(std::equal(out.begin() + 32 * block, out.begin() + 32 * (block + 1),
                               blockByBlock.blocks[block].begin()))
            << "block " << block;
    }
    if (done > 0) {
        const int32_t last[3] = {out[32 * done - 1], out[32 * done - 2], out[32 * done - 3]};
        EXPECT_TRUE(std::equal(previous, previous + 3, last));
    }
}

class FullBlockDecoders : public testing::TestWithParam<NamedFullBlockDecoder> {};

// Every decoder against the portable one: on real streams they decode every
// block to the encoder's input; on damaged ones they agree on where they
// decline and on everything before, whether called block by block or once
// for all the blocks.
TEST_P(FullBlockDecoders, AgreeWithThePortableDecoderOnSoundAndDamagedStreams) {
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

        const std::vector<uint64_t> starts = BlockStarts(pcm);
        const Outcome portable =
            DecodeBlocks(kernels::DecodeFullBlocksPortable, packed, bitCount, blocks, &starts, &pcm);
        ASSERT_EQ(portable.blocks.size(), blocks);
        for (std::size_t block = 0; block < blocks; ++block) {
            if (portable.blocks[block].empty()) continue;  // a code too long for the fast path
            ++decodedBlocks;
            const std::vector<int16_t>& decoded = portable.blocks[block];
            ASSERT_TRUE(std::equal(decoded.begin(), decoded.end(), pcm.begin() + 32 * block))
                << "trial " << trial << " block " << block;
            ASSERT_EQ(portable.positions[block], starts[block + 1]) << "trial " << trial << " block " << block;
        }
        ASSERT_EQ(DecodeBlocks(GetParam().decode, packed, bitCount, blocks, &starts, &pcm), portable)
            << "trial " << trial;
        totalBlocks += blocks;

        ExpectOneCallMatches(GetParam().decode, packed, bitCount, blocks, portable);

        // A few flipped bits, or a bit count cut short.
        std::vector<uint8_t> damaged = packed;
        for (int flip = 0; flip < 3; ++flip) damaged[random() % (packed.size() - 64)] ^= uint8_t(1u << (random() % 8));
        const Outcome damagedByBlock = DecodeBlocks(kernels::DecodeFullBlocksPortable, damaged, bitCount, blocks);
        ASSERT_EQ(DecodeBlocks(GetParam().decode, damaged, bitCount, blocks), damagedByBlock) << "trial " << trial;
        ExpectOneCallMatches(GetParam().decode, damaged, bitCount, blocks, damagedByBlock);
        const uint64_t shortCount = bitCount - random() % (bitCount / 2 + 1);
        const Outcome shortByBlock = DecodeBlocks(kernels::DecodeFullBlocksPortable, packed, shortCount, blocks);
        ASSERT_EQ(DecodeBlocks(GetParam().decode, packed, shortCount, blocks), shortByBlock) << "trial " << trial;
        ExpectOneCallMatches(GetParam().decode, packed, shortCount, blocks, shortByBlock);
    }
    // Nearly every block takes the fast path: the test checks what it claims.
    EXPECT_GT(decodedBlocks, totalBlocks * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Available, FullBlockDecoders, testing::ValuesIn(AvailableFullBlockDecoders()),
                         [](const testing::TestParamInfo<NamedFullBlockDecoder>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kbn
