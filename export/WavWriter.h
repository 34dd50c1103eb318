#pragma once

#include <cstdint>
#include <span>

#include "bank/BankLayout.h"
#include "stream/StreamOut.h"

namespace kbn {

// Writes one sample as a 16-bit mono PCM WAV file with a "smpl" chunk that
// carries its root key and its loop (the end inclusive, as WAV loops are).
void WriteSampleWav(CStreamOut& out, const SampleRecord& record, std::span<const int16_t> pcm);

}  // namespace kbn
