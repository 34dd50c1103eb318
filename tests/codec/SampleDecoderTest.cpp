#include "codec/SampleDecoder.h"

#include <gtest/gtest.h>

#include <random>

#include "codec/SampleEncoder.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"

namespace kbn {
namespace {

struct EncodedStream {
    uint64_t bitCount = 0;
    std::vector<uint8_t> packed;
};

EncodedStream Encode(const std::vector<int16_t>& samples) {
    CMemoryStreamOut out;
    EncodeSample(out, samples.data(), static_cast<int32_t>(samples.size()));
    const std::vector<uint8_t>& bytes = out.Bytes();
    return {GetU64(bytes.data() + 2), std::vector<uint8_t>(bytes.begin() + 10, bytes.end())};
}

std::vector<int16_t> Decode(const EncodedStream& stream, std::size_t frames) {
    std::vector<int16_t> pcm(frames);
    DecodeSample(stream.packed, stream.bitCount, pcm);
    return pcm;
}

struct RoundTripCase {
    test::Signal signal;
    std::size_t length;
};

class DecoderRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(DecoderRoundTrip, GivesBackEverySample) {
    const auto samples = test::MakeSignal(GetParam().signal, GetParam().length, 11);
    EXPECT_EQ(Decode(Encode(samples), samples.size()), samples);
}

std::vector<RoundTripCase> RoundTripCases() {
    std::vector<RoundTripCase> cases;
    for (test::Signal s : {test::Signal::Silence, test::Signal::Square, test::Signal::Noise, test::Signal::Extremes,
                           test::Signal::Sine, test::Signal::Ramp}) {
        for (std::size_t length : {0u, 1u, 31u, 32u, 33u, 1000u, 100000u}) cases.push_back({s, length});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Signals, DecoderRoundTrip, testing::ValuesIn(RoundTripCases()),
                         [](const testing::TestParamInfo<RoundTripCase>& tested) {
                             return test::SignalName(tested.param.signal) + "_" + std::to_string(tested.param.length);
                         });

TEST(SampleDecoder, RoundTripsTheMostNegativeValueAfterAnyHistory) {
    for (int16_t before : {int16_t{0}, int16_t{1}, int16_t{-1}, int16_t{32767}, int16_t{-32768}}) {
        const std::vector<int16_t> samples = {before, -32768, 32767, -32768, before};
        EXPECT_EQ(Decode(Encode(samples), samples.size()), samples) << before;
    }
}

// Each kind of damage must be refused with a message, never crash, and
// never decode silently into other samples when the damage is structural.
TEST(SampleDecoder, RefusesBitCountsThatDoNotMatchTheBlocks) {
    const auto samples = test::MakeSignal(test::Signal::Sine, 1000);
    const EncodedStream good = Encode(samples);
    std::vector<int16_t> pcm(samples.size());
    for (int64_t delta : {-1, 1, -8, 8}) {
        EncodedStream bad = good;
        bad.bitCount = static_cast<uint64_t>(static_cast<int64_t>(good.bitCount) + delta);
        bad.packed.resize(static_cast<std::size_t>(bad.bitCount / 8 + 1), 0);
        EXPECT_THROW(DecodeSample(bad.packed, bad.bitCount, pcm), CError) << delta;
    }
}

TEST(SampleDecoder, RefusesAByteLengthThatDoesNotMatchTheBitCount) {
    EncodedStream stream = Encode({1, 2, 3});
    std::vector<int16_t> pcm(3);
    stream.packed.push_back(0);
    EXPECT_THROW(DecodeSample(stream.packed, stream.bitCount, pcm), CError);
}

TEST(SampleDecoder, RefusesNonZeroPaddingBits) {
    EncodedStream stream = Encode({1, 2, 3});  // 11 bits: 5 padding bits in the last byte
    stream.packed.back() = static_cast<uint8_t>(stream.packed.back() | 0x80);
    std::vector<int16_t> pcm(3);
    EXPECT_THROW(DecodeSample(stream.packed, stream.bitCount, pcm), CError);
}

TEST(SampleDecoder, FlippedBitsAreCaughtOrChangeTheSamples) {
    const auto samples = test::MakeSignal(test::Signal::Sine, 2000);
    const EncodedStream good = Encode(samples);
    std::mt19937 random(5);
    int caught = 0;
    const int trials = 500;
    for (int trial = 0; trial < trials; ++trial) {
        EncodedStream bad = good;
        const uint64_t bit = random() % good.bitCount;
        bad.packed[static_cast<std::size_t>(bit / 8)] ^= static_cast<uint8_t>(1u << (bit % 8));
        std::vector<int16_t> pcm(samples.size());
        try {
            DecodeSample(bad.packed, bad.bitCount, pcm);
            EXPECT_NE(pcm, samples);  // a flip that decodes still changes the samples
        } catch (const CError&) {
            ++caught;
        }
    }
    EXPECT_GT(caught, 0);
}

}  // namespace
}  // namespace kbn
