#include "verify/BankVerifier.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

#include "bank/NameText.h"
#include "platform/Threads.h"
#include "reader/BankReader.h"
#include "reader/SampleReader.h"
#include "stream/ScratchBuffer.h"

namespace kbn {
namespace {

std::string Describe(const char* kind, std::size_t index, const Name& name) {
    return std::string(kind) + " " + std::to_string(index) + " " + QuotedName(name);
}

std::optional<std::string> Differ(const std::string& what, uint64_t expected, uint64_t actual) {
    if (expected == actual) return std::nullopt;
    return what + " is " + std::to_string(actual) + ", expected " + std::to_string(expected);
}

std::optional<std::string> CompareSample(std::size_t i, const SampleRecord& e, const SampleRecord& a) {
    const std::string who = Describe("sample", i, e.name);
    if (e.name != a.name) return who + ": the name is " + QuotedName(a.name);
    for (const auto& [field, expected, actual] :
         {std::tuple{"length", uint64_t{e.length}, uint64_t{a.length}},
          std::tuple{"loop start", uint64_t{e.loopStart}, uint64_t{a.loopStart}},
          std::tuple{"loop end", uint64_t{e.loopEnd}, uint64_t{a.loopEnd}},
          std::tuple{"sample rate", uint64_t{e.sampleRate}, uint64_t{a.sampleRate}},
          std::tuple{"root key", uint64_t{e.rootKey}, uint64_t{a.rootKey}},
          std::tuple{"pitch correction", uint64_t(uint8_t(e.pitchCorrection)), uint64_t(uint8_t(a.pitchCorrection))},
          std::tuple{"flags", uint64_t{e.flags}, uint64_t{a.flags}}}) {
        if (auto d = Differ(who + ": the " + field, expected, actual)) return d;
    }
    return std::nullopt;
}

std::optional<std::string> CompareZones(const std::string& owner, const std::vector<BankZone>& e,
                                        const std::vector<BankZone>& a) {
    if (auto d = Differ(owner + ": the zone count", e.size(), a.size())) return d;
    for (std::size_t z = 0; z < e.size(); ++z) {
        const std::string zone = owner + " zone " + std::to_string(z);
        if (auto d = Differ(zone + ": the generator count", e[z].generators.size(), a[z].generators.size())) return d;
        for (std::size_t g = 0; g < e[z].generators.size(); ++g) {
            const GeneratorEntry& x = e[z].generators[g];
            const GeneratorEntry& y = a[z].generators[g];
            if (x.id != y.id || x.amount != y.amount) {
                return zone + ": generator " + std::to_string(g) + " is (" + std::to_string(y.id) + ", " +
                       std::to_string(y.amount) + "), expected (" + std::to_string(x.id) + ", " +
                       std::to_string(x.amount) + ")";
            }
        }
        if (auto d = Differ(zone + ": the modulator count", e[z].modulators.size(), a[z].modulators.size())) return d;
        for (std::size_t m = 0; m < e[z].modulators.size(); ++m) {
            const ModulatorRecord& x = e[z].modulators[m];
            const ModulatorRecord& y = a[z].modulators[m];
            if (x.source != y.source || x.destination != y.destination || x.amount != y.amount ||
                x.amountSource != y.amountSource || x.transform != y.transform) {
                return zone + ": modulator " + std::to_string(m) + " differs";
            }
        }
    }
    return std::nullopt;
}

// What one thread of a check needs: its own reader and buffers.
struct SampleCheck {
    SampleCheck(CStreamIn& written, SampleAccess access) : reader(written, access) {}
    CSampleReader reader;
    CScratchBuffer<int16_t> sourceBuffer;
};

// Decodes sample i and compares it with the source's PCM, read (and
// decoded, for a compressed source) again; CError on a difference or
// a stream that does not decode.
void VerifySample(const Bank& bank, uint32_t i, const CSamplePcmSource& source, SampleCheck& check) {
    const BankSample& sample = bank.samples[i];
    std::span<const int16_t> decoded;
    try {
        decoded = check.reader.Read(sample, i);
    } catch (const CError& e) {
        throw CError(e.what());
    }
    const std::span<const int16_t> original = source.Read(i, check.sourceBuffer);
    if (original.size() != decoded.size()) {
        throw CError(Describe("sample", i, sample.record.name) + ": the source holds " +
                     std::to_string(original.size()) + " frames, the bank " + std::to_string(decoded.size()));
    }
    // memcmp compares many bytes a step; the frame is looked for only
    // once they differ. An empty sample's buffers may be null, which
    // memcmp may not be given.
    if (!decoded.empty() && std::memcmp(decoded.data(), original.data(), decoded.size_bytes()) != 0) {
        const auto [at, _] = std::mismatch(decoded.begin(), decoded.end(), original.begin());
        const auto frame = static_cast<std::size_t>(at - decoded.begin());
        throw CError(Describe("sample", i, sample.record.name) + ": frame " + std::to_string(frame) +
                     " decodes to " + std::to_string(decoded[frame]) + ", the source holds " +
                     std::to_string(original[frame]));
    }
}

// The first difference between two banks' structure (counts, records,
// zones, generators, modulators), or nothing when they agree. Stream
// details (offsets, bit counts) are not compared.
std::optional<std::string> FindStructureDifference(const Bank& expected, const Bank& actual) {
    if (auto d = Differ("the sample count", expected.samples.size(), actual.samples.size())) return d;
    for (std::size_t i = 0; i < expected.samples.size(); ++i) {
        if (auto d = CompareSample(i, expected.samples[i].record, actual.samples[i].record)) return d;
    }
    if (auto d = Differ("the instrument count", expected.instruments.size(), actual.instruments.size())) return d;
    for (std::size_t i = 0; i < expected.instruments.size(); ++i) {
        const std::string who = Describe("instrument", i, expected.instruments[i].name);
        if (expected.instruments[i].name != actual.instruments[i].name) return who + ": the name differs";
        if (auto d = CompareZones(who, expected.instruments[i].zones, actual.instruments[i].zones)) return d;
    }
    if (auto d = Differ("the preset count", expected.presets.size(), actual.presets.size())) return d;
    for (std::size_t i = 0; i < expected.presets.size(); ++i) {
        const BankPreset& e = expected.presets[i];
        const BankPreset& a = actual.presets[i];
        const std::string who = Describe("preset", i, e.name);
        if (e.name != a.name) return who + ": the name differs";
        if (auto d = Differ(who + ": the preset number", e.preset, a.preset)) return d;
        if (auto d = Differ(who + ": the bank number", e.bank, a.bank)) return d;
        if (auto d = CompareZones(who, e.zones, a.zones)) return d;
    }
    return std::nullopt;
}

}  // namespace

void VerifyBank(CStreamIn& written, const ConvertedBank& converted, unsigned threads) {
    // The checks of kbndump --test, every one: the layout, the references
    // and (below) every sample's stream, so that no bank it rejects passes.
    Bank bank;
    try {
        bank = ReadBank(written);
        CheckBankReferences(bank);
    } catch (const CError& e) {
        throw CError(e.what());
    }
    if (auto difference = FindStructureDifference(converted.contents.bank, bank)) throw CError(*difference);
    const CSamplePcmSource& source = *converted.contents.pcm;
    const bool onThreads = threads > 1 && written.CanReadAt() && source.ReadsConcurrently();
    const SampleAccess access = onThreads ? SampleAccess::AtPositions : SampleAccess::Sequential;
    ForEachOnThreads(
        static_cast<uint32_t>(bank.samples.size()), onThreads ? threads : 1,
        [&] { return SampleCheck(written, access); },
        [&](SampleCheck& check, uint32_t i) { VerifySample(bank, i, source, check); });
}

}  // namespace kbn
