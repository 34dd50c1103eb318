#pragma once

#include "import/SoundFontTables.h"
#include "stream/MemoryLimit.h"

namespace kbn {

// Checks everything the conversion relies on before a byte of the bank is
// written: all nine tables present with their terminal records (the
// generator and modulator tables may be empty when no zone has any), every bag,
// generator and modulator index inside its table and never going backwards,
// every sample inside the "smpl" data (an uncompressed one at most
// `largestBuffer` bytes long). Throws CError naming the first defect
// and the record it is in.
void ValidateSoundFont(const SoundFontTables& tables, uint64_t largestBuffer = kLargestBuffer);

}  // namespace kbn
