#pragma once

#include <iosfwd>

#include "bank/Bank.h"

namespace kbn {

// Lists a bank in a stable text form, for reading and for diff: a line per
// sample, instrument, preset, zone and modulator, generators by their
// SoundFont names.
void ListBank(std::ostream& out, const Bank& bank);

}  // namespace kbn
