#pragma once

#include <iosfwd>

namespace kbn {

// The kbndump program: lists, tests, extracts or rebuilds a KBN bank.
// Statuses: 0 success, 1 a defect or a failure, 255 a usage error.
int RunKbndump(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace kbn
