#pragma once

#include <cstdint>
#include <string>

namespace kbn {

// The SoundFont standard's name of a bank generator id ("pan", "keyRange",
// "sampleID", ...), or "generator<N>" for an id outside 1-52.
std::string GeneratorName(uint16_t bankId);

// The same, as static text: "" for an id outside 1-52.
const char* GeneratorNameText(uint16_t bankId);

}  // namespace kbn
