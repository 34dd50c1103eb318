#pragma once

#include <cstdint>

#include "import/ConvertedBank.h"
#include "stream/Error.h"
#include "stream/MemoryLimit.h"
#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

namespace kbn {

// The WAV file holds something other than 16-bit PCM with one or two
// channels, plainly or as the extensible format's PCM sub-format (or has no
// usable format chunk); the text names what it holds.
class CWavLoadException : public CError {
public:
    using CError::CError;
};

// Reads a 16-bit PCM WAV file as the bank it becomes: one sample per
// channel, one instrument "sample" and one preset 0 in bank 0, and where each
// channel's PCM lies. The whole file is checked first. Throws CError
// when the file is not such a WAV file (CWavLoadException for an
// unsupported format; a channel of more than `largestBuffer` bytes is
// refused too) and CRvFile::Error when reading fails. `in` must outlive the
// result, whose samples are read from it.
ConvertedBank ImportWav(CStreamIn& in, uint64_t largestBuffer = kLargestBuffer);

// ImportWav, then the whole bank written to `out`. When `converted` is
// given, it receives what was written.
void ConvertWav(CStreamIn& in, CStreamOut& out, ConvertedBank* converted = nullptr,
                uint64_t largestBuffer = kLargestBuffer);

// ConvertWav, with an unsupported format reported as false.
bool TryConvertWav(CStreamIn& in, CStreamOut& out);

}  // namespace kbn
