#include "dump/BankListing.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "bank/GeneratorNames.h"
#include "bank/NameText.h"

namespace kbn {
namespace {

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// Ranges as "low-high"; sample and instrument indexes unsigned; every
// other amount as the signed 16-bit value it is.
std::string Amount(const GeneratorEntry& entry) {
    const std::string name = GeneratorName(entry.id);
    if (name == "keyRange" || name == "velRange") {
        return std::to_string(entry.amount & 0xFF) + "-" + std::to_string(entry.amount >> 8);
    }
    if (name == "sampleID" || name == "instrument") return std::to_string(entry.amount);
    return std::to_string(static_cast<int16_t>(entry.amount));
}

void ListZones(std::ostream& out, const std::vector<BankZone>& zones) {
    for (std::size_t z = 0; z < zones.size(); ++z) {
        out << "  zone " << z << ":";
        for (const GeneratorEntry& entry : zones[z].generators) out << " " << GeneratorName(entry.id) << "=" << Amount(entry);
        out << "\n";
        for (const ModulatorRecord& m : zones[z].modulators) {
            out << "    modulator source=" << Hex(m.source, 4) << " destination=";
            if (m.destination >= 1 && m.destination <= 52) {
                out << GeneratorName(m.destination);
            } else {
                out << Hex(m.destination, 4);
            }
            out << " amount=" << m.amount << " amountSource=" << Hex(m.amountSource, 4)
                << " transform=" << m.transform << "\n";
        }
    }
}

}  // namespace

void ListBank(std::ostream& out, const Bank& bank) {
    out << "bank: " << bank.samples.size() << " samples, " << bank.instruments.size() << " instruments, "
        << bank.presets.size() << " presets, " << bank.fileSize << " bytes\n";
    for (std::size_t i = 0; i < bank.samples.size(); ++i) {
        const BankSample& sample = bank.samples[i];
        const SampleRecord& r = sample.record;
        char bitsPerSample[32] = "-";
        if (r.length != 0) {
            std::snprintf(bitsPerSample, sizeof bitsPerSample, "%.2f",
                          static_cast<double>(sample.bitCount) / static_cast<double>(r.length));
        }
        out << "sample " << i << " " << QuotedName(r.name) << " length=" << r.length << " loop=" << r.loopStart
            << "-" << r.loopEnd << " rate=" << r.sampleRate << " key=" << unsigned{r.rootKey}
            << " correction=" << int{r.pitchCorrection} << " flags=" << Hex(r.flags, 2)
            << " bytes=" << (10 + sample.packedSize) << " bits/sample=" << bitsPerSample << "\n";
    }
    for (std::size_t i = 0; i < bank.instruments.size(); ++i) {
        out << "instrument " << i << " " << QuotedName(bank.instruments[i].name) << "\n";
        ListZones(out, bank.instruments[i].zones);
    }
    for (std::size_t i = 0; i < bank.presets.size(); ++i) {
        const BankPreset& preset = bank.presets[i];
        out << "preset " << i << " " << QuotedName(preset.name) << " bank=" << preset.bank
            << " program=" << preset.preset << "\n";
        ListZones(out, preset.zones);
    }
}

}  // namespace kbn
