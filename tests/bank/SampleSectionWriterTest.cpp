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

// The samples' PCM one after another, little-endian, after a header; and
// where each sample starts.
struct PcmFile {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(37, 0xAB);
    std::vector<uint64_t> starts;
};

PcmFile ConcatenatedPcm(const std::vector<Sample>& samples) {
    PcmFile file;
    for (const Sample& sample : samples) {
        file.starts.push_back(file.bytes.size());
        for (const int16_t value : sample.pcm) {
            uint8_t le[2];
            PutU16(le, static_cast<uint16_t>(value));
            file.bytes.insert(file.bytes.end(), le, le + 2);
        }
    }
    return file;
}

// Bytes in memory that fail to read from a position on, as a bad region of
// a disk does, counting the failed reads; with or without reads at a
// position.
class CFailingPcm final : public CStreamIn {
public:
    CFailingPcm(const std::vector<uint8_t>& bytes, uint64_t failFrom, bool canReadAt)
        : in_(bytes), failFrom_(failFrom), canReadAt_(canReadAt) {}
    void Read(void* dst, uint32_t count) override {
        Check(in_.Tell(), count);
        in_.Read(dst, count);
    }
    void Seek(uint64_t position) override { in_.Seek(position); }
    void Skip(int64_t delta) override { in_.Skip(delta); }
    uint64_t GetSize() override { return in_.GetSize(); }
    uint64_t Tell() override { return in_.Tell(); }
    bool CanReadAt() const override { return canReadAt_; }
    void ReadAt(uint64_t position, void* dst, uint32_t count) const override {
        Check(position, count);
        in_.ReadAt(position, dst, count);
    }
    int Failures() const { return failures_; }

private:
    void Check(uint64_t position, uint32_t count) const {
        if (count > 0 && position + count > failFrom_) {
            ++failures_;
            throw CRvFile::Error("in.sf2: cannot read: Input/output error");
        }
    }
    CMemoryStreamIn in_;
    uint64_t failFrom_;
    bool canReadAt_;
    mutable std::atomic<int> failures_{0};
};

// The encoding threads read each sample themselves where the stream lets
// them, and the caller does where it does not, or where it fills the
// buffers itself, sample by sample in turn: the same section every way.
TEST_P(SampleSection, ReadByTheEncodingThreadsIsTheSame) {
    const std::vector<Sample> samples = Samples();
    const PcmFile file = ConcatenatedPcm(samples);
    enum class Way { ReadAt, InOrder, Alternating };
    for (const Way way : {Way::ReadAt, Way::InOrder, Way::Alternating}) {
        SCOPED_TRACE(static_cast<int>(way));
        CFailingPcm in(file.bytes, file.bytes.size(), way != Way::InOrder);
        CMemoryStreamOut out;
        CSampleSectionWriter section(out, GetParam());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (way == Way::Alternating && i % 3 == 1) {
                const std::span<int16_t> pcm = section.Prepare(samples[i].record);
                std::copy(samples[i].pcm.begin(), samples[i].pcm.end(), pcm.begin());
                section.Commit();
            } else {
                section.AddFrom(samples[i].record, in, file.starts[i]);
            }
        }
        section.Finish();
        EXPECT_TRUE(out.Bytes() == Sequential(samples));
    }
}

// A read that fails ends the section with its error, and no sample after
// it is read: each thread meets at most one failure, however many samples
// lie in the failing region.
TEST_P(SampleSection, AFailedReadStopsTheReading) {
    const std::vector<Sample> samples = Samples();
    const PcmFile file = ConcatenatedPcm(samples);
    for (const std::size_t firstBad : {std::size_t{0}, std::size_t{13}, std::size_t{33}}) {
        SCOPED_TRACE("failing from sample " + std::to_string(firstBad));
        CFailingPcm in(file.bytes, file.starts[firstBad], true);
        CMemoryStreamOut out;
        CSampleSectionWriter section(out, GetParam());
        try {
            for (std::size_t i = 0; i < samples.size(); ++i) {
                section.AddFrom(samples[i].record, in, file.starts[i]);
            }
            section.Finish();
            ADD_FAILURE() << "the read failure was lost";
        } catch (const CRvFile::Error& e) {
            EXPECT_STREQ(e.what(), "in.sf2: cannot read: Input/output error");
        }
        EXPECT_GE(in.Failures(), 1);
        EXPECT_LE(in.Failures(), static_cast<int>(GetParam()));
        // What was written is the samples before the bad one, whole.
        const std::vector<Sample> good(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(firstBad));
        const std::vector<uint8_t> before = Sequential(good);
        ASSERT_LE(before.size(), out.Bytes().size());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), out.Bytes().begin()));
    }
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
