// The pad byte after an odd-sized chunk, left out or not zero, in SoundFont
// and WAV files alike.
#include <gtest/gtest.h>

#include <algorithm>

#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
#include "stream/ByteOrder.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

using Bytes = std::vector<uint8_t>;

enum class Source { SfOddChunkEndingSdta, SfOddPgen, WavNoteAfterData };

Bytes Make(Source source) {
    if (source == Source::WavNoteAfterData) {  // then an empty chunk and the loop
        test::TestWav wav;
        wav.pcm = {5, -6, 7, -8};
        wav.sampler = test::TestWavSampler{67, {{1, 2}}, {}, {}};
        wav.samplerAfterData = true;
        wav.chunksAfterData = {{"note", {'x'}}, {"junk", {}}};
        return test::BuildWav(wav);
    }
    test::TestSoundFont font;
    font.samples.push_back({"s", {1, -2, 3}});
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}}});
    test::TestSfFile file = test::MakeSoundFontFile(font);
    if (source == Source::SfOddPgen) file.extraTableBytes["pgen"] = {0xAA};
    if (source == Source::SfOddChunkEndingSdta) file.extraSdtaChunks.push_back({"xtra", {1, 2, 3}});
    return test::SerializeSoundFont(file);
}

Bytes Convert(const Bytes& file) {
    CMemoryStreamIn in(file);
    CMemoryStreamOut out;
    if (std::equal(file.begin() + 8, file.begin() + 12, "WAVE")) ConvertWav(in, out);
    else ConvertSoundFont(in, out);
    return out.Bytes();
}

std::size_t SizeField(const Bytes& bytes, const char* id) {
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), id, id + 4) - bytes.begin()) + 4;
}

struct PadCase {
    const char* name;
    Source source;
    const char* odd;        // the chunk whose pad byte is spoilt
    const char* list;       // the list holding it, which shrinks with it
    int pad;                // -1: left out
    const char* hugeChunk;  // one given 65535 bytes, in the correct file too
    const char* error;      // nullptr: the same bank as the correct file
};

class RiffPad : public testing::TestWithParam<PadCase> {};

TEST_P(RiffPad, IsFoundOrReported) {
    const PadCase& c = GetParam();
    Bytes correct = Make(c.source);
    if (c.hugeChunk) PutU32(correct.data() + SizeField(correct, c.hugeChunk), 0xFFFF);
    Bytes spoilt = correct;
    const std::size_t pad = SizeField(spoilt, c.odd) + 4 + GetU32(spoilt.data() + SizeField(spoilt, c.odd));
    if (c.pad >= 0) {
        spoilt[pad] = static_cast<uint8_t>(c.pad);
    } else {
        spoilt.erase(spoilt.begin() + static_cast<long>(pad));
        const auto shrink = [&](std::size_t at) { PutU32(spoilt.data() + at, GetU32(spoilt.data() + at) - 1); };
        shrink(4);                                          // the RIFF size
        if (c.list) shrink(SizeField(spoilt, c.list) - 8);  // the LIST's, before its type
    }
    if (!c.error) {
        EXPECT_EQ(Convert(spoilt), Convert(correct));
        return;
    }
    try {
        Convert(spoilt);
        FAIL() << "accepted";
    } catch (const CError& e) {
        EXPECT_STREQ(e.what(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RiffPad,
    testing::Values(
        // The shape of Debian's SF3 banks: the top-level list is unpadded too.
        PadCase{"ListEndsInAnUnpaddedChunk", Source::SfOddChunkEndingSdta, "xtra", "sdta", -1, nullptr, nullptr},
        PadCase{"TablePadLeftOut", Source::SfOddPgen, "pgen", "pdta", -1, nullptr, nullptr},
        PadCase{"TablePadNotZero", Source::SfOddPgen, "pgen", nullptr, 0xFF, nullptr, nullptr},
        PadCase{"TableFollowedByNoChunk", Source::SfOddPgen, "pgen", nullptr, 'x', "inst",
                "after the odd-sized 'pgen' chunk at offset 272, neither offset 285 nor 286 starts a chunk (found "
                "'xins' of 16777076 bytes and 'inst' of 65535 bytes; a chunk must end by offset 488)"},
        PadCase{"WavSmplAfterAnUnpaddedChunk", Source::WavNoteAfterData, "note", nullptr, -1, nullptr, nullptr},
        // After the samples a damaged tail is passed over, as it always was.
        PadCase{"WavDamagedTail", Source::WavNoteAfterData, "note", nullptr, 'x', "junk", nullptr}),
    [](const testing::TestParamInfo<PadCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace kbn
