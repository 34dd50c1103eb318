#include "tests/support/TerminalSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace kbn::test {
namespace {

constexpr const char* kQuestionEnd = "[R]etry or [C]ancel? ";

[[noreturn]] void StartChild(const std::string& slavePath, const std::vector<std::string>& argv,
                             const TerminalOptions& options) {
    setsid();
    const int slave = open(slavePath.c_str(), O_RDWR);  // becomes the controlling terminal
    if (slave < 0) _exit(126);
    dup2(slave, STDIN_FILENO);
    dup2(slave, STDOUT_FILENO);
    dup2(slave, STDERR_FILENO);
    if (slave > STDERR_FILENO) close(slave);
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(126);
    if (options.fileSizeSoftLimit >= 0) {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(options.fileSizeSoftLimit);
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    for (const std::string& variable : options.environment) putenv(const_cast<char*>(variable.c_str()));
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// The question that ends at `end` in the transcript: the line before the
// "[R]etry or [C]ancel?" line.
std::string QuestionBefore(const std::string& transcript, std::size_t end) {
    const std::size_t lineEnd = transcript.rfind('\n', end);
    if (lineEnd == std::string::npos) return {};
    const std::size_t lineStart = transcript.rfind('\n', lineEnd - 1);
    const std::size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
    return transcript.substr(from, lineEnd - from);
}

}  // namespace

TerminalResult RunInTerminal(const std::vector<std::string>& argv, const TerminalOptions& options,
                             const TerminalAnswer& answer) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    const std::string slavePath = ptsname(master);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) StartChild(slavePath, argv, options);

    TerminalResult result;
    std::size_t searched = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            result.transcript += "\n[killed: still running after 120 seconds]\n";
            break;
        }
        pollfd watch{master, POLLIN, 0};
        if (poll(&watch, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;  // EIO: the program and everything it started closed the terminal
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] != '\r') result.transcript += buffer[i];
        }
        for (std::size_t at; (at = result.transcript.find(kQuestionEnd, searched)) != std::string::npos;) {
            searched = at + 1;
            const std::string question = QuestionBefore(result.transcript, at);
            result.questions.push_back(question);
            const std::string reply = answer(pid, question);
            if (write(master, reply.data(), reply.size()) != static_cast<ssize_t>(reply.size())) {
                throw std::runtime_error("cannot type into the pseudo-terminal");
            }
        }
    }
    close(master);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    if (WIFSIGNALED(wstatus)) result.signal = WTERMSIG(wstatus);
    return result;
}

}  // namespace kbn::test
