#pragma once

#include <iosfwd>

#include "kbn/kbn.h"

namespace kbn {

// Lists a bank in a stable text form, for reading and for diff: a line per
// sample, instrument, preset, zone and modulator, generators by their
// SoundFont names. Through the library's C API, as a tool would.
void ListBank(std::ostream& out, const kbn_bank* bank);

// The same as one JSON document, for scripts and build pipelines: the bank's
// size, its samples, instruments and presets with their zones, generators
// (by name, bank id and SoundFont number) and modulators. Names are the
// bank's bytes up to the first NUL, each byte outside printable ASCII as
// the code point of the same number.
void ListBankAsJson(std::ostream& out, const kbn_bank* bank);

}  // namespace kbn
