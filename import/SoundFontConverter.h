#pragma once

#include <cstdint>

#include "import/ConvertedBank.h"
#include "stream/MemoryLimit.h"
#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

namespace kbn {

// Reads a SoundFont (SF2, or SF3 with Ogg Vorbis samples) as the bank it
// becomes: every sample, instrument and preset with its zones in the
// source's order, generators and modulator destinations in the bank's
// numbering, and where each sample's PCM lies. The whole structure is read
// and checked before anything is returned. Throws CError for a file
// that is not a usable SoundFont (a sample of more than `largestBuffer`
// bytes among the reasons) and CRvFile::Error when reading fails. `in` must
// outlive the result, whose samples are read from it.
ConvertedBank ImportSoundFont(CStreamIn& in, uint64_t largestBuffer = kLargestBuffer);

// ImportSoundFont, then the whole bank written to `out`, the samples encoded
// on `threads` threads (the bank is the same for any number). When
// `converted` is given, it receives what was written.
void ConvertSoundFont(CStreamIn& in, CStreamOut& out, ConvertedBank* converted = nullptr, unsigned threads = 1,
                      uint64_t largestBuffer = kLargestBuffer);

}  // namespace kbn
