// SF3 SoundFonts: samples stored as Ogg Vorbis streams, beside plain ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "import/OggVorbisDecoder.h"
#include "import/SoundFontConverter.h"
#include "reader/BankReader.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/OggVorbisEncoder.h"
#include "tests/support/SoundFontBuilder.h"
#include "verify/BankVerifier.h"

namespace kbn {
namespace {

const std::vector<int16_t> kSine = test::MakeSignal(test::Signal::Sine, 5000);
const std::vector<uint8_t> kOgg = test::EncodeOggVorbis(kSine);

// A plain sample, then a compressed one looped from 100 to 4000.
test::TestSoundFont Font(std::vector<uint8_t> ogg) {
    test::TestSoundFont font;
    font.samples.push_back({"plain", test::MakeSignal(test::Signal::Noise, 300)});
    test::TestSfSample compressed{"sf3", {}, 100, 4000};
    compressed.ogg = std::move(ogg);
    font.samples.push_back(compressed);
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}, test::TestSfZone{{{53, 1}}, {}}}});
    font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    return font;
}

TEST(SoundFont3, CompressedSamplesBecomeTheirDecodedPcm) {
    const std::vector<uint8_t> sf3 = test::BuildSoundFont(Font(kOgg));
    std::vector<uint8_t> first;
    for (const unsigned threads : {1u, 2u, 3u}) {
        CMemoryStreamIn in(sf3);
        CMemoryStreamOut out;
        ConvertedBank converted;
        ConvertSoundFont(in, out, &converted, threads);
        if (first.empty()) first = out.Bytes();
        EXPECT_TRUE(out.Bytes() == first) << threads << " threads give another bank";
        CMemoryStreamIn written(out.Bytes());
        EXPECT_NO_THROW(VerifyBank(written, converted, threads));
    }
    CMemoryStreamIn in(first);
    const Bank bank = ReadBank(in);
    const SampleRecord& record = bank.samples.at(1).record;
    EXPECT_EQ(record.length, kSine.size());
    EXPECT_EQ(record.loopStart, 100u);
    EXPECT_EQ(record.loopEnd, 4000u);
    EXPECT_EQ(record.flags, kSampleFlagPresent);  // the compressed bit is no bank flag
    // Exactly libvorbisfile's 16-bit output, which is close to the sine.
    CScratchBuffer<int16_t> buffer;
    const std::span<const int16_t> expected = DecodeOggVorbis(kOgg, buffer);
    const std::vector<int16_t> pcm = ReadSamplePcm(in, bank.samples[1], 1);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), expected.begin(), expected.end()));
    for (std::size_t i = 0; i < pcm.size(); ++i) ASSERT_LT(std::abs(pcm[i] - kSine[i]), 1000) << i;
    EXPECT_EQ(ReadSamplePcm(in, bank.samples[0], 0), test::MakeSignal(test::Signal::Noise, 300));
}

struct BrokenStream {
    const char* name;
    std::vector<uint8_t> ogg;
    const char* problem;
};

class SoundFont3Broken : public testing::TestWithParam<BrokenStream> {};

TEST_P(SoundFont3Broken, IsRefusedNamingTheSample) {
    const std::vector<uint8_t> sf3 = test::BuildSoundFont(Font(GetParam().ogg));
    CMemoryStreamIn in(sf3);
    CMemoryStreamOut out;
    try {
        ConvertSoundFont(in, out, nullptr, 2);
        FAIL() << "accepted";
    } catch (const CError& e) {
        EXPECT_EQ(std::string(e.what()), std::string("sample 1 \"sf3\": its Ogg Vorbis stream ") + GetParam().problem);
    }
}

std::vector<int16_t> Stereo() {
    std::vector<int16_t> both;
    for (const int16_t value : kSine) both.insert(both.end(), {value, value});
    return both;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SoundFont3Broken,
    testing::Values(BrokenStream{"Stereo", test::EncodeOggVorbis(Stereo(), 2), "has 2 channels; a sample has one"},
                    BrokenStream{"CutShort", std::vector<uint8_t>(kOgg.begin(), kOgg.end() - 100),
                                 "is cut short: its last page is missing"},
                    BrokenStream{"NotVorbis", std::vector<uint8_t>(3000, 'x'),
                                 "cannot be opened: it is not Vorbis data"}),
    [](const testing::TestParamInfo<BrokenStream>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace kbn
