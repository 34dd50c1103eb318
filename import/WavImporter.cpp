#include "import/WavImporter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bank/BankWriter.h"
#include "import/RiffChunk.h"
#include "import/SourcePcm.h"
#include "stream/ByteOrder.h"
#include "stream/StreamIo.h"

namespace kbn {
namespace {

constexpr uint32_t kFmtRecordSize = 16;
constexpr uint32_t kExtensibleFmtSize = 40;
constexpr uint32_t kSamplerRecordSize = 36;
constexpr uint32_t kLoopRecordSize = 24;
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// A standard sub-format GUID is its format tag in two bytes, then these.
constexpr std::array<uint8_t, 14> kSubFormatGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint16_t kPanLeft = static_cast<uint16_t>(-500);
constexpr uint16_t kPanRight = 500;

// What the "fmt " chunk says: its first 16 bytes, and for the extensible
// format (tag 0xFFFE) the valid bits and the sub-format of its extension.
struct WavFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;           // of each sample's container
    uint16_t validBitsPerSample = 0;      // extensible format only
    std::array<uint8_t, 16> subFormat{};  // extensible format only: a GUID
};

// What the converter takes from a "smpl" chunk.
struct WavSampler {
    uint32_t unityNote = 60;
    uint32_t loopCount = 0;
    uint32_t loopStart = 0;  // of the first loop
    uint32_t loopEnd = 0;    // of the first loop, inclusive
};

// What the chunk walk found.
struct WavContents {
    bool hasFormat = false;
    bool hasData = false;
    WavFormat format;
    WavSampler sampler;
    uint64_t dataPosition = 0;
    uint32_t dataSize = 0;
};

std::string FormatName(uint16_t tag) {
    switch (tag) {
        case 1: return "PCM";
        case 2: return "Microsoft ADPCM";
        case 3: return "IEEE float";
        case 6: return "A-law";
        case 7: return "mu-law";
        case 0x11: return "IMA ADPCM";
        case 0x55: return "MPEG layer 3";
        case 0xFFFE: return "extensible format";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "format 0x%04X", tag);
            return text;
        }
    }
}

[[noreturn]] void RejectFormat(const std::string& what) {
    throw CWavLoadException("unsupported WAV format: " + what +
                            " (only 16-bit PCM with 1 or 2 channels is supported)");
}

// The format tag that a standard sub-format GUID stands for.
std::optional<uint16_t> SubFormatTag(const std::array<uint8_t, 16>& guid) {
    if (!std::equal(kSubFormatGuidTail.begin(), kSubFormatGuidTail.end(), guid.begin() + 2)) return std::nullopt;
    return GetU16(guid.data());
}

std::string SubFormatName(const std::array<uint8_t, 16>& guid) {
    if (const auto tag = SubFormatTag(guid)) return FormatName(*tag);
    const uint8_t* g = guid.data();
    char text[64];
    std::snprintf(text, sizeof text, "sub-format %08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", GetU32(g),
                  GetU16(g + 4), GetU16(g + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

std::string DescribeFormat(const WavFormat& format) {
    std::string text;
    if (format.formatTag == kFormatExtensible) {
        text = SubFormatName(format.subFormat) + ", " + std::to_string(format.validBitsPerSample) + "-bit";
        if (format.validBitsPerSample != format.bitsPerSample) {
            text += " in " + std::to_string(format.bitsPerSample) + "-bit containers";
        }
    } else {
        text = FormatName(format.formatTag) + ", " + std::to_string(format.bitsPerSample) + "-bit";
    }
    return text + ", " + std::to_string(format.channels) + (format.channels == 1 ? " channel" : " channels");
}

// 16-bit PCM, plainly or as the extensible format's PCM sub-format (whose
// channel mask changes nothing for one or two channels).
bool IsPcm16(const WavFormat& format) {
    if (format.bitsPerSample != 16) return false;
    if (format.formatTag == kFormatPcm) return true;
    return format.formatTag == kFormatExtensible && format.validBitsPerSample == 16 &&
           SubFormatTag(format.subFormat) == kFormatPcm;
}

// Chunk readers: `size` is the chunk's size field; the stream is left at
// the end of the chunk's contents.
WavFormat ReadFmt(CStreamIn& in, uint32_t size) {
    if (size < kFmtRecordSize) {
        RejectFormat("the 'fmt ' chunk is " + std::to_string(size) + " bytes, shorter than 16");
    }
    uint8_t record[kExtensibleFmtSize];
    in.Read(record, kFmtRecordSize);
    WavFormat format;
    format.formatTag = GetU16(record);
    format.channels = GetU16(record + 2);
    format.sampleRate = GetU32(record + 4);
    format.byteRate = GetU32(record + 8);
    format.blockAlign = GetU16(record + 12);
    format.bitsPerSample = GetU16(record + 14);
    uint32_t consumed = kFmtRecordSize;
    if (format.formatTag == kFormatExtensible) {
        if (size < kExtensibleFmtSize) {
            RejectFormat("the 'fmt ' chunk is " + std::to_string(size) +
                         " bytes, shorter than the extensible format's 40");
        }
        in.Read(record + kFmtRecordSize, kExtensibleFmtSize - kFmtRecordSize);
        format.validBitsPerSample = GetU16(record + 18);
        std::copy(record + 24, record + kExtensibleFmtSize, format.subFormat.begin());
        consumed = kExtensibleFmtSize;
    }
    if (size > consumed) in.Skip(size - consumed);
    if (!IsPcm16(format) || format.channels < 1 || format.channels > 2) RejectFormat(DescribeFormat(format));
    return format;
}

WavSampler ReadSmpl(CStreamIn& in, uint32_t size) {
    if (size < kSamplerRecordSize) {
        throw CError("the 'smpl' chunk is " + std::to_string(size) +
                     " bytes, shorter than its 36-byte header");
    }
    uint8_t record[kSamplerRecordSize];
    in.Read(record, kSamplerRecordSize);
    WavSampler sampler;
    sampler.unityNote = GetU32(record + 12);
    sampler.loopCount = GetU32(record + 28);
    uint32_t consumed = kSamplerRecordSize;
    if (sampler.loopCount > 0) {
        if (size < kSamplerRecordSize + kLoopRecordSize) {
            throw CError("the 'smpl' chunk promises " + std::to_string(sampler.loopCount) +
                         " loops but is only " + std::to_string(size) +
                         " bytes, too short for the first one");
        }
        uint8_t loop[kLoopRecordSize];
        in.Read(loop, kLoopRecordSize);
        sampler.loopStart = GetU32(loop + 8);
        sampler.loopEnd = GetU32(loop + 12);
        consumed += kLoopRecordSize;
    }
    if (size > consumed) in.Skip(size - consumed);
    return sampler;
}

void CheckChunkFits(const RiffChunkHeader& header, uint64_t position, uint64_t fileSize) {
    const uint64_t remaining = position < fileSize ? fileSize - position : 0;
    if (header.size > remaining) {
        throw CError("the " + DescribeFourCC(header.id) + " chunk at offset " +
                     std::to_string(position - 8) + " promises " + std::to_string(header.size) +
                     " bytes but only " + std::to_string(remaining) + " remain in the file");
    }
}

WavContents WalkChunks(CStreamIn& in) {
    const uint64_t fileSize = in.GetSize();
    if (fileSize < 12) {
        throw CError("not a WAV file: " + std::to_string(fileSize) +
                     " bytes is too short for a RIFF header");
    }
    const FourCC riff = ReadFourCC(in);
    if (riff != MakeFourCC("RIFF")) throw CError("not a WAV file: no RIFF header");
    const uint32_t riffSize = ReadU32(in);
    // A RIFF size beyond the end of the file (a common writer's slip) ends
    // the walk at the end of the file.
    const uint64_t end = std::min(in.Tell() + riffSize, fileSize);
    const FourCC form = ReadFourCC(in);
    if (form != MakeFourCC("WAVE")) {
        throw CError("not a WAV file: the RIFF form is " + DescribeFourCC(form) + ", not 'WAVE'");
    }

    WavContents contents;
    while (in.Tell() < end && end - in.Tell() >= 8) {
        const RiffChunkHeader header = ReadChunkHeader(in);
        const uint64_t position = in.Tell();
        // Once the samples are found, a damaged tail is passed over.
        const auto skipRest = [&](uint64_t remaining) {
            SkipChunkRest(in, header, remaining, end,
                          contents.hasData ? AfterChunk::JunkTolerated : AfterChunk::ChunkExpected);
        };
        if (header.id == MakeFourCC("fmt ")) {
            CheckChunkFits(header, position, fileSize);
            contents.format = ReadFmt(in, header.size);
            contents.hasFormat = true;
            skipRest(0);
        } else if (header.id == MakeFourCC("data")) {
            CheckChunkFits(header, position, fileSize);
            contents.hasData = true;
            contents.dataPosition = position;
            contents.dataSize = header.size;
            skipRest(header.size);
        } else if (header.id == MakeFourCC("smpl")) {
            CheckChunkFits(header, position, fileSize);
            contents.sampler = ReadSmpl(in, header.size);
            skipRest(0);
        } else {
            // Running past the end before the samples were found, a chunk
            // hides them: the file is cut short or damaged, not silent.
            if (!contents.hasData) CheckChunkFits(header, position, fileSize);
            skipRest(header.size);
        }
    }
    return contents;
}

void CheckBlockAlign(const WavContents& contents) {
    if (!contents.hasFormat) RejectFormat("the file has no 'fmt ' chunk");
    const WavFormat& format = contents.format;
    if (format.blockAlign == 0 || format.blockAlign != format.channels * 2) {
        RejectFormat(DescribeFormat(format) + " with a block align of " +
                     std::to_string(format.blockAlign) + " bytes");
    }
}

BankZone MakeZone(std::initializer_list<GeneratorEntry> generators) {
    BankZone zone;
    zone.generators = generators;
    return zone;
}

// One instrument "sample" playing the sample, or the two channels panned
// hard left and right; one preset 0 in bank 0 playing the instrument.
void MakeStructure(Bank& bank, uint16_t channels, uint16_t sampleMode) {
    BankInstrument instrument;
    instrument.name = MakeName("sample");
    if (channels == 1) {
        instrument.zones.push_back(MakeZone({{kGenSampleId, 0}, {kGenSampleModes, sampleMode}}));
    } else {
        instrument.zones.push_back(MakeZone({{kGenSampleId, 0}, {kGenSampleModes, sampleMode}, {kGenPan, kPanLeft}}));
        instrument.zones.push_back(MakeZone({{kGenSampleId, 1}, {kGenSampleModes, sampleMode}, {kGenPan, kPanRight}}));
    }
    bank.instruments = {instrument};
    BankPreset preset;
    preset.name = MakeName("sample");
    preset.zones.push_back(MakeZone({{kGenInstrument, 0}}));
    bank.presets = {preset};
}

}  // namespace

ConvertedBank ImportWav(CStreamIn& in, uint64_t largestBuffer) {
    const WavContents contents = WalkChunks(in);
    CheckBlockAlign(contents);
    const WavFormat& format = contents.format;
    const WavSampler& sampler = contents.sampler;
    const uint32_t frames = contents.dataSize / format.blockAlign;
    // One channel at a time is held in memory.
    if (2 * uint64_t{frames} > largestBuffer) {
        throw CError("the 'data' chunk holds " + std::to_string(contents.dataSize) + " bytes, " +
                     MoreThanThisBuildHolds());
    }
    const bool looped = sampler.loopCount != 0;

    SampleRecord record;
    record.name = MakeName("sample");
    record.length = frames;
    record.loopStart = looped ? sampler.loopStart : 0;
    record.loopEnd = looped ? sampler.loopEnd + 1 : frames;
    record.sampleRate = format.sampleRate;
    record.rootKey = static_cast<uint8_t>(sampler.unityNote);
    record.pitchCorrection = 0;
    record.flags = format.channels == 1 ? kSampleFlagPresent : kSampleFlagPresent | kSampleFlagStereo;

    ConvertedBank converted;
    MakeStructure(converted.contents.bank, format.channels, looped ? 1 : 0);
    std::vector<PcmLocation> locations;
    for (uint32_t channel = 0; channel < format.channels; ++channel) {
        converted.contents.bank.samples.push_back(BankSample{record});
        PcmLocation where;
        where.offset = contents.dataPosition + 2 * channel;
        where.frames = frames;
        where.stride = format.blockAlign;
        locations.push_back(where);
    }
    converted.contents.pcm = std::make_shared<CSourcePcm>(
        in, std::move(locations), std::vector<Name>(format.channels, record.name), largestBuffer);
    return converted;
}

void ConvertWav(CStreamIn& in, CStreamOut& out, ConvertedBank* converted, uint64_t largestBuffer) {
    ConvertedBank imported = ImportWav(in, largestBuffer);
    WriteBank(out, imported.contents, 1);
    if (converted) *converted = std::move(imported);
}

bool TryConvertWav(CStreamIn& in, CStreamOut& out) {
    try {
        ConvertWav(in, out);
        return true;
    } catch (const CWavLoadException&) {
        return false;
    }
}

}  // namespace kbn
