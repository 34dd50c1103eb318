// Sources whose sizes and counts promise far more than the file holds: each
// is refused at once with a message naming the promise, nothing is written,
// and no allocation comes near what was promised.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
#include "stream/ByteOrder.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "tests/support/AllocationWatch.h"
#include "tests/support/ByteBuilder.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

using Bytes = std::vector<uint8_t>;

// The offset of the first chunk with this id.
std::size_t Find(const Bytes& bytes, const char (&id)[5]) {
    const auto at = std::search(bytes.begin(), bytes.end(), id, id + 4);
    EXPECT_NE(at, bytes.end()) << id;
    return static_cast<std::size_t>(at - bytes.begin());
}

Bytes Patched(Bytes bytes, std::size_t offset, uint32_t value) {
    PutU32(bytes.data() + offset, value);
    return bytes;
}

Bytes Patched16(Bytes bytes, std::size_t offset, uint16_t value) {
    PutU16(bytes.data() + offset, value);
    return bytes;
}

Bytes SoundFont() {
    test::TestSoundFont font;
    font.samples.push_back({"sample", std::vector<int16_t>(100, 7)});
    font.instruments.push_back({"inst", {test::TestSfZone{{{53, 0}}, {}}}});
    font.presets.push_back({"preset", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    return test::BuildSoundFont(font);
}

Bytes Wav(bool withSampler = false) {
    test::TestWav wav;
    wav.pcm = std::vector<int16_t>(100, 7);
    if (withSampler) wav.sampler = test::TestWavSampler{};
    return test::BuildWav(wav);
}

// A LIST chunk of 100 bytes before the data, the file cut inside it.
Bytes WavCutInAChunkBeforeTheData() {
    test::TestWav wav;
    wav.pcm = std::vector<int16_t>(100, 7);
    wav.chunksBeforeData.push_back({"LIST", Bytes(100, 'x')});
    Bytes bytes = test::BuildWav(wav);
    bytes.resize(Find(bytes, "LIST") + 8 + 40);
    return bytes;
}

enum class Kind { Wav, SoundFont };

struct HostileCase {
    const char* name;
    Kind kind;
    std::function<Bytes()> make;
    std::string message;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileSource : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileSource, IsRefusedAtOnceWithoutAllocatingWhatItPromises) {
    const Bytes file = GetParam().make();
    CMemoryStreamIn in(file);
    CMemoryStreamOut out;
    test::AllocationWatch watch;
    try {
        if (GetParam().kind == Kind::Wav) {
            ConvertWav(in, out);
        } else {
            ConvertSoundFont(in, out);
        }
        FAIL() << "accepted";
    } catch (const CError& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
    EXPECT_TRUE(out.Bytes().empty());
    EXPECT_LE(watch.Largest(), std::max<std::size_t>(64 * 1024, 4 * file.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostileSource,
    testing::Values(
        HostileCase{"SoundFontListOfGigabytes", Kind::SoundFont, [] { return Patched(SoundFont(), 16, 0xFFFFFF00u); },
                    "the LIST chunk at offset 12 promises 4294967040 bytes but only 706 remain in the file"},
        HostileCase{"SampleDataOfGigabytes", Kind::SoundFont,
                    [] {
                        const Bytes sf2 = SoundFont();
                        return Patched(sf2, Find(sf2, "smpl") + 4, 0x80000000u);
                    },
                    "the 'smpl' chunk promises 2147483648 bytes but its 'sdta' list holds only 292"},
        HostileCase{"SampleTableOfGigabytes", Kind::SoundFont,
                    [] {
                        const Bytes sf2 = SoundFont();
                        return Patched(sf2, Find(sf2, "shdr") + 4, 0xFFFFFF00u);
                    },
                    "the 'shdr' chunk at offset 626 promises 4294967040 bytes but its 'pdta' list holds only 92 more"},
        HostileCase{
            "SampleEndingGigabytesOut", Kind::SoundFont,
            [] {
                const Bytes sf2 = SoundFont();
                return Patched(sf2, Find(sf2, "shdr") + 8 + 24, 0xFFFFFFFFu);
            },
            "sample 0 \"sample\" ends past the sample data (end 4294967295, the 'smpl' chunk holds 146 points)"},
        HostileCase{
            "ZoneIndexFarOut", Kind::SoundFont,
            [] {
                const Bytes sf2 = SoundFont();
                return Patched16(sf2, Find(sf2, "phdr") + 8 + 38 + 24, 0xFFFF);
            },
            "preset 0 \"preset\" points past the end of the zone table (zone index 65535, 'pbag' holds 2 records)"},
        HostileCase{
            "GeneratorIndexFarOut", Kind::SoundFont,
            [] {
                const Bytes sf2 = SoundFont();
                return Patched16(sf2, Find(sf2, "pbag") + 8 + 4, 0xFFFF);
            },
            "preset 0 \"preset\" zone 0 points past the end of the generator table (index 65535, 'pgen' holds 2 "
            "records)"},
        HostileCase{"WavDataOfGigabytes", Kind::Wav,
                    [] {
                        const Bytes wav = Wav();
                        return Patched(wav, Find(wav, "data") + 4, 0xFFFFFFFEu);
                    },
                    "the 'data' chunk at offset 36 promises 4294967294 bytes but only 200 remain in the file"},
        HostileCase{"WavFormatOfGigabytes", Kind::Wav,
                    [] {
                        const Bytes wav = Wav();
                        return Patched(wav, Find(wav, "fmt ") + 4, 0xFFFFFFF0u);
                    },
                    "the 'fmt ' chunk at offset 12 promises 4294967280 bytes but only 224 remain in the file"},
        HostileCase{"WavSamplerOfGigabytes", Kind::Wav,
                    [] {
                        const Bytes wav = Wav(true);
                        return Patched(wav, Find(wav, "smpl") + 4, 0xFFFFFFF0u);
                    },
                    "the 'smpl' chunk at offset 36 promises 4294967280 bytes but only 244 remain in the file"},
        HostileCase{"WavBillionsOfLoops", Kind::Wav,
                    [] {
                        const Bytes wav = Wav(true);
                        return Patched(wav, Find(wav, "smpl") + 8 + 28, 0xFFFFFFFFu);
                    },
                    "the 'smpl' chunk promises 4294967295 loops but is only 36 bytes, too short for the first one"},
        HostileCase{"WavCutInAChunkBeforeTheData", Kind::Wav, WavCutInAChunkBeforeTheData,
                    "the 'LIST' chunk at offset 36 promises 100 bytes but only 40 remain in the file"}),
    [](const testing::TestParamInfo<HostileCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace kbn
