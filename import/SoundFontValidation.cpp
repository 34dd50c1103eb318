#include "import/SoundFontValidation.h"

#include <cstdio>
#include <string>

#include "bank/NameText.h"
#include "stream/Error.h"

namespace kbn {
namespace {

// Real banks have generator and modulator tables without even their
// terminal record, and players take them: the zone checks then let every
// index into such a table be 0 and nothing else.
enum class Emptiness { Refused, Allowed };

template <typename Record>
void CheckTable(const SfTable<Record>& table, const char* id, Emptiness emptiness = Emptiness::Refused) {
    if (!table.present) throw CError(std::string("the 'pdta' list has no '") + id + "' chunk");
    if (table.records.empty() && emptiness == Emptiness::Refused) {
        throw CError(std::string("the '") + id +
                     "' table is empty; it needs at least its terminal record");
    }
}

// The vocabulary of one side: instruments with ibag/igen/imod, or presets
// with pbag/pgen/pmod.
struct ZoneSide {
    const char* owner;     // "instrument" or "preset"
    const char* bagId;     // "ibag" or "pbag"
    const char* genId;     // "igen" or "pgen"
    const char* modId;     // "imod" or "pmod"
    uint16_t referenceOper;  // the generator that names a sample or an instrument
    const char* referenced;  // "sample" or "instrument"
    uint32_t referenceCount; // how many of those the bank will hold
};

// A sample or instrument that does not exist would leave the bank pointing
// past its own section, which no player can follow.
template <typename ZoneName>
void CheckReferences(const std::vector<SfGenerator>& generators, uint32_t first, uint32_t next,
                     const ZoneSide& side, const ZoneName& zone) {
    for (uint32_t g = first; g < next; ++g) {
        const SfGenerator& generator = generators[g];
        if (generator.oper == side.referenceOper && generator.amount >= side.referenceCount) {
            throw CError(zone() + " uses " + side.referenced + " " + std::to_string(generator.amount) +
                         ", but the bank has " + std::to_string(side.referenceCount) + " " +
                         side.referenced + "s");
        }
    }
}

// An index range [first, next) of one zone in a generator or modulator table.
// `zone()` names the zone: the name is only put together for an error, as
// the bank's thousands of zones pass.
template <typename ZoneName>
void CheckZoneRange(uint32_t first, uint32_t next, uint32_t tableCount, const char* tableId,
                    const char* what, const ZoneName& zone) {
    if (next < first) {
        throw CError(zone() + " has its " + what + " index going backwards (" + std::to_string(first) +
                     ", then " + std::to_string(next) + ")");
    }
    if (next > tableCount) {
        throw CError(zone() + " points past the end of the " + what + " table (index " +
                     std::to_string(next) + ", '" + tableId + "' holds " +
                     std::to_string(tableCount) + " records)");
    }
}

// `headers` are the instrument or preset headers, terminal record included.
template <typename Header>
void CheckZones(const std::vector<Header>& headers, const std::vector<SfBag>& bags,
                const std::vector<SfGenerator>& generators, uint32_t modulatorCount, const ZoneSide& side) {
    const auto generatorCount = static_cast<uint32_t>(generators.size());
    const auto bagCount = static_cast<uint32_t>(bags.size());
    for (std::size_t i = 0; i + 1 < headers.size(); ++i) {
        const auto owner = [&] {
            return std::string(side.owner) + " " + std::to_string(i) + " " + QuotedName(headers[i].name);
        };
        const uint32_t first = headers[i].bagIndex;
        const uint32_t next = headers[i + 1].bagIndex;
        if (next < first) {
            throw CError(owner() + " has its zone index going backwards (" + std::to_string(first) +
                         ", then " + std::to_string(next) + ")");
        }
        // Zone z reads bag z + 1 as its successor.
        if (next != first && next >= bagCount) {
            throw CError(owner() + " points past the end of the zone table (zone index " +
                         std::to_string(next) + ", '" + side.bagId + "' holds " +
                         std::to_string(bagCount) + " records)");
        }
        for (uint32_t z = first; z < next; ++z) {
            const auto zone = [&] { return owner() + " zone " + std::to_string(z - first); };
            CheckZoneRange(bags[z].generatorIndex, bags[z + 1].generatorIndex, generatorCount, side.genId,
                           "generator", zone);
            CheckZoneRange(bags[z].modulatorIndex, bags[z + 1].modulatorIndex, modulatorCount, side.modId,
                           "modulator", zone);
            CheckReferences(generators, bags[z].generatorIndex, bags[z + 1].generatorIndex, side, zone);
        }
    }
}

void CheckSamples(const SoundFontTables& tables, uint64_t largestBuffer) {
    const std::vector<SfSampleHeader>& samples = tables.shdr.records;
    if (samples.size() > 1 && !tables.hasSampleData) {
        throw CError("the file has no 'sdta' list with sample data");
    }
    const uint32_t points = tables.sampleDataSize / 2;
    for (std::size_t i = 0; i + 1 < samples.size(); ++i) {
        const SfSampleHeader& sample = samples[i];
        const auto who = [&] { return "sample " + std::to_string(i) + " " + QuotedName(sample.name); };
        if (sample.sampleType & kSampleTypeCompressed) {
            // Its start and end are bytes of the "smpl" chunk, its Ogg Vorbis
            // stream; how long it is, decoding tells.
            if (sample.end <= sample.start || sample.end > tables.sampleDataSize) {
                throw CError(who() + " has its Ogg Vorbis stream at bytes " + std::to_string(sample.start) +
                             " to " + std::to_string(sample.end) + ", outside the " +
                             std::to_string(tables.sampleDataSize) + " bytes of the 'smpl' chunk");
            }
            continue;
        }
        if (sample.end < sample.start) {
            throw CError(who() + " ends before it starts (start " + std::to_string(sample.start) +
                         ", end " + std::to_string(sample.end) + ")");
        }
        if (sample.end > points) {
            throw CError(who() + " ends past the sample data (end " + std::to_string(sample.end) +
                         ", the 'smpl' chunk holds " + std::to_string(points) + " points)");
        }
        if (const uint64_t bytes = 2 * uint64_t{sample.end - sample.start}; bytes > largestBuffer) {
            throw CError(who() + " holds " + std::to_string(bytes) + " bytes, " + MoreThanThisBuildHolds());
        }
    }
}

}  // namespace

void ValidateSoundFont(const SoundFontTables& tables, uint64_t largestBuffer) {
    if (!tables.hasPdta) throw CError("the file has no 'pdta' list");
    CheckTable(tables.phdr, "phdr");
    CheckTable(tables.pbag, "pbag");
    CheckTable(tables.pmod, "pmod", Emptiness::Allowed);
    CheckTable(tables.pgen, "pgen", Emptiness::Allowed);
    CheckTable(tables.inst, "inst");
    CheckTable(tables.ibag, "ibag");
    CheckTable(tables.imod, "imod", Emptiness::Allowed);
    CheckTable(tables.igen, "igen", Emptiness::Allowed);
    CheckTable(tables.shdr, "shdr");
    CheckSamples(tables, largestBuffer);
    CheckZones(tables.inst.records, tables.ibag.records, tables.igen.records, tables.imod.Count(),
               ZoneSide{"instrument", "ibag", "igen", "imod", kSfSampleId, "sample", tables.shdr.Count() - 1});
    CheckZones(tables.phdr.records, tables.pbag.records, tables.pgen.records, tables.pmod.Count(),
               ZoneSide{"preset", "pbag", "pgen", "pmod", kSfInstrument, "instrument", tables.inst.Count() - 1});
}

}  // namespace kbn
