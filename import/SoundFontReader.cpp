#include "import/SoundFontReader.h"

#include <string>
#include <vector>

#include "import/RiffChunk.h"
#include "stream/ByteOrder.h"
#include "stream/Error.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

constexpr uint32_t kListsRead = 3;

Name ParseName(const uint8_t* p) {
    Name name;
    std::copy(p, p + kNameSize, name.begin());
    return name;
}

void Parse(const uint8_t* p, SfPresetHeader& r) {
    r.name = ParseName(p);
    r.preset = GetU16(p + 20);
    r.bank = GetU16(p + 22);
    r.bagIndex = GetU16(p + 24);
    r.library = GetU32(p + 26);
    r.genre = GetU32(p + 30);
    r.morphology = GetU32(p + 34);
}

void Parse(const uint8_t* p, SfBag& r) {
    r.generatorIndex = GetU16(p);
    r.modulatorIndex = GetU16(p + 2);
}

void Parse(const uint8_t* p, ModulatorRecord& r) {
    r.source = GetU16(p);
    r.destination = GetU16(p + 2);
    r.amount = GetS16(p + 4);
    r.amountSource = GetU16(p + 6);
    r.transform = GetU16(p + 8);
}

void Parse(const uint8_t* p, SfGenerator& r) {
    r.oper = GetU16(p);
    r.amount = GetU16(p + 2);
}

void Parse(const uint8_t* p, SfInstrumentHeader& r) {
    r.name = ParseName(p);
    r.bagIndex = GetU16(p + 20);
}

void Parse(const uint8_t* p, SfSampleHeader& r) {
    r.name = ParseName(p);
    r.start = GetU32(p + 20);
    r.end = GetU32(p + 24);
    r.startLoop = GetU32(p + 28);
    r.endLoop = GetU32(p + 32);
    r.sampleRate = GetU32(p + 36);
    r.originalPitch = p[40];
    r.pitchCorrection = static_cast<int8_t>(p[41]);
    r.sampleLink = GetU16(p + 42);
    r.sampleType = GetU16(p + 44);
}

// Loads the whole records of a chunk and returns the bytes they take; a
// partial record at its end is left for the caller to skip. The chunk is
// known to lie inside the file.
template <typename Record>
uint32_t LoadTable(CStreamIn& in, uint32_t size, uint32_t recordSize, SfTable<Record>& table) {
    const uint32_t count = size / recordSize;
    std::vector<uint8_t> bytes(uint64_t{count} * recordSize);
    if (!bytes.empty()) in.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
    table.records.assign(count, Record{});
    for (uint32_t i = 0; i < count; ++i) Parse(bytes.data() + uint64_t{i} * recordSize, table.records[i]);
    table.present = true;
    return count * recordSize;
}

// Loads the table that a "pdta" sub-chunk holds and returns the bytes read:
// none for an unknown id.
uint32_t LoadPdtaChunk(CStreamIn& in, const RiffChunkHeader& chunk, SoundFontTables& tables) {
    const FourCC& id = chunk.id;
    if (id == MakeFourCC("inst")) return LoadTable(in, chunk.size, 22, tables.inst);
    if (id == MakeFourCC("ibag")) return LoadTable(in, chunk.size, 4, tables.ibag);
    if (id == MakeFourCC("igen")) return LoadTable(in, chunk.size, 4, tables.igen);
    if (id == MakeFourCC("shdr")) return LoadTable(in, chunk.size, 46, tables.shdr);
    if (id == MakeFourCC("phdr")) return LoadTable(in, chunk.size, 38, tables.phdr);
    if (id == MakeFourCC("pbag")) return LoadTable(in, chunk.size, 4, tables.pbag);
    if (id == MakeFourCC("pgen")) return LoadTable(in, chunk.size, 4, tables.pgen);
    if (id == MakeFourCC("imod")) return LoadTable(in, chunk.size, 10, tables.imod);
    if (id == MakeFourCC("pmod")) return LoadTable(in, chunk.size, 10, tables.pmod);
    return 0;
}

// Whether an "sm24" chunk follows the sample points: one low byte per
// point, rounded up to an even size. One of another size holds no low
// bytes for these points, and players ignore it.
bool HasLowBytes(CStreamIn& in, uint64_t end, uint32_t smplSize) {
    const uint64_t position = in.Tell();
    if (position > end || end - position < 8) return false;
    const RiffChunkHeader next = ReadChunkHeader(in);
    const uint32_t points = smplSize / 2;
    return next.id == MakeFourCC("sm24") && next.size <= end - in.Tell() &&
           (next.size == points || next.size == points + (points & 1u));
}

// Locates the sample points: the "sdta" list must begin with "smpl".
void ReadSdta(CStreamIn& in, uint32_t size, SoundFontTables& tables) {
    const uint64_t position = in.Tell();
    if (size < 8) {
        throw CError("the 'sdta' list at offset " + std::to_string(position - 12) +
                     " is too short to hold a 'smpl' chunk");
    }
    const RiffChunkHeader first = ReadChunkHeader(in);
    if (first.id != MakeFourCC("smpl")) {
        throw CError("the 'sdta' list begins with a " + DescribeFourCC(first.id) +
                     " chunk, not 'smpl'");
    }
    if (first.size > size - 8) {
        throw CError("the 'smpl' chunk promises " + std::to_string(first.size) +
                     " bytes but its 'sdta' list holds only " + std::to_string(size - 8));
    }
    tables.sampleDataPosition = position;
    tables.sampleDataSize = first.size;
    tables.hasSampleData = true;
    // Nothing after the sample points is needed but the "sm24" header: what
    // else the list holds is not the conversion's concern.
    const uint64_t end = position + size;
    SkipChunkRest(in, first, first.size, end, AfterChunk::JunkTolerated);
    tables.hasSm24 = HasLowBytes(in, end, first.size);
}

// Loads the sub-chunks of one "pdta" list of `size` bytes (after its type).
void ReadPdta(CStreamIn& in, uint32_t size, SoundFontTables& tables) {
    const uint64_t end = in.Tell() + size;
    while (in.Tell() < end) {
        const uint64_t position = in.Tell();
        if (end - position < 8) {
            throw CError("the 'pdta' list ends inside a chunk header at offset " +
                         std::to_string(position));
        }
        const RiffChunkHeader chunk = ReadChunkHeader(in);
        const uint64_t left = end - in.Tell();
        if (chunk.size > left) {
            throw CError("the " + DescribeFourCC(chunk.id) + " chunk at offset " +
                         std::to_string(position) + " promises " + std::to_string(chunk.size) +
                         " bytes but its 'pdta' list holds only " + std::to_string(left) + " more");
        }
        SkipChunkRest(in, chunk, chunk.size - LoadPdtaChunk(in, chunk, tables), end);
    }
    tables.hasPdta = true;
}

}  // namespace

bool ReadSoundFont(CStreamIn& in, SoundFontTables& tables) {
    const uint64_t fileSize = in.GetSize();
    if (fileSize < 12) return false;
    if (ReadFourCC(in) != MakeFourCC("RIFF")) return false;
    ReadU32(in);  // the RIFF size says nothing the walk needs
    if (ReadFourCC(in) != MakeFourCC("sfbk")) return false;

    for (uint32_t lists = 0; lists < kListsRead;) {
        const uint64_t position = in.Tell();
        if (position >= fileSize || fileSize - position < 8) break;
        const RiffChunkHeader chunk = ReadChunkHeader(in);
        if (chunk.id != MakeFourCC("LIST")) {
            SkipChunkRest(in, chunk, chunk.size, fileSize);
            continue;
        }
        const uint64_t body = in.Tell();
        if (chunk.size > fileSize - body) {
            throw CError("the LIST chunk at offset " + std::to_string(position) + " promises " +
                         std::to_string(chunk.size) + " bytes but only " +
                         std::to_string(fileSize - body) + " remain in the file");
        }
        if (chunk.size < 4) {
            throw CError("the LIST chunk at offset " + std::to_string(position) + " is " +
                         std::to_string(chunk.size) + " bytes, too short for its list type");
        }
        const FourCC type = ReadFourCC(in);
        const uint32_t size = chunk.size - 4;
        if (type == MakeFourCC("pdta")) {
            ReadPdta(in, size, tables);
        } else if (type == MakeFourCC("sdta")) {
            ReadSdta(in, size, tables);
        }
        // The walk stops after the last list it reads, whatever follows.
        if (++lists == kListsRead) break;
        in.Seek(chunk.ContentsEnd());
        SkipChunkRest(in, chunk, 0, fileSize);
    }
    return true;
}

}  // namespace kbn
