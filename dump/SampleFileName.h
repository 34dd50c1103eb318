#pragma once

#include <cstdint>
#include <string>

#include "bank/BankLayout.h"

namespace kbn {

// A file name for an extracted sample: its index (three digits at least),
// a dash and its name with everything but letters, digits, spaces and
// ".-_+()" replaced by '_', then ".wav". "012-Piano C4.wav".
std::string SampleFileName(uint32_t index, const Name& name);

}  // namespace kbn
