#include "verify/BankVerifier.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
#include "reader/BankReader.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

// The source stays open: the converted bank reads its samples from it.
struct Conversion {
    std::vector<uint8_t> source;
    std::unique_ptr<CMemoryStreamIn> in;
    std::vector<uint8_t> bank;
    ConvertedBank converted;
};

// The conversion of `source` by `convert(in, out, converted)`.
template <class Convert>
Conversion ConvertBytes(std::vector<uint8_t> source, Convert convert) {
    Conversion c;
    c.source = std::move(source);
    c.in = std::make_unique<CMemoryStreamIn>(c.source);
    CMemoryStreamOut out;
    convert(*c.in, out, &c.converted);
    c.bank = out.Bytes();
    return c;
}

Conversion ConvertFont(const test::TestSoundFont& font) {
    return ConvertBytes(test::BuildSoundFont(font),
                        [](CStreamIn& in, CStreamOut& out, ConvertedBank* c) { ConvertSoundFont(in, out, c); });
}

Conversion ConvertWavFile(const test::TestWav& wav) {
    return ConvertBytes(test::BuildWav(wav), [](CStreamIn& in, CStreamOut& out, ConvertedBank* c) { ConvertWav(in, out, c); });
}

Conversion ConvertFont() {
    test::TestSoundFont font;
    font.samples.push_back({"a", test::MakeSignal(test::Signal::Sine, 700)});
    font.samples.push_back({"b", test::MakeSignal(test::Signal::Noise, 90)});
    font.instruments.push_back({"i", {test::TestSfZone{{{17, 3}, {53, 1}}, {{0x0502, 48, 7, 0, 0}}}}});
    font.presets.push_back({"p", 3, 4, {test::TestSfZone{{{41, 0}}, {}}}});
    return ConvertFont(font);
}

std::string Verify(const Conversion& c, const std::vector<uint8_t>& bank, unsigned threads = 1) {
    CMemoryStreamIn written(bank);
    try {
        VerifyBank(written, c.converted, threads);
    } catch (const CError& e) {
        return e.what();
    }
    return "ok";
}

TEST(BankVerifier, AcceptsWhatWasWrittenFromASoundFontAndAStereoWav) {
    const Conversion font = ConvertFont();
    EXPECT_EQ(Verify(font, font.bank), "ok");

    test::TestWav wav;
    wav.channels = 2;
    wav.pcm = test::MakeSignal(test::Signal::Noise, 2000);
    const Conversion stereo = ConvertWavFile(wav);
    EXPECT_EQ(Verify(stereo, stereo.bank), "ok");
}

TEST(BankVerifier, NamesTheSampleAndFrameThatDecodeDifferently) {
    const Conversion c = ConvertFont();
    CMemoryStreamIn in(c.bank);
    const Bank bank = ReadBank(in);
    // Flip a low bit of the first residual of sample 1 (the block header is
    // 6 bits; with k > 0 the next bits are the code's low bits).
    std::vector<uint8_t> bad = c.bank;
    bad[static_cast<std::size_t>(bank.samples[1].packedOffset)] ^= 0x40;
    const std::string message = Verify(c, bad);
    EXPECT_NE(message.find("sample 1 \"b\""), std::string::npos) << message;
}

// Twelve samples, checked on threads through positioned reads: every one
// checked, and the same message as in order. (Which thread fails first is
// left to the test of ForEachOnThreads, which can force it.)
Conversion ConvertManySamples() {
    test::TestSoundFont font;
    for (int i = 0; i < 12; ++i) {
        const auto signal = i % 2 == 0 ? test::Signal::Sine : test::Signal::Noise;
        std::string name = "s";  // appended: GCC 12 warns falsely on "s" + std::string
        name += std::to_string(i);
        font.samples.push_back({name, test::MakeSignal(signal, static_cast<std::size_t>(3000 - 200 * i))});
    }
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}}});
    font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    return ConvertFont(font);
}

TEST(BankVerifier, ReportsTheFirstDifferenceInOrderWhateverTheThreads) {
    const Conversion c = ConvertManySamples();
    CMemoryStreamIn in(c.bank);
    const Bank bank = ReadBank(in);
    const auto corrupt = [&](std::initializer_list<std::size_t> samples) {
        std::vector<uint8_t> bad = c.bank;
        for (std::size_t i : samples) bad[static_cast<std::size_t>(bank.samples[i].packedOffset + 20)] ^= 0x10;
        return bad;
    };
    struct Case {
        std::vector<uint8_t> bank;
        std::string named;  // the sample the message must name; empty: none
    };
    const Case cases[] = {
        {c.bank, ""},
        {corrupt({4, 9}), "sample 4 \"s4\""},
        {corrupt({11}), "sample 11 \"s11\""},
        {corrupt({0, 1, 2, 3, 10}), "sample 0 \"s0\""},
    };
    for (const Case& test : cases) {
        const std::string serial = Verify(c, test.bank, 1);
        if (test.named.empty()) {
            EXPECT_EQ(serial, "ok");
        } else {
            EXPECT_NE(serial.find(test.named + ":"), std::string::npos) << serial;
        }
        for (unsigned threads : {2u, 3u, 8u, 64u}) {
            EXPECT_EQ(Verify(c, test.bank, threads), serial) << threads << " threads";
        }
    }
}

TEST(BankVerifier, AcceptsEmptySamplesOnAnyThreads) {
    test::TestWav wav;
    wav.withData = false;
    const Conversion empty = ConvertWavFile(wav);
    ASSERT_EQ(empty.converted.contents.bank.samples.at(0).record.length, 0u);
    for (unsigned threads : {1u, 2u}) EXPECT_EQ(Verify(empty, empty.bank, threads), "ok") << threads;
}

TEST(BankVerifier, ChecksAStereoWavsChannelsWithThreadsAskedFor) {
    test::TestWav wav;
    wav.channels = 2;
    wav.pcm = test::MakeSignal(test::Signal::Noise, 4000);
    const Conversion stereo = ConvertWavFile(wav);
    EXPECT_EQ(Verify(stereo, stereo.bank, 2), "ok");
    // The right channel's sample differs from what a wrong stride would read.
    CMemoryStreamIn written(stereo.bank);
    const Bank bank = ReadBank(written);
    std::vector<uint8_t> bad = stereo.bank;
    bad[static_cast<std::size_t>(bank.samples[1].packedOffset + 20)] ^= 0x10;
    const std::string message = Verify(stereo, bad, 2);
    EXPECT_NE(message.find("sample 1 "), std::string::npos) << message;
}

// What the conversion expected, changed: the first difference is named.
TEST(BankVerifier, ReportsStructuralDifferences) {
    Conversion c = ConvertFont();
    struct Change {
        void (*apply)(Bank&);
        std::string message;
    };
    const Change changes[] = {
        {[](Bank& b) { b.samples[0].record.loopEnd += 1; }, "sample 0 \"a\": the loop end is 0, expected 1"},
        {[](Bank& b) { b.samples.pop_back(); }, "the sample count is 2, expected 1"},
        {[](Bank& b) { b.instruments[0].zones[0].generators[0].amount = 9; },
         "instrument 0 \"i\" zone 0: generator 0 is (8, 3), expected (8, 9)"},
        {[](Bank& b) { b.instruments[0].zones[0].modulators[0].amount = 1; },
         "instrument 0 \"i\" zone 0: modulator 0 differs"},
        {[](Bank& b) { b.presets[0].bank = 5; }, "preset 0 \"p\": the bank number is 4, expected 5"},
    };
    const Bank converted = c.converted.contents.bank;
    for (const Change& change : changes) {
        change.apply(c.converted.contents.bank);
        EXPECT_EQ(Verify(c, c.bank), change.message);
        c.converted.contents.bank = converted;
    }
}

// A conversion that wrote a dangling sample reference, and expected it:
// what kbndump --test rejects cannot pass.
TEST(BankVerifier, RefusesWhatTheBankTestRefuses) {
    Conversion c = ConvertFont();
    CMemoryStreamIn in(c.bank);
    const Bank read = ReadBank(in);
    const BankZone& zone = read.instruments[0].zones[0];
    std::vector<uint8_t> bank = c.bank;
    bank[static_cast<std::size_t>(zone.offset + 2 + 4 + 2)] = 7;  // the second generator's amount: sampleID 7
    c.converted.contents.bank.instruments[0].zones[0].generators[1].amount = 7;
    EXPECT_EQ(Verify(c, bank), "offset " + std::to_string(zone.offset) +
                                   ": instrument 0 \"i\" zone 0 points to sample 7, past the 2 in the bank");
}

TEST(BankVerifier, RefusesABankThatDoesNotRead) {
    const Conversion c = ConvertFont();
    std::vector<uint8_t> truncated(c.bank.begin(), c.bank.end() - 1);
    EXPECT_NE(Verify(c, truncated), "ok");
}

}  // namespace
}  // namespace kbn
