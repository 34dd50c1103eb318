// A SoundFont of more than 3 GiB, sparse on disk: samples at the start,
// across 2 GiB and past 3 GiB, and one 600 MB sample of silence in between.
// The program converts it on one thread, every sample comes back exactly,
// and its peak memory is that of the largest sample plus a small constant.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "reader/BankReader.h"
#include "stream/RvFile.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/ByteBuilder.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

#if defined(__SANITIZE_ADDRESS__)
#define KBN_UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KBN_UNDER_ADDRESS_SANITIZER 1
#endif
#endif

namespace kbn {
namespace {

constexpr uint64_t kGiB = uint64_t{1} << 30;
// Where the sample points begin: the RIFF header, an INFO list holding
// "ifil", the sdta list's header and the smpl chunk's header.
constexpr uint64_t kPointsOffset = 12 + (8 + 4 + 12) + 12 + 8;

struct LargeSample {
    const char* name;
    uint32_t start;   // the first point
    uint32_t length;  // points
    bool silent;      // never written: a hole in the file, read as zeros
};

uint32_t PointAt(uint64_t fileOffset) { return static_cast<uint32_t>((fileOffset - kPointsOffset) / 2); }

const LargeSample kSamples[] = {
    {"head", 0, 20000, false},
    {"silence", 20046, 300'000'000, true},
    {"across 2 GiB", PointAt(2 * kGiB) - 50000, 100000, false},
    {"past 3 GiB", PointAt(3 * kGiB) + 1000, 100000, false},
};
constexpr uint64_t kLargestSampleBytes = 600'000'000;

std::vector<int16_t> NoiseOf(std::size_t index) {
    return test::MakeSignal(test::Signal::Noise, kSamples[index].length, static_cast<uint32_t>(index + 1));
}

void PutBytes(int fd, uint64_t offset, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(bytes.size()));
}

// One instrument zone per sample, one preset on the instrument.
std::vector<uint8_t> PdtaList() {
    test::ByteBuilder pdta, phdr, inst, ibag, igen, shdr;
    phdr.Name("large").U16(0).U16(0).U16(0).U32(0).U32(0).U32(0);
    phdr.Name("EOP").U16(0).U16(0).U16(1).U32(0).U32(0).U32(0);
    constexpr auto kCount = static_cast<uint16_t>(std::size(kSamples));
    inst.Name("large").U16(0).Name("EOI").U16(kCount);
    for (uint16_t i = 0; i <= kCount; ++i) ibag.U16(i).U16(0);
    for (uint16_t i = 0; i < kCount; ++i) igen.U16(53).U16(i);
    igen.U32(0);
    for (const LargeSample& s : kSamples) {
        shdr.Name(s.name).U32(s.start).U32(s.start + s.length).U32(s.start + 8).U32(s.start + s.length - 8);
        shdr.U32(44100).U8(60).U8(0).U16(0).U16(1);
    }
    shdr.Name("EOS").Zeros(26);
    pdta.Chunk("phdr", phdr.Get()).Chunk("pbag", test::ByteBuilder().U16(0).U16(0).U16(1).U16(0).Get());
    pdta.Chunk("pmod", std::vector<uint8_t>(10, 0)).Chunk("pgen", test::ByteBuilder().U16(41).U16(0).U32(0).Get());
    pdta.Chunk("inst", inst.Get()).Chunk("ibag", ibag.Get()).Chunk("imod", std::vector<uint8_t>(10, 0));
    pdta.Chunk("igen", igen.Get()).Chunk("shdr", shdr.Get());
    return test::ByteBuilder().List("pdta", pdta.Get()).Take();
}

// Writes the SoundFont with holes for every point not written.
void WriteSparseSoundFont(const std::string& path) {
    const uint64_t points = uint64_t{kSamples[3].start} + kSamples[3].length + 46;
    const uint64_t smplSize = 2 * points;
    const std::vector<uint8_t> pdta = PdtaList();
    const uint64_t fileSize = kPointsOffset + smplSize + pdta.size();
    ASSERT_GT(fileSize, 3 * kGiB);
    ASSERT_LT(fileSize, 4 * kGiB);

    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    test::ByteBuilder head;
    head.Text("RIFF").U32(static_cast<uint32_t>(fileSize - 8)).Text("sfbk");
    head.List("INFO", test::ByteBuilder().Chunk("ifil", {2, 0, 1, 0}).Take());
    head.Text("LIST").U32(static_cast<uint32_t>(4 + 8 + smplSize)).Text("sdta");
    head.Text("smpl").U32(static_cast<uint32_t>(smplSize));
    ASSERT_EQ(head.Get().size(), kPointsOffset);
    PutBytes(fd, 0, head.Get());
    for (std::size_t i = 0; i < std::size(kSamples); ++i) {
        if (kSamples[i].silent) continue;
        test::ByteBuilder pcm;
        for (int16_t v : NoiseOf(i)) pcm.S16(v);
        PutBytes(fd, kPointsOffset + 2 * uint64_t{kSamples[i].start}, pcm.Get());
    }
    PutBytes(fd, kPointsOffset + smplSize, pdta);
    close(fd);
}

TEST(LargeBank, ASparseSoundFontPast3GiBConvertsExactlyInTheMemoryOfItsLargestSample) {
    test::TempDir dir;
    const std::string source = dir / "large.sf2";
    WriteSparseSoundFont(source);
    if (testing::Test::HasFatalFailure()) return;
    struct stat info {};
    ASSERT_EQ(stat(source.c_str(), &info), 0);
    EXPECT_GT(info.st_size, 3 * static_cast<off_t>(kGiB));
    RecordProperty("diskBytes", std::to_string(info.st_blocks * 512));

    const test::ProgramResult result = test::RunProgram({test::KbnconvPath(), "-j", "1", source, dir / "out.kbn"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const uint64_t peak = uint64_t(result.maxResidentKilobytes) * 1024;
    RecordProperty("peakBytes", std::to_string(peak));
    // The largest sample's buffer is filled, so the peak holds it.
    EXPECT_GE(peak, kLargestSampleBytes);
    // A second copy of the sample, or a buffer for the whole source or bank,
    // would break the bound. AddressSanitizer adds an eighth for its shadow
    // memory and its own allocator's reserves.
    constexpr uint64_t kMiB = uint64_t{1} << 20;
#ifdef KBN_UNDER_ADDRESS_SANITIZER
    EXPECT_LE(peak, kLargestSampleBytes + kLargestSampleBytes / 8 + 64 * kMiB);
#else
    EXPECT_LE(peak, kLargestSampleBytes + 32 * kMiB);
#endif

    CRvFile bankFile;
    bankFile.Open((dir / "out.kbn").c_str(), CRvFile::kAccessRead, 0);
    const Bank bank = ReadBank(bankFile);
    ASSERT_EQ(bank.samples.size(), std::size(kSamples));
    for (uint32_t i = 0; i < std::size(kSamples); ++i) {
        SCOPED_TRACE(kSamples[i].name);
        const SampleRecord& record = bank.samples[i].record;
        EXPECT_EQ(record.length, kSamples[i].length);
        EXPECT_EQ(record.loopStart, 8u);
        EXPECT_EQ(record.loopEnd, kSamples[i].length - 8);
        const std::vector<int16_t> pcm = ReadSamplePcm(bankFile, bank.samples[i], i);
        if (kSamples[i].silent) {
            EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](int16_t v) { return v == 0; }));
            EXPECT_EQ(pcm.size(), kSamples[i].length);
        } else {
            EXPECT_TRUE(pcm == NoiseOf(i));
        }
    }
    ASSERT_EQ(bank.instruments.size(), 1u);
    EXPECT_EQ(bank.instruments[0].zones.size(), std::size(kSamples));
    EXPECT_EQ(bank.presets.size(), 1u);
}

}  // namespace
}  // namespace kbn
