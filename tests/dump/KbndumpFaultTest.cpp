// kbndump writing onto a full disk (a file-size limit): status 1, the file
// and the system's reason, an existing file unchanged, no temporary file,
// and every sample file written before the failure complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "import/SoundFontConverter.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kOld = {'o', 'l', 'd'};

// Noise samples of 20000, 60000 and 20000 points: past a limit of 100000
// bytes, the second one's WAV file does not fit, the first one's does.
Bytes NoiseBank() {
    test::TestSoundFont font;
    for (uint32_t i = 0; i < 3; ++i) {
        font.samples.push_back({std::string(1, static_cast<char>('a' + i)),
                                test::MakeSignal(test::Signal::Noise, i == 1 ? 60000 : 20000, i + 1)});
    }
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}}});
    font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    const Bytes sf2 = test::BuildSoundFont(font);
    CMemoryStreamIn in(sf2);
    CMemoryStreamOut out;
    ConvertSoundFont(in, out);
    return out.Bytes();
}

struct DumpDiskCase {
    const char* name;
    std::vector<std::string> args;
    std::string err;
    std::vector<std::string> listing;         // the test directory afterwards
    std::vector<std::string> samplesListing;  // the extraction directory afterwards
};

class KbndumpFullDisk : public testing::TestWithParam<DumpDiskCase> {};

TEST_P(KbndumpFullDisk, FailsCleanly) {
    const DumpDiskCase& c = GetParam();
    test::TempDir dir;
    test::WriteFileBytes(dir / "in.kbn", NoiseBank());
    test::WriteFileBytes(dir / "out.sf2", kOld);
    std::filesystem::create_directory(dir.Path() / "samples");
    test::WriteFileBytes(dir / "samples/001-b.wav", kOld);

    std::vector<std::string> args = c.args;
    args.insert(args.begin(), test::KbndumpPath());
    test::ProgramOptions options;
    options.workingDirectory = dir.Path().string();
    options.fileSizeLimit = 100000;
    const test::ProgramResult result = test::RunProgram(args, options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(test::ReadFileBytes(dir / "out.sf2"), kOld);
    EXPECT_EQ(dir.List(), c.listing);
    std::vector<std::string> samples;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path() / "samples")) {
        samples.push_back(entry.path().filename().string());
        const Bytes wav = test::ReadFileBytes(entry.path().string());
        if (entry.path().filename() == "001-b.wav") {
            EXPECT_EQ(wav, kOld);
        } else {
            ASSERT_GE(wav.size(), 8u);
            EXPECT_EQ(wav.size(), 8 + GetU32(wav.data() + 4)) << "a partial sample file";
        }
    }
    std::sort(samples.begin(), samples.end());
    EXPECT_EQ(samples, c.samplesListing);
}

INSTANTIATE_TEST_SUITE_P(Cases, KbndumpFullDisk,
                         testing::Values(DumpDiskCase{"RebuiltSoundFont",
                                                      {"--sf2", "out.sf2", "in.kbn"},
                                                      "out.sf2: cannot write: File too large\n",
                                                      {"in.kbn", "out.sf2", "samples"},
                                                      {"001-b.wav"}},
                                         DumpDiskCase{"ExtractedSamples",
                                                      {"--extract", "samples", "in.kbn"},
                                                      "samples/001-b.wav: cannot write: File too large\n",
                                                      {"in.kbn", "out.sf2", "samples"},
                                                      {"000-a.wav", "001-b.wav"}}),
                         [](const testing::TestParamInfo<DumpDiskCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace kbn
