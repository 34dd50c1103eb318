#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bank/Bank.h"
#include "stream/StreamOut.h"

namespace kbn {

// Gives the PCM of sample `index` (its record's length of values).
using SamplePcmSource = std::function<std::vector<int16_t>(uint32_t index)>;

// Rebuilds a SoundFont 2 bank from a KBN bank's structure: the generator ids
// and modulator destinations mapped back to SoundFont numbers, every
// terminal record, 46 zero points after each sample, mono samples (ROM ones
// where the bank says so) and a minimal INFO list (ifil 2.01, isng, INAM).
// Converting the result gives back the same bank. Samples are fetched one
// at a time. Throws CError when the bank has more zones,
// generators, modulators or sample points than a SoundFont can index.
void WriteSoundFont(CStreamOut& out, const Bank& bank, const SamplePcmSource& pcm, const std::string& bankName);

}  // namespace kbn
