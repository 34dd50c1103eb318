// The C API, as a player uses it: open a bank from a file or from memory,
// read its records, decode samples or ranges of them from several threads,
// test it; bad banks refused with a message.
#include "kbn/kbn.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "import/SoundFontConverter.h"
#include "reader/BankReader.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/TempDir.h"

namespace kbn {
namespace {

struct Closer {
    void operator()(kbn_bank* bank) const { kbn_close(bank); }
};
using Bank = std::unique_ptr<kbn_bank, Closer>;

// Two samples (a sine with a loop, a ROM noise burst), an instrument with a
// global zone and two more, a preset.
test::TestSoundFont Font() {
    test::TestSoundFont font;
    font.samples.push_back({"Sine A4", test::MakeSignal(test::Signal::Sine, 5000), 100, 4900, 44100, 69, -3, 1});
    font.samples.push_back({"Noise", test::MakeSignal(test::Signal::Noise, 77), 0, 77, 22050, 60, 0, 0x8001});
    test::TestSfZone global{{{17, static_cast<uint16_t>(-200)}}, {{0x0502, 48, -960, 0, 2}}};
    font.instruments.push_back({"Lead", {global, {{{43, 0x4020}, {53, 0}}, {}}, {{{53, 1}}, {}}}});
    font.presets.push_back({"Lead Preset", 7, 1, {{{{41, 0}}, {}}}});
    return font;
}

std::vector<uint8_t> BankBytes() {
    const std::vector<uint8_t> sf2 = test::BuildSoundFont(Font());
    CMemoryStreamIn in(sf2);
    CMemoryStreamOut out;
    ConvertSoundFont(in, out);
    return out.Bytes();
}

std::vector<int16_t> Decode(kbn_bank* bank, uint32_t sample, uint32_t first, uint32_t count) {
    std::vector<int16_t> out(count);
    kbn_error error;
    EXPECT_EQ(kbn_decode(bank, sample, first, count, out.data(), &error), KBN_OK) << error.message;
    return out;
}

// From a file and from memory, the same bank: records, zones, generators
// by id, SoundFont number and name, modulators, and the decoded samples.
TEST(KbnApi, ReadsTheRecordsAndSamplesFromAFileOrMemory) {
    EXPECT_STREQ(kbn_version(), KBN_VERSION);  // the project's, as the programs print it
    const std::vector<uint8_t> bytes = BankBytes();
    test::TempDir dir;
    test::WriteFileBytes(dir / "t.kbn", bytes);
    kbn_error error;
    Bank fromFile(kbn_open_file((dir / "t.kbn").c_str(), &error));
    ASSERT_NE(fromFile, nullptr) << error.message;
    Bank fromMemory(kbn_open_memory(bytes.data(), bytes.size(), "t.kbn", &error));
    ASSERT_NE(fromMemory, nullptr) << error.message;
    for (kbn_bank* bank : {fromFile.get(), fromMemory.get()}) {
        EXPECT_EQ(kbn_sample_count(bank), 2u);
        EXPECT_EQ(kbn_instrument_count(bank), 1u);
        EXPECT_EQ(kbn_preset_count(bank), 1u);
        kbn_sample_info sample;
        ASSERT_EQ(kbn_get_sample(bank, 0, &sample, nullptr), KBN_OK);
        EXPECT_STREQ(sample.name, "Sine A4");
        EXPECT_EQ(sample.length, 5000u);
        EXPECT_EQ(sample.loop_start, 100u);
        EXPECT_EQ(sample.loop_end, 4900u);
        EXPECT_EQ(sample.sample_rate, 44100u);
        EXPECT_EQ(sample.root_key, 69);
        EXPECT_EQ(sample.pitch_correction, -3);
        ASSERT_EQ(kbn_get_sample(bank, 1, &sample, nullptr), KBN_OK);
        EXPECT_EQ(sample.flags, 0x01 | KBN_SAMPLE_ROM);
        kbn_preset_info preset;
        ASSERT_EQ(kbn_get_preset(bank, 0, &preset, nullptr), KBN_OK);
        EXPECT_STREQ(preset.name, "Lead Preset");
        EXPECT_EQ(preset.preset, 7);
        EXPECT_EQ(preset.bank, 1);
        kbn_zone_info zone;
        ASSERT_EQ(kbn_get_zone(bank, KBN_INSTRUMENT, 0, 1, &zone, nullptr), KBN_OK);
        EXPECT_EQ(zone.generator_count, 2u);
        kbn_generator generator;
        ASSERT_EQ(kbn_get_generator(bank, KBN_INSTRUMENT, 0, 1, 0, &generator, nullptr), KBN_OK);
        EXPECT_EQ(generator.id, 2);
        EXPECT_EQ(generator.soundfont_number, 43);
        EXPECT_STREQ(generator.name, "keyRange");
        EXPECT_EQ(generator.amount, 0x4020);
        kbn_modulator modulator;
        ASSERT_EQ(kbn_get_modulator(bank, KBN_INSTRUMENT, 0, 0, 0, &modulator, nullptr), KBN_OK);
        EXPECT_EQ(modulator.destination, 9);  // initialAttenuation, as the bank numbers it
        EXPECT_STREQ(modulator.destination_name, "initialAttenuation");
        EXPECT_EQ(modulator.amount, -960);
        EXPECT_EQ(Decode(bank, 0, 0, 5000), test::MakeSignal(test::Signal::Sine, 5000));
        EXPECT_EQ(Decode(bank, 1, 0, 77), test::MakeSignal(test::Signal::Noise, 77));
        EXPECT_EQ(kbn_test(bank, 2, &error), KBN_OK) << error.message;
        EXPECT_STREQ(kbn_last_error(bank), "");
    }
}

// Any range is the same frames of the whole sample: at block edges, inside
// one block, empty, to the end.
TEST(KbnApi, ARangeIsThoseFramesOfTheWholeSample) {
    const std::vector<uint8_t> bytes = BankBytes();
    Bank bank(kbn_open_memory(bytes.data(), bytes.size(), nullptr, nullptr));
    ASSERT_NE(bank, nullptr);
    const std::vector<int16_t> whole = Decode(bank.get(), 0, 0, 5000);
    const struct {
        uint32_t first, count;
    } ranges[] = {{0, 1}, {0, 32}, {31, 2}, {32, 32}, {100, 0}, {4000, 1000}, {4999, 1}, {5000, 0}, {1234, 3000}};
    for (const auto& r : ranges) {
        const std::vector<int16_t> part = Decode(bank.get(), 0, r.first, r.count);
        const auto same_frames = whole.begin() + static_cast<std::ptrdiff_t>(r.first);
        EXPECT_TRUE(std::equal(part.begin(), part.end(), same_frames)) << r.first << "+" << r.count;
    }
}

// Every failure says which file, which item and what is wrong, in the
// error given and as the bank's last error.
TEST(KbnApi, RefusesWhatIsNotThereWithAMessage) {
    std::vector<uint8_t> bytes = BankBytes();
    kbn_error error;
    EXPECT_EQ(kbn_open_file("/no/such.kbn", &error), nullptr);
    EXPECT_EQ(std::string(error.message).rfind("/no/such.kbn: cannot open: ", 0), 0u) << error.message;
    const std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 3);
    EXPECT_EQ(kbn_open_memory(cut.data(), cut.size(), "cut.kbn", &error), nullptr);
    EXPECT_EQ(std::string(error.message).rfind("cut.kbn: offset ", 0), 0u) << error.message;

    Bank bank(kbn_open_memory(bytes.data(), bytes.size(), "t.kbn", nullptr));
    ASSERT_NE(bank, nullptr);
    int16_t out[8];
    kbn_sample_info sample;
    kbn_zone_info zone;
    const struct {
        std::function<int()> call;
        std::string message;
    } cases[] = {
        {[&] { return kbn_get_sample(bank.get(), 2, &sample, &error); },
         "t.kbn: sample 2 is not in the bank, which holds 2"},
        {[&] { return kbn_decode(bank.get(), 1, 75, 3, out, &error); },
         "t.kbn: sample 1 \"Noise\": frames 75 to 78 lie outside its 77"},
        {[&] { return kbn_get_zone(bank.get(), KBN_PRESET, 0, 1, &zone, &error); },
         "t.kbn: zone 1 is not in the bank, which holds 1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.call(), KBN_FAILED);
        EXPECT_EQ(error.message, c.message);
        EXPECT_EQ(kbn_last_error(bank.get()), c.message);
    }
    // A stream whose bit count is one off: decoding and testing name the
    // sample and its offset.
    CMemoryStreamIn in(bytes);
    const uint64_t at = ReadBank(in).samples[0].streamOffset + 2;
    const uint64_t bits = GetU64(bytes.data() + at);
    PutU64(bytes.data() + at, bits % 8 != 7 ? bits + 1 : bits - 1);
    Bank damaged(kbn_open_memory(bytes.data(), bytes.size(), "bad.kbn", nullptr));
    ASSERT_NE(damaged, nullptr);
    std::vector<int16_t> whole(5000);
    EXPECT_EQ(kbn_decode(damaged.get(), 0, 0, 5000, whole.data(), &error), KBN_FAILED);
    const std::string expected = "bad.kbn: offset " + std::to_string(at - 2) + ": sample 0 \"Sine A4\": ";
    EXPECT_EQ(std::string(error.message).rfind(expected, 0), 0u) << error.message;
    EXPECT_EQ(kbn_test(damaged.get(), 3, &error), KBN_FAILED);
    EXPECT_EQ(std::string(error.message).rfind(expected, 0), 0u) << error.message;
}

// One bank, decoded by several threads at once: each gets its samples.
TEST(KbnApi, SeveralThreadsDecodeOneBank) {
    const std::vector<uint8_t> bytes = BankBytes();
    test::TempDir dir;
    test::WriteFileBytes(dir / "t.kbn", bytes);
    Bank bank(kbn_open_file((dir / "t.kbn").c_str(), nullptr));
    ASSERT_NE(bank, nullptr);
    const std::vector<int16_t> sine = test::MakeSignal(test::Signal::Sine, 5000);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<int16_t> out(2000);
            for (uint32_t round = 0; round < 50; ++round) {
                const uint32_t first = (round * 97 + static_cast<uint32_t>(t) * 13) % 3000;
                if (kbn_decode(bank.get(), 0, first, 2000, out.data(), nullptr) != KBN_OK ||
                    !std::equal(out.begin(), out.end(), sine.begin() + static_cast<std::ptrdiff_t>(first))) {
                    ++wrong[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace kbn
