#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace kbn::test {

struct TerminalOptions {
    std::string workingDirectory;
    // RLIMIT_FSIZE's soft limit in bytes (-1: none); the hard limit stays, so
    // that the test can lift the soft one while the program runs.
    long fileSizeSoftLimit = -1;
    std::vector<std::string> environment;  // NAME=value, added to the inherited ones
};

struct TerminalResult {
    int status = -1;                     // the exit status, 0 to 255
    int signal = 0;                      // the signal that ended it, or 0
    std::string transcript;              // everything the terminal showed, without carriage returns
    std::vector<std::string> questions;  // the text of each Retry/Cancel question asked
};

// Answers one Retry/Cancel question: gets the program's process id and the
// question's text ("File Error: Cannot write file. ...") and returns the
// line to type, e.g. "r\n".
using TerminalAnswer = std::function<std::string(pid_t pid, const std::string& question)>;

// Runs a program with a new pseudo-terminal as its controlling terminal,
// standard input, output and error, as a user at a terminal would, answering
// every question it asks. A program still running after 120 seconds is
// killed and reported as such.
TerminalResult RunInTerminal(const std::vector<std::string>& argv, const TerminalOptions& options,
                             const TerminalAnswer& answer);

}  // namespace kbn::test
