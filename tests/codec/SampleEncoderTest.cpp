#include "codec/SampleEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>

#include "codec/BitWriter.h"
#include "codec/BlockAnalysis.h"
#include "codec/FullBlock.h"
#include "stream/MemoryStream.h"
#include "tests/codec/ReferenceEncoder.h"
#include "tests/codec/SignalGenerator.h"

namespace kbn {
namespace {

std::vector<uint8_t> Encode(const std::vector<int16_t>& samples) {
    CMemoryStreamOut out;
    EncodeSample(out, samples.data(), static_cast<int32_t>(samples.size()));
    return out.Bytes();
}

uint64_t BitCountOf(const std::vector<uint8_t>& stream) {
    uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i) bits |= uint64_t{stream[2 + i]} << (8 * i);
    return bits;
}

struct StreamExample {
    const char* name;
    std::vector<int16_t> samples;
    std::vector<uint8_t> stream;
};

class EncoderExamples : public testing::TestWithParam<StreamExample> {};

TEST_P(EncoderExamples, ProduceTheExactStream) {
    EXPECT_EQ(Encode(GetParam().samples), GetParam().stream);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, EncoderExamples,
    testing::Values(
        // An empty sample is its final block's 6 header bits.
        StreamExample{"Empty", {}, {0x20, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0x00}},
        // One zero: order 0, parameter 0, the code 0 as a single one bit.
        StreamExample{"SingleZero", {0}, {0x20, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0x40}},
        // 1, 2, 3: the second difference (1, 0, 0) with k = 0 costs 5 bits.
        StreamExample{"OneTwoThree", {1, 2, 3}, {0x20, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x07}}),
    [](const testing::TestParamInfo<StreamExample>& tested) { return std::string(tested.param.name); });

TEST(SampleEncoder, ThirtyTwoSamplesEndWithAnEmptyFinalBlock) {
    const std::vector<uint8_t> stream = Encode(std::vector<int16_t>(32, 0));
    // One block of 32 one-bit codes, then 6 zero header bits.
    EXPECT_EQ(BitCountOf(stream), 6u + 32u + 6u);
    EXPECT_EQ(stream.size(), 10u + 44u / 8 + 1);
    EXPECT_EQ(stream, test::ReferenceEncode(std::vector<int16_t>(32, 0)));
}

TEST(SampleEncoder, FinalBlockIsPredictedFromTheHistoryOfTheFirst) {
    // A ramp continues into sample 33: with the history carried over, its
    // second difference is 0, so the final block costs one bit.
    std::vector<int16_t> ramp(33);
    for (std::size_t i = 0; i < 33; ++i) ramp[i] = static_cast<int16_t>(100 + 7 * i);
    PredictorHistory history;
    ResidualRows rows;
    ComputeResidualRows(ramp.data(), 32, history, rows);
    ComputeResidualRows(ramp.data() + 32, 1, history, rows);
    EXPECT_EQ(rows.Row(2)[0], 0);
    EXPECT_EQ(ChooseBlockCoding(rows, 1).cost, 1u);
    EXPECT_EQ(Encode(ramp), test::ReferenceEncode(ramp));
}

TEST(SampleEncoder, MostNegativeResidualWithParameterZeroIsALongUnaryRun) {
    // A lone -32768: every order sees it as -32768 (or its wrap), so the
    // block costs 65537 zeros and a one bit at k = 0 or much less at k = 15;
    // the choice and its bits must agree with the literal encoder.
    const std::vector<int16_t> samples = {-32768};
    EXPECT_EQ(ResidualCode(-32768), 65537u);
    EXPECT_EQ(Encode(samples), test::ReferenceEncode(samples));
    PredictorHistory history;
    ResidualRows rows;
    ComputeResidualRows(samples.data(), 1, history, rows);
    EXPECT_EQ(test::RiceCost(rows.Row(0), 1, 0), 65538u);
}

// Rows with these residuals in lanes 1 and 2, the rest zero.
ResidualRows RowsOf(int16_t a, int16_t b) {
    ResidualRows rows{};
    for (auto& lane : rows.lanes) {
        lane[1] = a;
        lane[2] = b;
    }
    return rows;
}

TEST(SampleEncoder, TiesGoToTheSmallerOrderThenTheSmallerParameter) {
    // Silence costs the same under every order: order 0, k 0.
    ResidualRows rows{};
    EXPECT_EQ(ChooseBlockCoding(rows, 32).order, 0u);
    EXPECT_EQ(ChooseBlockCoding(rows, 32).riceParameter, 0u);
    // Residuals (1, 1), codes (2, 2), cost 6 bits with k = 0, 1 and 2, under
    // every order: the pair is (0, 0), not a later one of the same cost.
    rows = RowsOf(1, 1);
    EXPECT_EQ(test::RiceCost(rows.Row(3), 2, 0), 6u);
    EXPECT_EQ(test::RiceCost(rows.Row(3), 2, 2), 6u);
    const BlockCoding coding = ChooseBlockCoding(rows, 2);
    EXPECT_EQ(coding.order, 0u);
    EXPECT_EQ(coding.riceParameter, 0u);
    // A later order wins only when strictly cheaper.
    rows.lanes[2][1] = rows.lanes[2][2] = 0;
    EXPECT_EQ(ChooseBlockCoding(rows, 2).order, 2u);
}

TEST(SampleEncoder, NegativeCountIsRefused) {
    CMemoryStreamOut out;
    EXPECT_THROW(EncodeSample(out, nullptr, -1), std::invalid_argument);
}

// The fast encoder against the literal one, over signals of every kind and
// the lengths around block boundaries.
struct SignalCase {
    test::Signal signal;
    std::size_t length;
};

class EncoderMatchesReference : public testing::TestWithParam<SignalCase> {};

TEST_P(EncoderMatchesReference, ByteForByte) {
    const auto samples = test::MakeSignal(GetParam().signal, GetParam().length, 7);
    EXPECT_EQ(Encode(samples), test::ReferenceEncode(samples));
}

std::vector<SignalCase> AllSignalCases() {
    std::vector<SignalCase> cases;
    for (test::Signal s : {test::Signal::Silence, test::Signal::Sine, test::Signal::Noise, test::Signal::Square,
                           test::Signal::Extremes, test::Signal::Ramp, test::Signal::QuietNoise}) {
        for (std::size_t length : {0u, 1u, 2u, 31u, 32u, 33u, 63u, 64u, 65u, 1000u, 4099u}) cases.push_back({s, length});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Signals, EncoderMatchesReference, testing::ValuesIn(AllSignalCases()),
                         [](const testing::TestParamInfo<SignalCase>& tested) {
                             return test::SignalName(tested.param.signal) + "_" + std::to_string(tested.param.length);
                         });

// Every full-block kernel this processor can run against the portable one,
// the readable reference: the same coding of every block, and the same bits
// for any order and parameter (codes longer than 32 bits too), with the
// history carried from block to block.
class FullBlockKernels : public testing::TestWithParam<FullBlockKernel> {};

TEST_P(FullBlockKernels, MatchThePortableReference) {
    const FullBlockKernel& kernel = GetParam();
    std::mt19937 random(7);
    int16_t samples[kBlockLookBehind + kSamplesPerBlock] = {};  // the three samples before the block, then it
    int16_t* const block = samples + kBlockLookBehind;
    for (int trial = 0; trial < 20000; ++trial) {
        std::copy(block + kSamplesPerBlock - kBlockLookBehind, block + kSamplesPerBlock, samples);
        const int32_t scale = 1 << (random() % 17);
        const int32_t base = static_cast<int32_t>(random() % 65536) - 32768;
        const bool extremes = random() % 16 == 0;
        for (int16_t& v : std::span<int16_t>(block, kSamplesPerBlock)) {
            const int32_t x = extremes ? ((random() % 2) ? 32767 : -32768)
                                       : base + static_cast<int32_t>(random() % static_cast<uint32_t>(2 * scale + 1)) - scale;
            v = static_cast<int16_t>(std::clamp(x, -32768, 32767));
        }
        const BlockCoding expected = kernels::AnalyzePortable(block);
        const BlockCoding coding = kernel.analyze(block);
        ASSERT_EQ(coding.cost, expected.cost) << "trial " << trial;
        ASSERT_EQ(coding.order, expected.order) << "trial " << trial;
        ASSERT_EQ(coding.riceParameter, expected.riceParameter) << "trial " << trial;
        const uint32_t order = random() % kPredictorOrders, k = random() % kRiceParameters;
        CMemoryStreamOut fast, portable;
        const auto writeWith = [&](auto write, CMemoryStreamOut& out) {
            CBitWriter bits(out);
            write(block, order, k, bits);
            bits.Finish();
        };
        writeWith(kernel.write, fast);
        writeWith(kernels::WritePortable, portable);
        ASSERT_EQ(fast.Bytes(), portable.Bytes()) << "trial " << trial << " order " << order << " k " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Available, FullBlockKernels, testing::ValuesIn(AvailableFullBlockKernels()),
                         [](const testing::TestParamInfo<FullBlockKernel>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace kbn
