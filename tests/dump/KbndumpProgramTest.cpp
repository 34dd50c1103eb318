// The kbndump program end to end: listing, testing damaged banks,
// extracting samples and rebuilding SoundFonts.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "import/SoundFontConverter.h"
#include "reader/BankReader.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

test::TestSoundFont Font() {
    test::TestSoundFont font;
    font.samples.push_back({"Sine A4", test::MakeSignal(test::Signal::Sine, 1000), 100, 900, 44100, 69, -3, 1});
    font.samples.push_back({"Rom/noise", test::MakeSignal(test::Signal::Noise, 40), 0, 40, 22050, 60, 0, 0x8001});
    test::TestSfZone global{{{17, static_cast<uint16_t>(-200)}, {48, 50}}, {{0x0502, 0x8001, -100, 0, 2}}};
    test::TestSfZone zone{{{43, 0x4020}, {44, 0x7F00}, {54, 1}, {53, 0}}, {{0x0102, 8, 300, 0x0D02, 0}}};
    font.instruments.push_back({"Lead", {global, zone, test::TestSfZone{{{53, 1}}, {}}}});
    font.instruments.push_back({"Empty", {}});
    font.presets.push_back({"Lead Preset", 7, 1, {test::TestSfZone{{{52, 10}, {41, 0}}, {}}}});
    font.presets.push_back({"Drums", 0, 128, {test::TestSfZone{{{41, 1}}, {}}}});
    return font;
}

class Kbndump : public testing::Test {
protected:
    void SetUp() override {
        test::WriteFileBytes(dir_ / "in.sf2", test::BuildSoundFont(Font()));
        ASSERT_EQ(Kbnconv({"in.sf2", "in.kbn"}).status, 0);
        bank_ = test::ReadFileBytes(dir_ / "in.kbn");
    }
    test::ProgramResult Run(const std::string& program, std::vector<std::string> args) {
        return test::RunProgramIn(dir_.Path().string(), program, std::move(args));
    }
    test::ProgramResult Kbnconv(std::vector<std::string> args) { return Run(test::KbnconvPath(), std::move(args)); }
    test::ProgramResult Dump(std::vector<std::string> args) { return Run(test::KbndumpPath(), std::move(args)); }
    Bank ReadBankFromBytes() const {
        CMemoryStreamIn in(bank_);
        return ReadBank(in);
    }
    std::string BitsPerSample(std::size_t index) const {
        const BankSample sample = ReadBankFromBytes().samples.at(index);
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", static_cast<double>(sample.bitCount) / sample.record.length);
        return text;
    }

    test::TempDir dir_;
    std::vector<uint8_t> bank_;
};

TEST_F(Kbndump, ListsTheBankInAStableTextForm) {
    const test::ProgramResult result = Dump({"in.kbn"});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string bytes = std::to_string(bank_.size());
    EXPECT_EQ(result.out,
              "bank: 2 samples, 2 instruments, 2 presets, " + bytes + " bytes\n"
              "sample 0 \"Sine A4\" length=1000 loop=100-900 rate=44100 key=69 correction=-3 flags=0x01 bytes=" +
                  std::to_string(10 + ReadBankFromBytes().samples[0].packedSize) + " bits/sample=" +
                  BitsPerSample(0) +
                  "\n"
                  "sample 1 \"Rom/noise\" length=40 loop=0-40 rate=22050 key=60 correction=0 flags=0x05 bytes=" +
                  std::to_string(10 + ReadBankFromBytes().samples[1].packedSize) + " bits/sample=" +
                  BitsPerSample(1) +
                  "\n"
                  "instrument 0 \"Lead\"\n"
                  "  zone 0: pan=-200 initialAttenuation=50\n"
                  "    modulator source=0x0502 destination=0x8001 amount=-100 amountSource=0x0000 transform=2\n"
                  "  zone 1: keyRange=32-64 velRange=0-127 sampleModes=1 sampleID=0\n"
                  "    modulator source=0x0102 destination=initialFilterFc amount=300 amountSource=0x0D02 transform=0\n"
                  "  zone 2: sampleID=1\n"
                  "instrument 1 \"Empty\"\n"
                  "preset 0 \"Lead Preset\" bank=1 program=7\n"
                  "  zone 0: fineTune=10 instrument=0\n"
                  "preset 1 \"Drums\" bank=128 program=0\n"
                  "  zone 0: instrument=1\n");
}

// The JSON listing says what the text listing says: written out in the
// text form by another program, it is the same listing, byte for byte.
TEST_F(Kbndump, JsonListsWhatTheTextListingLists) {
    const test::ProgramResult json = Dump({"--json", "in.kbn"});
    ASSERT_EQ(json.status, 0) << json.err;
    test::WriteFileBytes(dir_ / "in.json", std::vector<uint8_t>(json.out.begin(), json.out.end()));
    const test::ProgramResult text = test::RunProgram(
        {"/usr/bin/python3", test::SourceDir() + "/tests/dump/json_as_listing.py", dir_ / "in.json"});
    ASSERT_EQ(text.status, 0) << "python3 is needed (Debian package python3): " << text.err;
    EXPECT_EQ(text.out, Dump({"in.kbn"}).out);
}

TEST_F(Kbndump, TestPassesASoundBank) {
    const test::ProgramResult result = Dump({"--test", "in.kbn"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "in.kbn: ok, 2 samples, 2 instruments, 2 presets\n");
}

// Damaged banks: status 1, a message naming the defect, no crash.
struct DamageCase {
    const char* name;
    void (*damage)(std::vector<uint8_t>& bank, const Bank& read);
    const char* messagePart;
};

class KbndumpDamage : public Kbndump, public testing::WithParamInterface<DamageCase> {};

TEST_P(KbndumpDamage, IsReportedByTest) {
    std::vector<uint8_t> damaged = bank_;
    GetParam().damage(damaged, ReadBankFromBytes());
    test::WriteFileBytes(dir_ / "bad.kbn", damaged);
    const test::ProgramResult result = Dump({"-t", "bad.kbn"});
    EXPECT_EQ(result.status, 1) << result.out;
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.err.rfind("bad.kbn: offset ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(GetParam().messagePart), std::string::npos) << result.err;
    // The defect reported is the first in order, whatever the threads.
    for (const char* jobs : {"-j1", "-j2", "-j8"}) {
        const test::ProgramResult threaded = Dump({"-t", jobs, "bad.kbn"});
        EXPECT_EQ(threaded.status, 1) << jobs;
        EXPECT_EQ(threaded.err, result.err) << jobs;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KbndumpDamage,
    testing::Values(
        DamageCase{"FlippedStreamBit",
                   [](std::vector<uint8_t>& b, const Bank& r) { b[r.samples[0].packedOffset + 50] ^= 0x10; },
                   "sample 0 \"Sine A4\""},
        DamageCase{"BothSamples",
                   [](std::vector<uint8_t>& b, const Bank& r) {
                       b[r.samples[0].packedOffset + 50] ^= 0x10;
                       const uint64_t at = r.samples[1].streamOffset + 2;
                       PutU64(b.data() + at, GetU64(b.data() + at) + 1);
                   },
                   "sample 0 \"Sine A4\""},
        DamageCase{"Truncated", [](std::vector<uint8_t>& b, const Bank&) { b.resize(b.size() - 3); },
                   "runs past the end of the file"},
        DamageCase{"TrailingByte", [](std::vector<uint8_t>& b, const Bank&) { b.push_back(0); },
                   "1 bytes follow the preset section"},
        DamageCase{"CountLargerThanTheFile",
                   [](std::vector<uint8_t>& b, const Bank&) { PutU32(b.data() + 4, 0xFFFFFFFF); },
                   "the sample count 4294967295 needs at least"},
        DamageCase{"BitCountOneMore",
                   [](std::vector<uint8_t>& b, const Bank& r) {
                       const uint64_t at = r.samples[1].streamOffset + 2;
                       PutU64(b.data() + at, GetU64(b.data() + at) + 1);
                   },
                   "sample 1 \"Rom/noise\""},
        DamageCase{"DanglingSampleId",
                   [](std::vector<uint8_t>& b, const Bank& r) {
                       PutU16(b.data() + r.instruments[0].zones[2].offset + 4, 7);
                   },
                   "instrument 0 \"Lead\" zone 2 points to sample 7, past the 2 in the bank"}),
    [](const testing::TestParamInfo<DamageCase>& tested) { return std::string(tested.param.name); });

TEST_F(Kbndump, ExtractWritesWavFilesThatConvertBackToTheSameSamples) {
    const test::ProgramResult result = Dump({"--extract", "samples", "in.kbn"});
    ASSERT_EQ(result.status, 0) << result.err;
    test::TempDir& dir = dir_;
    EXPECT_EQ(test::RunProgram({"/bin/ls", (dir / "samples")}).out, "000-Sine A4.wav\n001-Rom_noise.wav\n");
    ASSERT_EQ(Kbnconv({"samples/000-Sine A4.wav", "back.kbn"}).status, 0);
    const std::vector<uint8_t> back = test::ReadFileBytes(dir_ / "back.kbn");
    CMemoryStreamIn in(back);
    const Bank read = ReadBank(in);
    ASSERT_EQ(read.samples.size(), 1u);
    const SampleRecord& record = read.samples[0].record;
    EXPECT_EQ(record.length, 1000u);
    EXPECT_EQ(record.loopStart, 100u);
    EXPECT_EQ(record.loopEnd, 900u);
    EXPECT_EQ(record.rootKey, 69);
    EXPECT_EQ(record.sampleRate, 44100u);
    EXPECT_EQ(ReadSamplePcm(in, read.samples[0], 0), test::MakeSignal(test::Signal::Sine, 1000));
}

TEST_F(Kbndump, RebuiltSoundFontConvertsToTheSameBank) {
    ASSERT_EQ(Dump({"--sf2", "rebuilt.sf2", "in.kbn"}).status, 0);
    ASSERT_EQ(Kbnconv({"rebuilt.sf2", "again.kbn"}).status, 0);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "again.kbn"), bank_);
    // And once more, through the other spelling of the option.
    ASSERT_EQ(Dump({"--sf2=rebuilt2.sf2", "again.kbn"}).status, 0);
    ASSERT_EQ(Kbnconv({"rebuilt2.sf2", "third.kbn"}).status, 0);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "third.kbn"), bank_);
}

// An output that is the bank being read, under any name: refused, the bank
// intact, nothing left behind.
TEST_F(Kbndump, NeverWritesOverTheBankItReads) {
    std::filesystem::create_symlink("in.kbn", dir_.Path() / "link.kbn");
    std::filesystem::create_hard_link(dir_.Path() / "in.kbn", dir_.Path() / "hard.kbn");
    // A bank whose name is that of its first sample's WAV file.
    std::filesystem::copy_file(dir_.Path() / "in.kbn", dir_.Path() / "000-Sine A4.wav");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--sf2", "in.kbn", "in.kbn"}, "in.kbn"},
        {{"--sf2", "./in.kbn", "in.kbn"}, "./in.kbn"},
        {{"--sf2", "link.kbn", "in.kbn"}, "link.kbn"},
        {{"--sf2=hard.kbn", "in.kbn"}, "hard.kbn"},
        {{"--extract", ".", "000-Sine A4.wav"}, "./000-Sine A4.wav"},
    };
    for (const auto& c : cases) {
        const test::ProgramResult result = Dump(c.args);
        EXPECT_EQ(result.status, 1) << c.err;
        EXPECT_EQ(result.err, c.err + ": is the input file itself; not writing over it\n");
    }
    EXPECT_EQ(test::ReadFileBytes(dir_ / "in.kbn"), bank_);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "000-Sine A4.wav"), bank_);
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"000-Sine A4.wav", "hard.kbn", "in.kbn", "in.sf2", "link.kbn"}));
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    std::string err;
};

class KbndumpUsage : public Kbndump, public testing::WithParamInterface<UsageCase> {};

TEST_P(KbndumpUsage, IsAStatus255Error) {
    const test::ProgramResult result = Dump(GetParam().args);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KbndumpUsage,
    testing::Values(UsageCase{"NoBank", {}, "Usage: kbndump [--test [-j N] | --json | --extract DIR | --sf2 OUT.sf2] BANK.kbn\n"},
                    UsageCase{"TwoBanks", {"a.kbn", "b.kbn"}, "Usage: kbndump [--test [-j N] | --json | --extract DIR | --sf2 OUT.sf2] BANK.kbn\n"},
                    UsageCase{"TwoModes", {"-t", "--sf2", "x.sf2", "a.kbn"},
                              "kbndump: --test, --json, --extract and --sf2 exclude each other (kbndump --help lists the options)\n"},
                    UsageCase{"MissingValue", {"a.kbn", "--extract"},
                              "kbndump: --extract needs a value (kbndump --help lists the options)\n"},
                    UsageCase{"NoThreads", {"-t", "-j", "0", "a.kbn"},
                              "kbndump: -j takes a number of threads from 1 to 256 (kbndump --help lists the options)\n"},
                    UsageCase{"ThreadsWithoutTest", {"-j", "2", "a.kbn"},
                              "kbndump: -j goes with --test only (kbndump --help lists the options)\n"},
                    UsageCase{"Unknown", {"-z", "a.kbn"},
                              "kbndump: unknown option '-z' (kbndump --help lists the options)\n"}),
    [](const testing::TestParamInfo<UsageCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace kbn
