#include "reader/SampleReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/SoundFontConverter.h"
#include "reader/BankReader.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/SoundFontBuilder.h"

namespace kbn {
namespace {

// The reader keeps its buffers from sample to sample: a short sample after
// a long one, an empty one, a longer one again, and a sample read twice
// must each come back whole, with nothing of the one before.
TEST(SampleReader, EachSampleWholeWhateverCameBefore) {
    const std::vector<std::vector<int16_t>> signals = {
        test::MakeSignal(test::Signal::Noise, 5000), test::MakeSignal(test::Signal::Sine, 40),
        test::MakeSignal(test::Signal::Sine, 0),     test::MakeSignal(test::Signal::Noise, 33),
        test::MakeSignal(test::Signal::Sine, 9000),
    };
    test::TestSoundFont font;
    for (std::size_t i = 0; i < signals.size(); ++i) font.samples.push_back({std::string{static_cast<char>('a' + i)}, signals[i]});
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}}});
    font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    const std::vector<uint8_t> sf2 = test::BuildSoundFont(font);
    CMemoryStreamIn source(sf2);
    CMemoryStreamOut converted;
    ConvertSoundFont(source, converted);

    CMemoryStreamIn in(converted.Bytes());
    const Bank bank = ReadBank(in);
    ASSERT_EQ(bank.samples.size(), signals.size());
    CSampleReader reader(in);
    for (const std::size_t i : {0u, 1u, 2u, 3u, 4u, 1u, 1u, 0u}) {
        const std::span<const int16_t> pcm = reader.Read(bank.samples[i], static_cast<uint32_t>(i));
        EXPECT_EQ(std::vector<int16_t>(pcm.begin(), pcm.end()), signals[i]) << "sample " << i;
    }
}

}  // namespace
}  // namespace kbn
