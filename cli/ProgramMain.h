#pragma once

#include <iosfwd>

namespace kbn {

// A program's whole run: arguments in, exit status out, its messages on the
// two streams given (so that tests can read them).
using ProgramBody = int (*)(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// What both programs' main does around their body: every exception that
// escapes it reported (status 1), and standard output checked at the end:
// a write that failed is reported on standard error and turns success into
// status 1. `name` starts those messages.
int RunProgramMain(const char* name, ProgramBody body, int argc, const char* const* argv);

}  // namespace kbn
