#include "bank/SampleSectionWriter.h"

#include <gtest/gtest.h>

#include <random>

#include "bank/BankWriter.h"
#include "codec/SampleEncoder.h"
#include "tests/codec/SignalGenerator.h"

namespace kbn {
namespace {

struct Sample {
    SampleRecord record;
    std::vector<int16_t> pcm;
};

// Samples of every size, from empty to larger than one block of output,
// and a few larger than all the read-ahead and kept buffers together, among
// runs of small ones.
std::vector<Sample> Samples() {
    std::mt19937 random(5);
    std::vector<Sample> samples;
    for (int i = 0; i < 40; ++i) {
        Sample sample;
        const bool huge = i == 11 || i == 12 || i == 30;
        const std::size_t length = huge ? 1500000 + i : i % 7 == 0 ? 0 : random() % (i % 5 == 0 ? 200000 : 3000);
        sample.pcm = test::MakeSignal(static_cast<test::Signal>(i % 7), length, static_cast<uint32_t>(i));
        const std::string name = std::to_string(i);
        sample.record.name = MakeName(name.c_str());
        sample.record.length = static_cast<uint32_t>(length);
        sample.record.rootKey = static_cast<uint8_t>(i);
        samples.push_back(std::move(sample));
    }
    return samples;
}

std::vector<uint8_t> Sequential(const std::vector<Sample>& samples) {
    CMemoryStreamOut out;
    for (const Sample& sample : samples) {
        WriteSampleRecord(out, sample.record);
        EncodeSample(out, sample.pcm.data(), static_cast<int32_t>(sample.pcm.size()));
    }
    return out.Bytes();
}

class SampleSection : public testing::TestWithParam<unsigned> {};

TEST_P(SampleSection, IsTheSameForAnyNumberOfThreads) {
    const std::vector<Sample> samples = Samples();
    CMemoryStreamOut out;
    {
        CSampleSectionWriter section(out, GetParam());
        for (const Sample& sample : samples) {
            const std::span<int16_t> pcm = section.Prepare(sample.record);
            ASSERT_EQ(pcm.size(), sample.pcm.size());
            std::copy(sample.pcm.begin(), sample.pcm.end(), pcm.begin());
            section.Commit();
        }
        section.Finish();
    }
    EXPECT_TRUE(out.Bytes() == Sequential(samples));
}

INSTANTIATE_TEST_SUITE_P(Threads, SampleSection, testing::Values(1u, 2u, 3u, 8u));

TEST(SampleSection, AnUnfinishedSectionStopsItsWorkersCleanly) {
    const std::vector<Sample> samples = Samples();
    CMemoryStreamOut out;
    CSampleSectionWriter section(out, 4);
    for (std::size_t i = 0; i < 10; ++i) {
        const std::span<int16_t> pcm = section.Prepare(samples[i].record);
        std::copy(samples[i].pcm.begin(), samples[i].pcm.end(), pcm.begin());
        section.Commit();
    }
    // Destroyed without Finish, as when a read fails halfway: no hang, no crash.
}

}  // namespace
}  // namespace kbn
