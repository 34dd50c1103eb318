#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/support/TempDir.h"

namespace kbn::test {
namespace {

std::string Slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void Redirect(const std::string& path, int fd, int flags) {
    const int opened = open(path.c_str(), flags, 0600);
    if (opened < 0) _exit(126);
    dup2(opened, fd);
    close(opened);
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
    TempDir io;
    const std::string inPath = io / "stdin", outPath = io / "stdout", errPath = io / "stderr";
    WriteFileBytes(inPath, std::vector<uint8_t>(options.input.begin(), options.input.end()));

    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        Redirect(inPath, STDIN_FILENO, O_RDONLY);
        Redirect(options.outputPath.empty() ? outPath : options.outputPath, STDOUT_FILENO,
                 O_WRONLY | O_CREAT | O_TRUNC);
        Redirect(errPath, STDERR_FILENO, O_WRONLY | O_CREAT | O_TRUNC);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
        if (options.fileSizeLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.ignoreFileSizeSignal) std::signal(SIGXFSZ, SIG_IGN);
        for (const std::string& variable : options.environment) putenv(const_cast<char*>(variable.c_str()));
        if (options.unprivileged && geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
        }
        if (options.processLimit >= 0) {
            const rlimit limit{static_cast<rlim_t>(options.processLimit), static_cast<rlim_t>(options.processLimit)};
            if (setrlimit(RLIMIT_NPROC, &limit) != 0) _exit(126);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    int wstatus = 0;
    rusage usage{};
    while (wait4(pid, &wstatus, 0, &usage) < 0) {
    }
    ProgramResult result;
    result.maxResidentKilobytes = usage.ru_maxrss;
    if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
    result.out = Slurp(outPath);
    result.err = Slurp(errPath);
    return result;
}

std::string KbnconvPath() { return KBNCONV_PATH; }
std::string KbndumpPath() { return KBNDUMP_PATH; }
std::string SourceDir() { return KBN_SOURCE_DIR; }

ProgramResult RunProgramIn(const std::string& directory, const std::string& program, std::vector<std::string> args,
                           ProgramOptions options) {
    args.insert(args.begin(), program);
    options.workingDirectory = directory;
    return RunProgram(args, options);
}

}  // namespace kbn::test
