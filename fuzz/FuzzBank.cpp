// libFuzzer harness: a bank from anywhere goes through the library's C API
// as a player takes it (open, listing, test, whole and partial decodes) and
// through the strict reader; a bank the test passes is rebuilt into a
// SoundFont and converted back, which must give the same samples. The C API
// must agree with itself: a test that passes means every sample decodes,
// and any range of a sample decodes to that range of the whole.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <vector>

#include "kbn/kbn.h"

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

// A range of the sample picked by the sample's own length, decoded alone,
// must equal the same frames of the whole decode.
void CheckRange(kbn_bank* api, uint32_t i, const std::vector<int16_t>& whole) {
    const auto length = static_cast<uint32_t>(whole.size());
    const uint32_t first = length / 3;
    const uint32_t count = length - first - length / 5;
    std::vector<int16_t> part(count);
    if (kbn_decode(api, i, first, count, part.data(), nullptr) != KBN_OK) __builtin_trap();
    if (!std::equal(part.begin(), part.end(), whole.begin() + first)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    kbn_bank* api = kbn_open_memory(data, size, "in.kbn", nullptr);
    CMemoryStreamIn in(std::span<const uint8_t>(data, size), "in.kbn");
    Bank bank;
    try {
        bank = ReadBank(in);
    } catch (const CError&) {
        if (api != nullptr) __builtin_trap();  // the C API reads as strictly
        return 0;
    }
    if (api == nullptr) __builtin_trap();
    // The reader checked every count against the file: what it returns lies
    // inside it.
    for (const BankSample& sample : bank.samples) {
        if (sample.packedOffset + sample.packedSize > size) __builtin_trap();
    }
    std::ostringstream listing;
    ListBank(listing, api);
    ListBankAsJson(listing, api);

    const bool sound = kbn_test(api, 1, nullptr) == KBN_OK;
    std::vector<std::vector<int16_t>> pcm;
    for (uint32_t i = 0; i < bank.samples.size(); ++i) {
        std::vector<int16_t> whole(bank.samples[i].record.length);
        if (kbn_decode(api, i, 0, static_cast<uint32_t>(whole.size()), whole.data(), nullptr) != KBN_OK) {
            if (sound) __builtin_trap();
            continue;
        }
        CheckRange(api, i, whole);
        pcm.push_back(std::move(whole));
    }
    kbn_close(api);
    if (sound) RebuildAndConvertBack(bank, pcm);
    return 0;
}
