#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "import/ConvertedBank.h"
#include "stream/StreamIn.h"

namespace kbn {

// A written bank differs from what was converted.
class CVerifyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The first difference between two banks' structure (counts, records,
// zones, generators, modulators), or nothing when they agree. Stream
// details (offsets, bit counts) are not compared.
std::optional<std::string> FindStructureDifference(const Bank& expected, const Bank& actual);

// Reads a written bank back strictly, decodes every sample and compares it
// with the source's PCM read again from `source`, and compares the structure
// with `converted`. Throws CVerifyError naming the first difference. The
// samples are checked on up to `threads` threads when both streams read at
// positions and no sample's source values are interleaved with another's
// (a stereo WAV's are checked on one); the error is the same for any number.
void VerifyBank(CStreamIn& written, CStreamIn& source, const ConvertedBank& converted, unsigned threads = 1);

}  // namespace kbn
