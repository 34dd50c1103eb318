#pragma once

#include <cstdint>
#include <vector>

#include "bank/Bank.h"
#include "stream/Error.h"
#include "stream/StreamIn.h"

namespace kbn {

// Reads a whole bank's structure strictly: the magic, every count checked
// against the bytes that remain before anything is allocated, block size 32,
// each stream's byte length against its bit count, zero padding bits,
// generator ids 1 to 52, flags and reserved bytes as written, and nothing
// after the preset section. The sample streams are skipped, not decoded.
Bank ReadBank(CStreamIn& in);

// Checks that every sampleID points into the sample section and every
// instrument generator into the instrument section. With ReadBank and the
// decoding of every sample (CSampleReader), the whole check of a bank, as
// kbndump --test and the converter's --verify make it.
void CheckBankReferences(const Bank& bank);

// Reads and decodes one sample's PCM; CError when its stream does
// not decode to exactly its bit count.
std::vector<int16_t> ReadSamplePcm(CStreamIn& in, const BankSample& sample, uint32_t index);

}  // namespace kbn
