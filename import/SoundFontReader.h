#pragma once

#include <cstdint>

#include "import/SoundFontTables.h"
#include "stream/StreamIn.h"

namespace kbn {

// Reads a SoundFont's structure: checks the "RIFF" ... "sfbk" header, walks
// the top-level lists (at most three, as far as the end of the file), loads
// the nine "pdta" tables as they are, locates the "smpl" sample data inside "sdta" and notes
// an "sm24" chunk after it. A pad byte missing after an odd-sized chunk is
// found out as SkipChunkRest says.
// Returns false, loading nothing, when the header is not a SoundFont's.
// Throws CError for a broken structure (a list or chunk that runs past
// its end, a LIST too short for its type, an "sdta" list not starting with
// "smpl", no chunk where one must follow) and CRvFile::Error when reading
// fails. Nothing is allocated that the file could not hold.
bool ReadSoundFont(CStreamIn& in, SoundFontTables& tables);

}  // namespace kbn
