#pragma once

#include <string>
#include <vector>

namespace kbn::test {

struct ProgramResult {
    int status = -1;       // the exit status, 0 to 255
    int signal = 0;        // the signal that ended it, or 0
    std::string out;
    std::string err;
    long maxResidentKilobytes = 0;  // the child's peak resident memory
};

struct ProgramOptions {
    std::string input;                  // standard input
    std::string outputPath;             // standard output to this file, not captured
    std::string workingDirectory;       // empty: the test's own
    long fileSizeLimit = -1;            // RLIMIT_FSIZE in bytes, -1: none
    bool ignoreFileSizeSignal = false;  // start with SIGXFSZ ignored
    std::vector<std::string> environment;  // NAME=value, added to the inherited ones
    // When the tests run as root, permissions bind nobody: the child then runs
    // as the unprivileged user "nobody" (uid and gid 65534).
    bool unprivileged = false;
    long processLimit = -1;  // RLIMIT_NPROC (threads count), set after the above; -1: none
};

// The peak resident memory of a child includes what the parent had mapped
// when it forked: run memory-measured programs from a small test process.

// Runs a program with the arguments (argv[0] is the program) and waits for it.
ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options = {});

// Runs `program` with `args` in `directory`, with the other options given.
ProgramResult RunProgramIn(const std::string& directory, const std::string& program, std::vector<std::string> args,
                           ProgramOptions options = {});

// The paths of the built programs.
std::string KbnconvPath();
std::string KbndumpPath();
// The source tree, for the scripts the tests run.
std::string SourceDir();

}  // namespace kbn::test
