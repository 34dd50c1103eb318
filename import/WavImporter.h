#pragma once

#include <array>
#include <cstdint>

#include "import/ConvertedBank.h"
#include "import/SourceError.h"
#include "stream/MemoryLimit.h"
#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

namespace kbn {

// The WAV file holds something other than 16-bit PCM with one or two
// channels, plainly or as the extensible format's PCM sub-format (or has no
// usable format chunk); the text names what it holds.
class CWavLoadException : public CSourceError {
public:
    using CSourceError::CSourceError;
};

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

// Converts a 16-bit PCM WAV file into a bank of one sample per channel, one
// instrument "sample" and one preset 0 in bank 0. Throws CSourceError when the
// file is not such a WAV file (CWavLoadException for an unsupported format)
// and CRvFile::Error when reading or writing fails. Nothing is written before
// the whole file has been checked. When `converted` is given, it receives
// what was written. A channel of more than `largestBuffer` bytes is refused.
void ConvertWav(CStreamIn& in, CStreamOut& out, ConvertedBank* converted = nullptr,
                uint64_t largestBuffer = kLargestBuffer);

// ConvertWav, with an unsupported format reported as false.
bool TryConvertWav(CStreamIn& in, CStreamOut& out);

// Chunk readers: `size` is the chunk's size field; the stream is left at the
// end of the chunk's contents.
WavFormat ReadFmt(CStreamIn& in, uint32_t size);
WavSampler ReadSmpl(CStreamIn& in, uint32_t size);

// Reads one channel of interleaved 16-bit stereo PCM starting at the current
// position: the first value, then every second one, `frames` in all, reading
// nothing past the last of them.
void ReadChannel(CStreamIn& in, int16_t* dst, uint32_t frames);

}  // namespace kbn
