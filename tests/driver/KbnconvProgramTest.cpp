// The kbnconv program end to end: arguments, statuses, messages, and that a
// failed run leaves nothing behind and nothing destroyed.
#include <gtest/gtest.h>

#include <filesystem>

#include "import/WavImporter.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

const std::string kUsage = "Usage: kbnconv <in.sf2/wav> <out.kbn>\n";
const std::string kBadOutput = "Error: output file extension must be kbn\n";

std::vector<uint8_t> SmallWav() {
    test::TestWav wav;
    wav.pcm = test::MakeSignal(test::Signal::Sine, 5000);
    return test::BuildWav(wav);
}

std::vector<uint8_t> BankOf(const std::vector<uint8_t>& wav) {
    CMemoryStreamIn in(wav);
    CMemoryStreamOut out;
    ConvertWav(in, out);
    return out.Bytes();
}

class KbnconvProgram : public testing::Test {
protected:
    test::ProgramResult Run(std::vector<std::string> args, const test::ProgramOptions& options = {}) {
        return test::RunProgramIn(dir_.Path().string(), test::KbnconvPath(), std::move(args), options);
    }
    test::TempDir dir_;
};

// Argument errors: status 255, the exact message, and no file created.
struct ArgumentCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    std::string err;
};

class KbnconvArguments : public KbnconvProgram, public testing::WithParamInterface<ArgumentCase> {};

TEST_P(KbnconvArguments, AreRefusedWithStatus255AndTouchNothing) {
    test::WriteFileBytes(dir_ / "in.wav", SmallWav());
    test::WriteFileBytes(dir_ / "in.mp3", SmallWav());
    const auto before = dir_.List();
    const test::ProgramResult result = Run(GetParam().args);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, GetParam().out);
    EXPECT_EQ(result.err, GetParam().err);
    EXPECT_EQ(dir_.List(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KbnconvArguments,
    testing::Values(ArgumentCase{"NoArguments", {}, kUsage, ""},
                    ArgumentCase{"OneArgument", {"in.wav"}, kUsage, ""},
                    ArgumentCase{"OutputNotKbn", {"in.wav", "out.txt"}, kBadOutput, ""},
                    ArgumentCase{"OutputWithoutExtension", {"in.sf2", "out"}, kBadOutput, ""},
                    ArgumentCase{"OutputKbnx", {"in.wav", "out.kbnx"}, kBadOutput, ""},
                    ArgumentCase{"InputMp3", {"in.mp3", "out.kbn"}, "", "in.mp3: input file extension must be sf2, sf3 or wav\n"},
                    ArgumentCase{"InputWithoutExtension", {"in", "out.kbn"}, "", "in: input file extension must be sf2, sf3 or wav\n"},
                    ArgumentCase{"DotInDirectoryOnly", {"dir.old\\in", "out.kbn"}, "",
                                 "dir.old\\in: input file extension must be sf2, sf3 or wav\n"},
                    ArgumentCase{"BareDot", {"in.", "out.kbn"}, "", "in.: input file extension must be sf2, sf3 or wav\n"}),
    [](const testing::TestParamInfo<ArgumentCase>& tested) { return std::string(tested.param.name); });

TEST_F(KbnconvProgram, ConvertsWithUpperCaseExtensionsAndIgnoresExtraArguments) {
    const std::vector<uint8_t> wav = SmallWav();
    test::WriteFileBytes(dir_ / "IN.WAV", wav);
    const test::ProgramResult result = Run({"IN.WAV", "OUT.KBN", "x", "y"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(test::ReadFileBytes(dir_ / "OUT.KBN"), BankOf(wav));
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"IN.WAV", "OUT.KBN"}));
    // Said so when asked to be verbose.
    const std::string verbose = Run({"-v", "IN.WAV", "OUT.KBN", "x", "y"}).err;
    EXPECT_EQ(verbose.rfind("kbnconv: note: extra arguments ignored: x y\nIN.WAV -> OUT.KBN: ", 0), 0u) << verbose;
}

TEST_F(KbnconvProgram, HelpAndVersionGoToStandardOutput) {
    test::ProgramResult result = Run({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("Usage: kbnconv [options] <in.sf2/sf3/wav> <out.kbn>\n", 0), 0u) << result.out;
    result = Run({"--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "kbnconv " KBN_VERSION "\n");  // the project's version
    result = Run({"--fast", "a.wav", "b.kbn"});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "kbnconv: unknown option '--fast' (kbnconv --help lists the options)\n");
}

TEST_F(KbnconvProgram, OptionsMayFollowThePathsAndDoubleDashEndsThem) {
    const std::vector<uint8_t> wav = SmallWav();
    test::WriteFileBytes(dir_ / "-in.wav", wav);
    const test::ProgramResult result = Run({"--verify", "--", "-in.wav", "out.kbn"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(test::ReadFileBytes(dir_ / "out.kbn"), BankOf(wav));
}

TEST_F(KbnconvProgram, VerboseSummarisesTheConversion) {
    test::WriteFileBytes(dir_ / "in.wav", SmallWav());
    const test::ProgramResult result = Run({"in.wav", "out.kbn", "-v", "--verify"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    const std::string bankBytes = std::to_string(std::filesystem::file_size(dir_ / "out.kbn"));
    const std::string start = "in.wav -> out.kbn: 1 samples, 1 instruments, 1 presets, 10000 PCM bytes in, " +
                              bankBytes + " bank bytes out (";
    EXPECT_EQ(result.err.rfind(start, 0), 0u) << result.err;
    EXPECT_NE(result.err.find("%), "), std::string::npos) << result.err;
    EXPECT_EQ(result.err.substr(result.err.size() - 13), " s, verified\n") << result.err;
}

// A 24-bit SoundFont (an "sm24" chunk after the sample points), named .sf3
// too: the low bits are dropped, which is said unless -q asks for silence.
TEST_F(KbnconvProgram, WarnsOnceOfTheDroppedLowBits) {
    test::TestSoundFont font;
    font.samples.push_back({"s", test::MakeSignal(test::Signal::Noise, 3000)});
    test::TestSfFile file = test::MakeSoundFontFile(font);
    file.extraSdtaChunks.push_back({"sm24", std::vector<uint8_t>(file.points.size(), 0x7F)});
    test::WriteFileBytes(dir_ / "in.sf3", test::SerializeSoundFont(file));
    const std::string warning = "in.sf3: warning: the bank keeps 16 bits per sample; the low 8 bits of the 24-bit "
                                "data ('sm24' chunk) are dropped\n";
    const struct {
        std::vector<std::string> options;
        std::string errStart, errEnd;
    } cases[] = {
        {{}, warning, warning},
        {{"-q"}, "", ""},
        {{"-v", "--verify"}, warning + "in.sf3 -> out.kbn: 1 samples,", " s, verified, 16 of 24 bits\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"in.sf3", "out.kbn"});
        const test::ProgramResult result = Run(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(result.err.starts_with(c.errStart) && result.err.ends_with(c.errEnd)) << result.err;
    }
}

// Failed conversions: status 1, one line naming the file and the problem,
// the existing output exactly as it was, no temporary file.
struct FailureCase {
    const char* name;
    const char* input;
    std::vector<uint8_t> (*contents)();
    std::string err;
};

class KbnconvFailures : public KbnconvProgram, public testing::WithParamInterface<FailureCase> {};

TEST_P(KbnconvFailures, LeaveTheExistingOutputAlone) {
    const std::vector<uint8_t> previous = {'o', 'l', 'd'};
    test::WriteFileBytes(dir_ / "out.kbn", previous);
    if (GetParam().contents) test::WriteFileBytes(dir_ / GetParam().input, GetParam().contents());
    const auto before = dir_.List();
    const test::ProgramResult result = Run({GetParam().input, "out.kbn"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, GetParam().err);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "out.kbn"), previous);
    EXPECT_EQ(dir_.List(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KbnconvFailures,
    testing::Values(
        FailureCase{"MissingInput", "in.wav", nullptr, "in.wav: cannot open: No such file or directory\n"},
        FailureCase{"NotRiff", "in.wav", [] { return std::vector<uint8_t>(100, 'x'); },
                    "in.wav: not a WAV file: no RIFF header\n"},
        FailureCase{"SoundFontNamedWav", "in.wav", [] { return test::BuildSoundFont({}); },
                    "in.wav: not a WAV file: the RIFF form is 'sfbk', not 'WAVE'\n"},
        FailureCase{"WavNamedSoundFont", "in.sf2", [] { return SmallWav(); },
                    "in.sf2: not a SoundFont file: no RIFF 'sfbk' header\n"},
        FailureCase{"EightBitWav", "in.wav",
                    [] {
                        test::TestWav wav;
                        wav.bitsPerSample = 8;
                        wav.pcm = {1, 2};
                        return test::BuildWav(wav);
                    },
                    "in.wav: unsupported WAV format: PCM, 8-bit, 1 channel (only 16-bit PCM with 1 or 2 channels "
                    "is supported)\n"},
        FailureCase{"TruncatedWav", "in.wav",
                    [] {
                        std::vector<uint8_t> wav = SmallWav();
                        wav.resize(wav.size() / 2);
                        return wav;
                    },
                    "in.wav: the 'data' chunk at offset 36 promises 10000 bytes but only 4978 remain in the file\n"},
        FailureCase{"BrokenSoundFont", "in.sf2",
                    [] {
                        test::TestSoundFont font;
                        font.samples.push_back({"Piano C4", {1, 2, 3}});
                        test::TestSfFile file = test::MakeSoundFontFile(font);
                        file.tables.shdr.records[0].end = 1000;
                        return test::SerializeSoundFont(file);
                    },
                    "in.sf2: sample 0 \"Piano C4\" ends past the sample data (end 1000, the 'smpl' chunk holds 49 "
                    "points)\n"}),
    [](const testing::TestParamInfo<FailureCase>& tested) { return std::string(tested.param.name); });

TEST_F(KbnconvProgram, AnOutputLinkedToTheInputDoesNotDestroyIt) {
    const std::vector<uint8_t> wav = SmallWav();
    test::WriteFileBytes(dir_ / "in.wav", wav);
    std::filesystem::create_symlink("in.wav", dir_.Path() / "out.kbn");
    std::filesystem::create_hard_link(dir_.Path() / "in.wav", dir_.Path() / "hard.kbn");
    for (const char* output : {"out.kbn", "hard.kbn"}) {
        const test::ProgramResult result = Run({"in.wav", output});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, std::string(output) + ": is the input file itself; not writing over it\n");
        EXPECT_EQ(test::ReadFileBytes(dir_ / "in.wav"), wav);
    }
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"hard.kbn", "in.wav", "out.kbn"}));
}

}  // namespace
}  // namespace kbn
