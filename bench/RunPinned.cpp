// Runs a command pinned to the given cores and writes its wall time in
// seconds and its peak resident memory in KB to a file: "seconds peak-KB",
// as /usr/bin/time -o does, the command's output left as it is. The time
// runs from the fork to the command's exit, so that it holds the command's
// own start-up but not that of a timing or pinning wrapper (on the
// project's virtual machines each program started costs about 3.5 ms, two
// wrappers a tenth of a -j 2 conversion). Exits with the command's status.
//   run_pinned RESULT-FILE CPUS COMMAND [ARGS...]   (CPUS: such as 0 or 0,1)
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool ParseCpus(const char* text, cpu_set_t& cpus) {
    CPU_ZERO(&cpus);
    while (*text != '\0') {
        char* end = nullptr;
        const long cpu = std::strtol(text, &end, 10);
        if (end == text || cpu < 0 || cpu >= CPU_SETSIZE) return false;
        if (*end != ',' && *end != '\0') return false;
        CPU_SET(static_cast<std::size_t>(cpu), &cpus);
        text = *end == ',' ? end + 1 : end;
    }
    return CPU_COUNT(&cpus) > 0;
}

double Seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9; }

}  // namespace

int main(int argc, char** argv) {
    cpu_set_t cpus;
    if (argc < 4 || !ParseCpus(argv[2], cpus)) {
        std::fprintf(stderr, "usage: run_pinned RESULT-FILE CPUS COMMAND [ARGS...]\n");
        return 2;
    }
    const char* resultPath = argv[1];
    char** command = argv + 3;
    // The command inherits the cores.
    if (sched_setaffinity(0, sizeof cpus, &cpus) != 0) {
        std::fprintf(stderr, "run_pinned: cannot pin to %s: %s\n", argv[2], std::strerror(errno));
        return 2;
    }
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "run_pinned: cannot fork: %s\n", std::strerror(errno));
        return 2;
    }
    if (child == 0) {
        execvp(command[0], command);
        std::fprintf(stderr, "run_pinned: cannot run %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "run_pinned: cannot wait: %s\n", std::strerror(errno));
            return 2;
        }
    }
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &end);
    std::FILE* result = std::fopen(resultPath, "w");
    if (result == nullptr || std::fprintf(result, "%.4f %ld\n", Seconds(end) - Seconds(start), usage.ru_maxrss) < 0 ||
        std::fclose(result) != 0) {
        std::fprintf(stderr, "run_pinned: cannot write %s\n", resultPath);
        return 2;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
