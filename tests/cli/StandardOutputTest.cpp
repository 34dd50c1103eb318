// Both programs with standard output on a full device: whatever they had
// to print there, the failure is reported and the run does not succeed.
#include <gtest/gtest.h>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

struct FullOutputCase {
    const char* name;
    bool dump;  // kbndump, or kbnconv
    std::vector<std::string> args;
    int status;
};

class StandardOutputOnAFullDevice : public testing::TestWithParam<FullOutputCase> {};

TEST_P(StandardOutputOnAFullDevice, IsReported) {
    const FullOutputCase& c = GetParam();
    test::TempDir dir;
    test::TestWav wav;
    wav.pcm = {1, 2, 3, 4};
    test::WriteFileBytes(dir / "in.wav", test::BuildWav(wav));
    ASSERT_EQ(test::RunProgram({test::KbnconvPath(), dir / "in.wav", dir / "in.kbn"}).status, 0);

    std::vector<std::string> args = {c.dump ? test::KbndumpPath() : test::KbnconvPath()};
    for (const std::string& arg : c.args) args.push_back(arg.ends_with(".kbn") || arg.ends_with(".wav") ? dir / arg : arg);
    test::ProgramOptions options;
    options.outputPath = "/dev/full";
    const test::ProgramResult result = test::RunProgram(args, options);
    EXPECT_EQ(result.status, c.status);
    const std::string program = c.dump ? "kbndump" : "kbnconv";
    EXPECT_EQ(result.err, c.status == 0 ? "" : program + ": cannot write to standard output: No space left on device\n");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, StandardOutputOnAFullDevice,
    testing::Values(FullOutputCase{"Listing", true, {"in.kbn"}, 1},
                    FullOutputCase{"Test", true, {"--test", "in.kbn"}, 1},
                    FullOutputCase{"DumpHelp", true, {"--help"}, 1},
                    FullOutputCase{"DumpVersion", true, {"--version"}, 1},
                    FullOutputCase{"ConvHelp", false, {"--help"}, 1},
                    FullOutputCase{"ConvVersion", false, {"--version"}, 1},
                    // A usage error stays one; the lost usage line is reported too.
                    FullOutputCase{"ConvUsage", false, {"in.wav"}, 255},
                    // A conversion prints nothing there: it succeeds.
                    FullOutputCase{"Conversion", false, {"in.wav", "out.kbn"}, 0}),
    [](const testing::TestParamInfo<FullOutputCase>& tested) { return tested.param.name; });

}  // namespace
}  // namespace kbn
