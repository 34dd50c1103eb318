#pragma once

#include <exception>
#include <ostream>
#include <string>

#include "stream/Error.h"

namespace kbn {

// The exit statuses of both programs: 255 (not -1, which Windows reports
// as 0xFFFFFFFF) for a usage error.
inline constexpr int kStatusSuccess = 0;
inline constexpr int kStatusFailed = 1;
inline constexpr int kStatusUsage = 255;

// Runs `body`, which returns the program's status, as the one place where a
// failure becomes the program's line on standard error and status 1:
// "file: problem", the file the error names or else `file`, the one the
// program was working on. Anything else thrown is reported the same way.
template <class Body>
int RunReportingFailures(std::ostream& err, const std::string& file, Body body) {
    try {
        return body();
    } catch (const std::exception& e) {
        err << FailureMessage(e, file) << "\n";
    }
    return kStatusFailed;
}

}  // namespace kbn
