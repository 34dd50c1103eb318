#pragma once

#include "import/ConvertedBank.h"
#include "stream/Error.h"
#include "stream/StreamIn.h"

namespace kbn {

// Reads a written bank back strictly, with every check of kbndump --test,
// decodes every sample and compares it with the source's PCM read (and
// decoded) again, and compares the structure with `converted`. Throws
// CError naming the first difference. The samples are checked on up
// to `threads` threads when the bank and the source can both be read from
// several threads; the error is the same for any number.
void VerifyBank(CStreamIn& written, const ConvertedBank& converted, unsigned threads = 1);

}  // namespace kbn
