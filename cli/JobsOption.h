#pragma once

#include <string>

namespace kbn {

// Takes argv[i] when it is -j N, -jN, --jobs N or --jobs=N: true, with the
// number in `threads` (a separate value moves i past it), or with `error`
// set when the number is missing or not from 1 to 256. False for any other
// argument, leaving everything as it was.
bool TakeJobsOption(int argc, const char* const* argv, int& i, unsigned& threads, std::string& error);

}  // namespace kbn
