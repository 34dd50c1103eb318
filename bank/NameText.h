#pragma once

#include <string>

#include "bank/BankLayout.h"

namespace kbn {

// A 20-byte name as readable text in double quotes, for messages and
// listings: the bytes before the first NUL, with quotes, backslashes and
// unprintable bytes escaped (\" \\ \xNN).
std::string QuotedName(const Name& name);

}  // namespace kbn
