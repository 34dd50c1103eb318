#pragma once

#include <iosfwd>

namespace kbn {

// Exit statuses of kbnconv.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitConversionFailed = 1;
inline constexpr int kExitUsage = 255;

// The whole program: arguments in, status out. Messages go to the two
// streams given, so that tests can read them.
int RunKbnconv(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace kbn
