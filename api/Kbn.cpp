// The C API over the bank reader and the decoder.
#include "kbn/kbn.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "bank/GeneratorMap.h"
#include "bank/GeneratorNames.h"
#include "bank/NameText.h"
#include "platform/Threads.h"
#include "reader/BankReader.h"
#include "reader/SampleReader.h"
#include "stream/MemoryStream.h"
#include "stream/RvFile.h"

#ifndef KBN_VERSION
#define KBN_VERSION "unknown"
#endif

struct kbn_bank {
    std::string name;
    std::unique_ptr<kbn::CRvFile> file;
    std::unique_ptr<kbn::CMemoryStreamIn> memory;
    kbn::CStreamIn* in = nullptr;
    kbn::Bank bank;
    mutable std::mutex errorMutex;
    mutable std::string lastError;
};

namespace {

using kbn::CError;
using kbn::FailureMessage;

// Runs `body`, turning whatever it throws into KBN_FAILED with the message
// (naming the bank where the error names no file) in `error` and the
// bank's last error.
template <class Body>
int Guarded(const kbn_bank* bank, const std::string& name, kbn_error* error, Body body) {
    std::string message;
    try {
        body();
        return KBN_OK;
    } catch (const std::exception& e) {
        message = FailureMessage(e, name);
    }
    if (error != nullptr) {
        const std::size_t n = std::min(message.size(), sizeof error->message - 1);
        std::memcpy(error->message, message.data(), n);
        error->message[n] = '\0';
    }
    if (bank != nullptr) {
        std::lock_guard lock(bank->errorMutex);
        bank->lastError = message;
    }
    return KBN_FAILED;
}

void CopyName(const kbn::Name& from, char (&to)[21]) {
    std::memcpy(to, from.data(), from.size());
    to[20] = '\0';
}

template <class Items>
const auto& At(const Items& items, uint32_t index, const char* what) {
    if (index >= items.size()) {
        throw CError(std::string(what) + " " + std::to_string(index) + " is not in the bank, which holds " +
                     std::to_string(items.size()));
    }
    return items[index];
}

const kbn::BankZone& ZoneOf(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zone) {
    const auto& zones = kind == KBN_PRESET ? At(bank->bank.presets, owner, "preset").zones
                                           : At(bank->bank.instruments, owner, "instrument").zones;
    return At(zones, zone, "zone");
}

kbn_bank* Open(std::unique_ptr<kbn_bank> bank, kbn_error* error) {
    const int status = Guarded(nullptr, bank->name, error, [&] { bank->bank = kbn::ReadBank(*bank->in); });
    return status == KBN_OK ? bank.release() : nullptr;
}

}  // namespace

extern "C" {

const char* kbn_version(void) { return KBN_VERSION; }

kbn_bank* kbn_open_file(const char* path, kbn_error* error) {
    std::unique_ptr<kbn_bank> bank;
    const int status = Guarded(nullptr, path != nullptr ? path : "", error, [&] {
        if (path == nullptr) throw CError("no path");
        bank = std::make_unique<kbn_bank>();
        bank->name = path;
        bank->file = std::make_unique<kbn::CRvFile>();
        // A library asks nobody to retry: a failed read fails.
        bank->file->SetAskOnFailure(false);
        bank->file->Open(path, kbn::CRvFile::kAccessRead, 0);
        bank->in = bank->file.get();
    });
    return status == KBN_OK ? Open(std::move(bank), error) : nullptr;
}

kbn_bank* kbn_open_memory(const void* data, size_t size, const char* name, kbn_error* error) {
    std::unique_ptr<kbn_bank> bank;
    const std::string shown = name != nullptr ? name : "<memory>";
    const int status = Guarded(nullptr, shown, error, [&] {
        if (data == nullptr && size != 0) throw CError("no data");
        bank = std::make_unique<kbn_bank>();
        bank->name = shown;
        bank->memory = std::make_unique<kbn::CMemoryStreamIn>(
            std::span<const uint8_t>(static_cast<const uint8_t*>(data), size), shown);
        bank->in = bank->memory.get();
    });
    return status == KBN_OK ? Open(std::move(bank), error) : nullptr;
}

// Takes back what Open released to the caller.
void kbn_close(kbn_bank* bank) { std::unique_ptr<kbn_bank> owned(bank); }

const char* kbn_last_error(const kbn_bank* bank) {
    if (bank == nullptr) return "";
    std::lock_guard lock(bank->errorMutex);
    return bank->lastError.c_str();
}

uint64_t kbn_bank_bytes(const kbn_bank* bank) { return bank->bank.fileSize; }

uint32_t kbn_sample_count(const kbn_bank* bank) { return static_cast<uint32_t>(bank->bank.samples.size()); }
uint32_t kbn_instrument_count(const kbn_bank* bank) { return static_cast<uint32_t>(bank->bank.instruments.size()); }
uint32_t kbn_preset_count(const kbn_bank* bank) { return static_cast<uint32_t>(bank->bank.presets.size()); }

int kbn_get_sample(const kbn_bank* bank, uint32_t sample, kbn_sample_info* info, kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        const kbn::BankSample& s = At(bank->bank.samples, sample, "sample");
        CopyName(s.record.name, info->name);
        info->length = s.record.length;
        info->loop_start = s.record.loopStart;
        info->loop_end = s.record.loopEnd;
        info->sample_rate = s.record.sampleRate;
        info->root_key = s.record.rootKey;
        info->pitch_correction = s.record.pitchCorrection;
        info->flags = s.record.flags;
        info->encoded_bytes = s.packedSize;
        info->encoded_bits = s.bitCount;
    });
}

int kbn_get_instrument(const kbn_bank* bank, uint32_t instrument, kbn_instrument_info* info, kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        const kbn::BankInstrument& i = At(bank->bank.instruments, instrument, "instrument");
        CopyName(i.name, info->name);
        info->zone_count = static_cast<uint32_t>(i.zones.size());
    });
}

int kbn_get_preset(const kbn_bank* bank, uint32_t preset, kbn_preset_info* info, kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        const kbn::BankPreset& p = At(bank->bank.presets, preset, "preset");
        CopyName(p.name, info->name);
        info->preset = p.preset;
        info->bank = p.bank;
        info->zone_count = static_cast<uint32_t>(p.zones.size());
    });
}

int kbn_get_zone(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zone, kbn_zone_info* info,
                 kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        const kbn::BankZone& z = ZoneOf(bank, kind, owner, zone);
        info->generator_count = static_cast<uint32_t>(z.generators.size());
        info->modulator_count = static_cast<uint32_t>(z.modulators.size());
    });
}

int kbn_get_generator(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zone, uint32_t generator,
                      kbn_generator* out, kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        const kbn::GeneratorEntry& g = At(ZoneOf(bank, kind, owner, zone).generators, generator, "generator");
        out->id = g.id;
        out->soundfont_number = kbn::SoundFontGeneratorOf(g.id).value_or(0);
        out->name = kbn::GeneratorNameText(g.id);
        out->amount = g.amount;
    });
}

int kbn_get_modulator(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zone, uint32_t modulator,
                      kbn_modulator* out, kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        const kbn::ModulatorRecord& m = At(ZoneOf(bank, kind, owner, zone).modulators, modulator, "modulator");
        out->source = m.source;
        out->destination = m.destination;
        out->destination_name = kbn::GeneratorNameText(m.destination);
        out->amount = m.amount;
        out->amount_source = m.amountSource;
        out->transform = m.transform;
    });
}

int kbn_decode(kbn_bank* bank, uint32_t sample, uint32_t first, uint32_t count, int16_t* out, kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        const kbn::BankSample& s = At(bank->bank.samples, sample, "sample");
        const std::string who = "sample " + std::to_string(sample) + " " + kbn::QuotedName(s.record.name);
        if (first > s.record.length || count > s.record.length - first) {
            throw CError(who + ": frames " + std::to_string(first) + " to " + std::to_string(uint64_t{first} + count) +
                         " lie outside its " + std::to_string(s.record.length));
        }
        kbn::CSampleReader(*bank->in, kbn::SampleAccess::AtPositions).ReadRange(s, sample, first,
                                                                                 std::span<int16_t>(out, count));
    });
}

int kbn_test(kbn_bank* bank, unsigned threads, kbn_error* error) {
    return Guarded(bank, bank->name, error, [&] {
        kbn::CheckBankReferences(bank->bank);
        const kbn::Bank& b = bank->bank;
        kbn::ForEachOnThreads(
            static_cast<uint32_t>(b.samples.size()), threads != 0 ? threads : kbn::DefaultThreadCount(),
            [&] { return kbn::CSampleReader(*bank->in, kbn::SampleAccess::AtPositions); },
            [&](kbn::CSampleReader& reader, uint32_t i) { reader.Read(b.samples[i], i); });
    });
}

}  // extern "C"
