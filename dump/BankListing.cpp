#include "dump/BankListing.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "stream/Error.h"

namespace kbn {
namespace {

// One record through the C API: `get` called with `args`, then the record
// and the error. The bank was read whole when it was opened, so a failure
// here is a fault of the listing, reported as any error.
template <class Info, class Get, class... Args>
Info Fetch(Get get, Args... args) {
    Info info;
    kbn_error error;
    if (get(args..., &info, &error) != KBN_OK) throw CError(error.message);
    return info;
}

kbn_sample_info Sample(const kbn_bank* bank, uint32_t i) { return Fetch<kbn_sample_info>(kbn_get_sample, bank, i); }

kbn_instrument_info Instrument(const kbn_bank* bank, uint32_t i) {
    return Fetch<kbn_instrument_info>(kbn_get_instrument, bank, i);
}

kbn_preset_info Preset(const kbn_bank* bank, uint32_t i) { return Fetch<kbn_preset_info>(kbn_get_preset, bank, i); }

kbn_zone_info Zone(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t z) {
    return Fetch<kbn_zone_info>(kbn_get_zone, bank, kind, owner, z);
}

kbn_generator Generator(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t z, uint32_t g) {
    return Fetch<kbn_generator>(kbn_get_generator, bank, kind, owner, z, g);
}

kbn_modulator Modulator(const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t z, uint32_t m) {
    return Fetch<kbn_modulator>(kbn_get_modulator, bank, kind, owner, z, m);
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string BitsPerSample(const kbn_sample_info& sample) {
    if (sample.length == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(sample.encoded_bits) / sample.length);
    return text;
}

bool IsRange(const kbn_generator& g) { return g.soundfont_number == 43 || g.soundfont_number == 44; }
bool IsIndex(const kbn_generator& g) { return g.soundfont_number == 41 || g.soundfont_number == 53; }

// Ranges as "low-high"; sample and instrument indexes unsigned; every
// other amount as the signed 16-bit value it is.
std::string Amount(const kbn_generator& g) {
    if (IsRange(g)) return std::to_string(g.amount & 0xFF) + "-" + std::to_string(g.amount >> 8);
    if (IsIndex(g)) return std::to_string(g.amount);
    return std::to_string(static_cast<int16_t>(g.amount));
}

// A name between quotes, with quotes, backslashes and every byte outside
// printable ASCII escaped; `escapeFormat` writes such a byte.
std::string Escaped(const char* name, const char* escapeFormat) {
    std::string text = "\"";
    for (const char* c = name; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += *c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += *c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, escapeFormat, byte);
            text += escaped;
        }
    }
    text += '"';
    return text;
}

std::string Quoted(const char* name) { return Escaped(name, "\\x%02X"); }

// JSON has no byte escapes: a byte becomes the code point of its value.
std::string JsonString(const char* name) { return Escaped(name, "\\u%04X"); }

void ListZones(std::ostream& out, const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zones) {
    for (uint32_t z = 0; z < zones; ++z) {
        const kbn_zone_info zone = Zone(bank, kind, owner, z);
        out << "  zone " << z << ":";
        for (uint32_t g = 0; g < zone.generator_count; ++g) {
            const kbn_generator generator = Generator(bank, kind, owner, z, g);
            out << " " << generator.name << "=" << Amount(generator);
        }
        out << "\n";
        for (uint32_t m = 0; m < zone.modulator_count; ++m) {
            const kbn_modulator mod = Modulator(bank, kind, owner, z, m);
            out << "    modulator source=" << Hex(mod.source, 4) << " destination="
                << (*mod.destination_name != '\0' ? std::string(mod.destination_name) : Hex(mod.destination, 4))
                << " amount=" << mod.amount << " amountSource=" << Hex(mod.amount_source, 4)
                << " transform=" << mod.transform << "\n";
        }
    }
}

// Items of a JSON array, each on a line of its own, indented.
class CJsonList {
public:
    CJsonList(std::ostream& out, const char* indent) : out_(out), indent_(indent) {}
    std::ostream& Next() {
        out_ << (first_ ? "\n" : ",\n") << indent_;
        first_ = false;
        return out_;
    }
    // Closes the array's last item: "]" on its own line, or "[]" for none.
    void End(const char* closingIndent) {
        if (!first_) out_ << "\n" << closingIndent;
        out_ << "]";
    }

private:
    std::ostream& out_;
    const char* indent_;
    bool first_ = true;
};

void ZonesAsJson(std::ostream& out, const kbn_bank* bank, kbn_kind kind, uint32_t owner, uint32_t zones) {
    out << "\"zones\": [";
    CJsonList zoneList(out, "        ");
    for (uint32_t z = 0; z < zones; ++z) {
        const kbn_zone_info zone = Zone(bank, kind, owner, z);
        zoneList.Next() << "{\"generators\": [";
        CJsonList generators(out, "          ");
        for (uint32_t g = 0; g < zone.generator_count; ++g) {
            const kbn_generator generator = Generator(bank, kind, owner, z, g);
            std::ostream& item = generators.Next();
            item << "{\"name\": \"" << generator.name << "\", \"id\": " << generator.id
                 << ", \"number\": " << generator.soundfont_number << ", \"amount\": ";
            if (IsRange(generator)) {
                item << "{\"low\": " << (generator.amount & 0xFF) << ", \"high\": " << (generator.amount >> 8) << "}";
            } else {
                item << Amount(generator);
            }
            item << "}";
        }
        generators.End("        ");
        out << ", \"modulators\": [";
        CJsonList modulators(out, "          ");
        for (uint32_t m = 0; m < zone.modulator_count; ++m) {
            const kbn_modulator mod = Modulator(bank, kind, owner, z, m);
            modulators.Next() << "{\"source\": " << mod.source << ", \"destination\": " << mod.destination
                              << ", \"destination_name\": "
                              << (*mod.destination_name != '\0' ? JsonString(mod.destination_name) : "null")
                              << ", \"amount\": " << mod.amount << ", \"amount_source\": " << mod.amount_source
                              << ", \"transform\": " << mod.transform << "}";
        }
        modulators.End("        ");
        out << "}";
    }
    zoneList.End("      ");
}

}  // namespace

void ListBankAsJson(std::ostream& out, const kbn_bank* bank) {
    out << "{\n  \"bytes\": " << kbn_bank_bytes(bank) << ",\n  \"samples\": [";
    CJsonList samples(out, "    ");
    for (uint32_t i = 0; i < kbn_sample_count(bank); ++i) {
        const kbn_sample_info s = Sample(bank, i);
        samples.Next() << "{\"index\": " << i << ", \"name\": " << JsonString(s.name) << ", \"length\": " << s.length
                       << ", \"loop_start\": " << s.loop_start << ", \"loop_end\": " << s.loop_end
                       << ", \"sample_rate\": " << s.sample_rate << ", \"root_key\": " << unsigned{s.root_key}
                       << ", \"pitch_correction\": " << int{s.pitch_correction} << ", \"flags\": " << unsigned{s.flags}
                       << ", \"encoded_bytes\": " << s.encoded_bytes << ", \"encoded_bits\": " << s.encoded_bits
                       << "}";
    }
    samples.End("  ");
    out << ",\n  \"instruments\": [";
    CJsonList instruments(out, "    ");
    for (uint32_t i = 0; i < kbn_instrument_count(bank); ++i) {
        const kbn_instrument_info instrument = Instrument(bank, i);
        instruments.Next() << "{\"index\": " << i << ", \"name\": " << JsonString(instrument.name) << ",\n      ";
        ZonesAsJson(out, bank, KBN_INSTRUMENT, i, instrument.zone_count);
        out << "}";
    }
    instruments.End("  ");
    out << ",\n  \"presets\": [";
    CJsonList presets(out, "    ");
    for (uint32_t i = 0; i < kbn_preset_count(bank); ++i) {
        const kbn_preset_info preset = Preset(bank, i);
        presets.Next() << "{\"index\": " << i << ", \"name\": " << JsonString(preset.name) << ", \"preset\": "
                       << preset.preset << ", \"bank\": " << preset.bank << ",\n      ";
        ZonesAsJson(out, bank, KBN_PRESET, i, preset.zone_count);
        out << "}";
    }
    presets.End("  ");
    out << "\n}\n";
}

void ListBank(std::ostream& out, const kbn_bank* bank) {
    out << "bank: " << kbn_sample_count(bank) << " samples, " << kbn_instrument_count(bank) << " instruments, "
        << kbn_preset_count(bank) << " presets, " << kbn_bank_bytes(bank) << " bytes\n";
    for (uint32_t i = 0; i < kbn_sample_count(bank); ++i) {
        const kbn_sample_info s = Sample(bank, i);
        out << "sample " << i << " " << Quoted(s.name) << " length=" << s.length << " loop=" << s.loop_start << "-"
            << s.loop_end << " rate=" << s.sample_rate << " key=" << unsigned{s.root_key}
            << " correction=" << int{s.pitch_correction} << " flags=" << Hex(s.flags, 2)
            << " bytes=" << (10 + s.encoded_bytes) << " bits/sample=" << BitsPerSample(s) << "\n";
    }
    for (uint32_t i = 0; i < kbn_instrument_count(bank); ++i) {
        const kbn_instrument_info instrument = Instrument(bank, i);
        out << "instrument " << i << " " << Quoted(instrument.name) << "\n";
        ListZones(out, bank, KBN_INSTRUMENT, i, instrument.zone_count);
    }
    for (uint32_t i = 0; i < kbn_preset_count(bank); ++i) {
        const kbn_preset_info preset = Preset(bank, i);
        out << "preset " << i << " " << Quoted(preset.name) << " bank=" << preset.bank
            << " program=" << preset.preset << "\n";
        ListZones(out, bank, KBN_PRESET, i, preset.zone_count);
    }
}

}  // namespace kbn
