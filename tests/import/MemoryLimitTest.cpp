// A sample larger than the build can hold in memory is refused with a
// message before anything is allocated: with a limit injected on any build,
// and with the real limit of a 32-bit build.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>

#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
#include "stream/MemoryLimit.h"
#include "stream/MemoryStream.h"
#include "stream/RvFile.h"
#include "tests/support/OggVorbisEncoder.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

std::vector<uint8_t> Wav(uint16_t channels, std::size_t values) {
    test::TestWav wav;
    wav.channels = channels;
    wav.pcm.assign(values, 7);
    return test::BuildWav(wav);
}

std::vector<uint8_t> SoundFont(bool compressed = false) {
    test::TestSoundFont font;
    font.samples.push_back({"big", std::vector<int16_t>(1000, 7)});
    if (compressed) font.samples[0].ogg = test::EncodeOggVorbis(font.samples[0].pcm);
    return test::BuildSoundFont(font);
}

struct LimitCase {
    const char* name;
    std::vector<uint8_t> source;
    std::function<void(CStreamIn&, CStreamOut&, uint64_t)> convert;
    uint64_t limit;
    std::string error;  // empty: converted
};

const auto kConvertWav = [](CStreamIn& in, CStreamOut& out, uint64_t limit) { ConvertWav(in, out, nullptr, limit); };
const auto kConvertSoundFont = [](CStreamIn& in, CStreamOut& out, uint64_t limit) {
    ConvertSoundFont(in, out, nullptr, 1, limit);
};

class MemoryLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(MemoryLimit, RefusesASampleTooLargeToHold) {
    const LimitCase& c = GetParam();
    CMemoryStreamIn in(c.source);
    CMemoryStreamOut out;
    try {
        c.convert(in, out, c.limit);
        EXPECT_EQ(c.error, "");
    } catch (const CError& e) {
        EXPECT_EQ(e.what(), c.error + MoreThanThisBuildHolds());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemoryLimit,
    testing::Values(LimitCase{"MonoFits", Wav(1, 1000), kConvertWav, 2000, ""},
                    LimitCase{"MonoTooLarge", Wav(1, 1000), kConvertWav, 1999,
                              "the 'data' chunk holds 2000 bytes, "},
                    // One channel at a time is held.
                    LimitCase{"StereoFits", Wav(2, 2000), kConvertWav, 2000, ""},
                    LimitCase{"StereoTooLarge", Wav(2, 2000), kConvertWav, 1999,
                              "the 'data' chunk holds 4000 bytes, "},
                    LimitCase{"SoundFontFits", SoundFont(), kConvertSoundFont, 2000, ""},
                    LimitCase{"SoundFontTooLarge", SoundFont(), kConvertSoundFont, 1999,
                              "sample 0 \"big\" holds 2000 bytes, "},
                    LimitCase{"CompressedFits", SoundFont(true), kConvertSoundFont, 2000, ""},
                    LimitCase{"CompressedTooLarge", SoundFont(true), kConvertSoundFont, 1999,
                              "sample 0 \"big\": its Ogg Vorbis stream decodes to 2000 bytes, "}),
    [](const testing::TestParamInfo<LimitCase>& tested) { return std::string(tested.param.name); });

#if INTPTR_MAX == INT32_MAX
// A 32-bit build's own limit, on a file that holds 2 GiB of samples (a
// sparse file: nothing is read or allocated before the refusal). A 64-bit
// build's limit is beyond any WAV file.
TEST(MemoryLimit, A32BitBuildRefusesTwoGibibytes) {
    test::TempDir dir;
    const std::string path = dir / "huge.wav";
    test::TestWav wav;
    wav.dataSizeOverride = uint32_t{1} << 31;
    std::vector<uint8_t> header = test::BuildWav(wav);
    test::WriteFileBytes(path, header);
    std::filesystem::resize_file(path, header.size() + (uint64_t{1} << 31));
    CRvFile in;
    in.Open(path.c_str(), CRvFile::kAccessRead, 0);
    CMemoryStreamOut out;
    try {
        ConvertWav(in, out);
        FAIL() << "accepted";
    } catch (const CError& e) {
        EXPECT_STREQ(e.what(), "the 'data' chunk holds 2147483648 bytes, more than this 32-bit build can hold in memory");
    }
}
#endif

}  // namespace
}  // namespace kbn
