// libFuzzer harness: a bank from anywhere goes through the strict reader, the
// reference check, the listing and the decoder of every sample, as kbndump
// takes it; a bank that passes all of them is rebuilt into a SoundFont and
// converted back, which must give the same samples. Everything refused must
// be refused with the reader's or the exporter's own error.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <vector>

#include "dump/BankListing.h"
#include "export/SoundFontWriter.h"
#include "import/SoundFontConverter.h"
#include "reader/BankReader.h"
#include "stream/Error.h"
#include "stream/MemoryStream.h"

namespace {

using namespace kbn;

bool SameRecord(const SampleRecord& a, const SampleRecord& b) {
    // The stereo flag has no place in a SoundFont.
    const auto kept = static_cast<uint8_t>(~kSampleFlagStereo);
    return a.name == b.name && a.length == b.length && a.loopStart == b.loopStart && a.loopEnd == b.loopEnd &&
           a.sampleRate == b.sampleRate && a.rootKey == b.rootKey && a.pitchCorrection == b.pitchCorrection &&
           (a.flags & kept) == (b.flags & kept);
}

void RebuildAndConvertBack(const Bank& bank, const std::vector<std::vector<int16_t>>& pcm) {
    CMemoryStreamOut sf2;
    try {
        WriteSoundFont(
            sf2, bank, [&](uint32_t i) { return pcm[i]; }, "fuzz");
    } catch (const CError&) {
        return;  // more than a SoundFont can index, said so
    }
    CMemoryStreamIn rebuilt(sf2.Bytes(), "rebuilt.sf2");
    CMemoryStreamOut again;
    ConvertedBank converted;
    ConvertSoundFont(rebuilt, again, &converted, 1);  // must not be refused
    CMemoryStreamIn readBack(again.Bytes(), "again.kbn");
    const Bank second = ReadBank(readBack);
    if (second.samples.size() != bank.samples.size()) __builtin_trap();
    for (uint32_t i = 0; i < bank.samples.size(); ++i) {
        if (!SameRecord(bank.samples[i].record, second.samples[i].record)) __builtin_trap();
        if (ReadSamplePcm(readBack, second.samples[i], i) != pcm[i]) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    CMemoryStreamIn in(std::span<const uint8_t>(data, size), "in.kbn");
    Bank bank;
    try {
        bank = ReadBank(in);
    } catch (const CError&) {
        return 0;
    }
    // The reader checked every count against the file: what it returns lies
    // inside it.
    for (const BankSample& sample : bank.samples) {
        if (sample.packedOffset + sample.packedSize > size) __builtin_trap();
    }
    std::ostringstream listing;
    ListBank(listing, bank);

    bool sound = true;
    try {
        CheckBankReferences(bank);
    } catch (const CError&) {
        sound = false;
    }
    std::vector<std::vector<int16_t>> pcm;
    for (uint32_t i = 0; i < bank.samples.size(); ++i) {
        try {
            pcm.push_back(ReadSamplePcm(in, bank.samples[i], i));
            if (pcm.back().size() != bank.samples[i].record.length) __builtin_trap();
        } catch (const CError&) {
            sound = false;
        }
    }
    if (sound) RebuildAndConvertBack(bank, pcm);
    return 0;
}
