#pragma once

#include <iosfwd>

namespace kbn {

// The whole program: arguments in, status out. Messages go to the two
// streams given, so that tests can read them.
int RunKbnconv(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace kbn
