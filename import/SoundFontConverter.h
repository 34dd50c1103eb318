#pragma once

#include <cstdint>
#include <vector>

#include "import/ConvertedBank.h"
#include "import/SoundFontTables.h"
#include "stream/MemoryLimit.h"
#include "stream/StreamIn.h"
#include "stream/StreamOut.h"

namespace kbn {

// Converts a SoundFont 2 bank: every sample with its PCM encoded, then the
// instruments, then the presets, each with its zones, in the source's order.
// The whole structure is read and checked before anything is written.
// Throws CSourceError for a file that is not a usable SoundFont and
// CRvFile::Error when reading or writing fails. When `converted` is given,
// it receives what was written. `threads` workers encode the samples (the
// bank is the same for any number). A sample of more than `largestBuffer`
// bytes is refused.
void ConvertSoundFont(CStreamIn& in, CStreamOut& out, ConvertedBank* converted = nullptr, unsigned threads = 1,
                      uint64_t largestBuffer = kLargestBuffer);

// The zone `zone` of an instrument or a preset as the bank holds it.
BankZone MakeZone(const std::vector<SfBag>& bags, const std::vector<SfGenerator>& generators,
                  const std::vector<ModulatorRecord>& modulators, uint32_t zone);

}  // namespace kbn
