// The real General MIDI bank from Debian's timgm6mb-soundfont package,
// converted by the program and read back.
#include <gtest/gtest.h>

#include <filesystem>

#include "bank/GeneratorMap.h"
#include "import/SoundFontReader.h"
#include "reader/BankReader.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/support/MidiFile.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

const std::string kTimGM6mb = KBN_TIMGM6MB_SF2;

class TimGM6mb : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(std::filesystem::exists(kTimGM6mb))
            << kTimGM6mb << " is missing: install Debian's timgm6mb-soundfont package";
        source_ = new std::vector<uint8_t>(test::ReadFileBytes(kTimGM6mb));
        dir_ = new test::TempDir;
        const test::ProgramResult result = test::RunProgram({test::KbnconvPath(), kTimGM6mb, *dir_ / "t.kbn"});
        ASSERT_EQ(result.status, 0) << result.err;
        bankBytes_ = new std::vector<uint8_t>(test::ReadFileBytes(*dir_ / "t.kbn"));
    }
    static void TearDownTestSuite() {
        delete source_;
        delete bankBytes_;
        delete dir_;
    }
    void SetUp() override {
        ASSERT_NE(bankBytes_, nullptr);
        CMemoryStreamIn in(*bankBytes_);
        bank_ = ReadBank(in);
        CMemoryStreamIn sf2(*source_);
        ASSERT_TRUE(ReadSoundFont(sf2, tables_));
    }

    static std::vector<uint8_t>* source_;
    static std::vector<uint8_t>* bankBytes_;
    static test::TempDir* dir_;
    Bank bank_;
    SoundFontTables tables_;
};

std::vector<uint8_t>* TimGM6mb::source_ = nullptr;
std::vector<uint8_t>* TimGM6mb::bankBytes_ = nullptr;
test::TempDir* TimGM6mb::dir_ = nullptr;

TEST_F(TimGM6mb, HoldsTheWholeBank) {
    EXPECT_EQ(bank_.samples.size(), 520u);
    EXPECT_EQ(bank_.instruments.size(), 210u);
    EXPECT_EQ(bank_.presets.size(), 136u);
}

TEST_F(TimGM6mb, SampleRecordsFollowTheirHeaders) {
    for (std::size_t i = 0; i < bank_.samples.size(); ++i) {
        const SfSampleHeader& header = tables_.shdr.records[i];
        const SampleRecord& record = bank_.samples[i].record;
        ASSERT_EQ(record.name, header.name) << i;
        ASSERT_EQ(record.length, header.end - header.start) << i;
        ASSERT_EQ(record.loopStart, header.startLoop - header.start) << i;
        ASSERT_EQ(record.loopEnd, header.endLoop - header.start) << i;
        ASSERT_EQ(record.sampleRate, header.sampleRate) << i;
        ASSERT_EQ(record.rootKey, header.originalPitch) << i;
        ASSERT_EQ(record.pitchCorrection, header.pitchCorrection) << i;
    }
}

TEST_F(TimGM6mb, EverySampleDecodesToItsSourcePcm) {
    CMemoryStreamIn in(*bankBytes_);
    for (uint32_t i = 0; i < bank_.samples.size(); ++i) {
        const SfSampleHeader& header = tables_.shdr.records[i];
        const std::vector<int16_t> pcm = ReadSamplePcm(in, bank_.samples[i], i);
        const uint8_t* source = source_->data() + tables_.sampleDataPosition + 8 + 2 * uint64_t{header.start};
        for (uint32_t j = 0; j < pcm.size(); ++j) ASSERT_EQ(pcm[j], GetS16(source + 2 * j)) << "sample " << i;
    }
}

TEST_F(TimGM6mb, ZonesCarryEveryListedGeneratorInSourceOrder) {
    const auto& inst = tables_.inst.records;
    for (std::size_t i = 0; i + 1 < inst.size(); ++i) {
        const BankInstrument& instrument = bank_.instruments[i];
        ASSERT_EQ(instrument.name, inst[i].name);
        ASSERT_EQ(instrument.zones.size(), uint32_t(inst[i + 1].bagIndex - inst[i].bagIndex));
        for (std::size_t z = 0; z < instrument.zones.size(); ++z) {
            const SfBag& bag = tables_.ibag.records[inst[i].bagIndex + z];
            const SfBag& next = tables_.ibag.records[inst[i].bagIndex + z + 1];
            std::vector<GeneratorEntry> expected;
            for (uint32_t g = bag.generatorIndex; g < next.generatorIndex; ++g) {
                const SfGenerator& generator = tables_.igen.records[g];
                if (auto id = LookupGenerator(generator.oper)) expected.push_back({*id, generator.amount});
            }
            const auto& actual = instrument.zones[z].generators;
            ASSERT_EQ(actual.size(), expected.size());
            for (std::size_t g = 0; g < expected.size(); ++g) {
                ASSERT_EQ(actual[g].id, expected[g].id);
                ASSERT_EQ(actual[g].amount, expected[g].amount);
            }
            ASSERT_EQ(instrument.zones[z].modulators.size(), uint32_t(next.modulatorIndex - bag.modulatorIndex));
        }
    }
    const BankPreset& piano = bank_.presets.at(0);
    EXPECT_EQ(piano.name, tables_.phdr.records[0].name);
    EXPECT_EQ(piano.preset, tables_.phdr.records[0].preset);
    EXPECT_EQ(piano.bank, tables_.phdr.records[0].bank);
}

}  // namespace
}  // namespace kbn

namespace kbn {
namespace {

// A WAV file written by sox (another program's idea of the format), and
// the same samples as raw PCM from sox, against the decoded bank.
TEST(SoxWav, StereoFileDecodesToSoxsOwnSamples) {
    test::TempDir dir;
    const std::string wav = dir / "tone.wav", raw = dir / "tone.raw", bank = dir / "tone.kbn";
    const test::ProgramResult made = test::RunProgram(
        {"/usr/bin/sox", "-n", "-r", "22050", "-c", "2", "-b", "16", wav, "synth", "0.7", "sine", "440", "square", "97"});
    ASSERT_EQ(made.status, 0) << "sox is needed (Debian package sox): " << made.err;
    ASSERT_EQ(test::RunProgram({"/usr/bin/sox", wav, "-t", "raw", raw}).status, 0);
    const test::ProgramResult converted = test::RunProgram({test::KbnconvPath(), wav, bank});
    ASSERT_EQ(converted.status, 0) << converted.err;

    const std::vector<uint8_t> rawBytes = test::ReadFileBytes(raw);
    const std::vector<uint8_t> bankBytes = test::ReadFileBytes(bank);
    CMemoryStreamIn in(bankBytes);
    const Bank read = ReadBank(in);
    ASSERT_EQ(read.samples.size(), 2u);
    const std::size_t frames = rawBytes.size() / 4;
    for (uint32_t channel = 0; channel < 2; ++channel) {
        EXPECT_EQ(read.samples[channel].record.sampleRate, 22050u);
        const std::vector<int16_t> pcm = ReadSamplePcm(in, read.samples[channel], channel);
        ASSERT_EQ(pcm.size(), frames);
        for (std::size_t i = 0; i < frames; ++i) {
            ASSERT_EQ(pcm[i], GetS16(rawBytes.data() + 4 * i + 2 * channel)) << "channel " << channel << " frame " << i;
        }
    }
}

}  // namespace
}  // namespace kbn

namespace kbn {
namespace {

// The read-back tools on the real bank: verified conversion, a clean test,
// a rebuilt SoundFont that converts to the same bank and that FluidSynth
// plays exactly as it plays the original.
class TimGM6mbRoundTrip : public testing::Test {
protected:
    test::ProgramResult Run(const std::string& program, std::vector<std::string> args) {
        return test::RunProgramIn(dir_.Path().string(), program, std::move(args));
    }
    test::TempDir dir_;
};

TEST_F(TimGM6mbRoundTrip, VerifiesTestsRebuildsAndRendersIdentically) {
    test::ProgramResult r = Run(test::KbnconvPath(), {"--verify", "-v", kTimGM6mb, "t.kbn"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(": 520 samples, 210 instruments, 136 presets, "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(", verified\n"), std::string::npos) << r.err;

    r = Run(test::KbndumpPath(), {"--test", "t.kbn"});
    EXPECT_EQ(r.status, 0) << r.err;

    // Any number of encoding threads gives the same bank.
    for (const char* threads : {"1", "2", "5"}) {
        ASSERT_EQ(Run(test::KbnconvPath(), {"-j", threads, kTimGM6mb, "threads.kbn"}).status, 0);
        EXPECT_TRUE(test::ReadFileBytes(dir_ / "threads.kbn") == test::ReadFileBytes(dir_ / "t.kbn")) << threads;
    }

    ASSERT_EQ(Run(test::KbndumpPath(), {"--sf2", "rebuilt.sf2", "t.kbn"}).status, 0);
    ASSERT_EQ(Run(test::KbnconvPath(), {"rebuilt.sf2", "again.kbn"}).status, 0);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "again.kbn"), test::ReadFileBytes(dir_ / "t.kbn"));

    test::WriteFileBytes(dir_ / "song.mid", test::MakeTestSong());
    for (const auto& [font, render] : {std::pair{kTimGM6mb, std::string("original.wav")},
                                       std::pair{dir_ / "rebuilt.sf2", std::string("rebuilt.wav")}}) {
        r = Run("/usr/bin/fluidsynth", {"-ni", "-g", "0.5", "-r", "44100", "-F", render, font, "song.mid"});
        ASSERT_EQ(r.status, 0) << "fluidsynth is needed (Debian package fluidsynth): " << r.err;
    }
    const std::vector<uint8_t> original = test::ReadFileBytes(dir_ / "original.wav");
    EXPECT_GT(original.size(), 44100u * 4);  // a few seconds of sound
    EXPECT_TRUE(original == test::ReadFileBytes(dir_ / "rebuilt.wav")) << "the renders differ";
}

}  // namespace
}  // namespace kbn
