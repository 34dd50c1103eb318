#include "bank/SampleSectionWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>

#include "bank/BankWriter.h"
#include "codec/SampleEncoder.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "stream/RvFile.h"
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
        const std::size_t length = huge ? 1500000 + static_cast<std::size_t>(i) : i % 7 == 0 ? 0 : random() % (i % 5 == 0 ? 200000 : 3000);
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

// The samples' PCM in memory, read as it is: on any thread or on one,
// failing from a given sample on (as a bad region of a disk does), counting
// the failed reads.
class CTestPcm final : public CSamplePcmSource {
public:
    CTestPcm(const std::vector<Sample>& samples, bool concurrent, std::size_t failFrom = SIZE_MAX)
        : samples_(samples), concurrent_(concurrent), failFrom_(failFrom) {}
    std::span<const int16_t> Read(uint32_t index, CScratchBuffer<int16_t>& buffer) const override {
        if (index >= failFrom_) {
            ++failures_;
            throw CRvFile::Error("in.sf2: cannot read: Input/output error");
        }
        const std::vector<int16_t>& pcm = samples_[index].pcm;
        const std::span<int16_t> out = buffer.Take(pcm.size());
        std::copy(pcm.begin(), pcm.end(), out.begin());
        return out;
    }
    uint64_t PcmBytes(uint32_t index) const override { return 2 * samples_[index].pcm.size(); }
    bool ReadsConcurrently() const override { return concurrent_; }
    int Failures() const { return failures_; }

private:
    const std::vector<Sample>& samples_;
    bool concurrent_;
    std::size_t failFrom_;
    mutable std::atomic<int> failures_{0};
};

// The records without their lengths, as a compressed source's are before it
// is decoded: the section gives each the length of its PCM.
BankContents ContentsOf(const std::vector<Sample>& samples, std::shared_ptr<const CSamplePcmSource> pcm) {
    BankContents contents;
    for (const Sample& sample : samples) {
        BankSample entry;
        entry.record = sample.record;
        entry.record.length = 0;
        contents.bank.samples.push_back(entry);
    }
    contents.pcm = std::move(pcm);
    return contents;
}

class SampleSection : public testing::TestWithParam<unsigned> {};

// Read by the encoding threads where the source lets them, by the caller
// where it does not: the same section every way.
TEST_P(SampleSection, IsTheSameForAnyNumberOfThreads) {
    const std::vector<Sample> samples = Samples();
    for (const bool concurrent : {true, false}) {
        SCOPED_TRACE(concurrent ? "read by the encoding threads" : "read by the caller");
        BankContents contents = ContentsOf(samples, std::make_shared<CTestPcm>(samples, concurrent));
        CMemoryStreamOut out;
        {
            CSampleSectionWriter section(out, contents, GetParam());
            for (uint32_t i = 0; i < samples.size(); ++i) section.Add(i);
            section.Finish();
        }
        EXPECT_TRUE(out.Bytes() == Sequential(samples));
        for (std::size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(contents.bank.samples[i].record.length, samples[i].pcm.size()) << i;
        }
    }
}

// A read that fails ends the section with its error, and no sample after
// it is read: each thread meets at most one failure, however many samples
// lie in the failing region.
TEST_P(SampleSection, AFailedReadStopsTheReading) {
    const std::vector<Sample> samples = Samples();
    for (const bool concurrent : {true, false}) {
        for (const std::size_t firstBad : {std::size_t{0}, std::size_t{13}, std::size_t{33}}) {
            SCOPED_TRACE("failing from sample " + std::to_string(firstBad) + (concurrent ? ", threads" : ", caller"));
            const auto pcm = std::make_shared<CTestPcm>(samples, concurrent, firstBad);
            BankContents contents = ContentsOf(samples, pcm);
            CMemoryStreamOut out;
            CSampleSectionWriter section(out, contents, GetParam());
            try {
                for (uint32_t i = 0; i < samples.size(); ++i) section.Add(i);
                section.Finish();
                ADD_FAILURE() << "the read failure was lost";
            } catch (const CRvFile::Error& e) {
                EXPECT_STREQ(e.what(), "in.sf2: cannot read: Input/output error");
            }
            EXPECT_GE(pcm->Failures(), 1);
            EXPECT_LE(pcm->Failures(), static_cast<int>(concurrent ? GetParam() : 1));
            // What was written is the samples before the bad one, whole.
            const std::vector<Sample> good(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(firstBad));
            const std::vector<uint8_t> before = Sequential(good);
            ASSERT_LE(before.size(), out.Bytes().size());
            EXPECT_TRUE(std::equal(before.begin(), before.end(), out.Bytes().begin()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, SampleSection, testing::Values(1u, 2u, 3u, 8u));

TEST(SampleSection, AnUnfinishedSectionStopsItsWorkersCleanly) {
    const std::vector<Sample> samples = Samples();
    BankContents contents = ContentsOf(samples, std::make_shared<CTestPcm>(samples, true));
    CMemoryStreamOut out;
    CSampleSectionWriter section(out, contents, 4);
    for (uint32_t i = 0; i < 10; ++i) section.Add(i);
    // Destroyed without Finish, as when a read fails halfway: no hang, no crash.
}

}  // namespace
}  // namespace kbn
