#pragma once

#include <cstdint>
#include <optional>

namespace kbn {

// The bank id (1 to 52) of a SoundFont generator number, or nothing for the
// numbers the bank does not keep (placeholders, reserved numbers, the end
// marker and everything above 58).
std::optional<uint16_t> LookupGenerator(uint16_t soundFontNumber);

// The inverse: the SoundFont number of a bank id, or nothing outside 1-52.
std::optional<uint16_t> SoundFontGeneratorOf(uint16_t bankId);

}  // namespace kbn
