// The platform layer on POSIX systems.
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#ifdef __linux__
#include <sched.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>

#include "platform/Platform.h"
#include "platform/SiblingTempName.h"

namespace kbn::platform {
namespace {

int ToFd(FileHandle file) { return static_cast<int>(file); }

// Directory part of a path, with its trailing slash ("" for a bare name).
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// SIGABRT too: a program that aborts (an exception nobody catches, a failed
// check) must not leave its half-written file behind either.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGABRT};

// What the signal handler removes; only async-signal-safe work happens there.
std::array<char, 4096> g_cleanupPath{};
volatile std::sig_atomic_t g_cleanupArmed = 0;

extern "C" void RemoveTempAndDie(int signalNumber) {
    if (g_cleanupArmed) unlink(g_cleanupPath.data());
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void InstallSignalHandlersOnce() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = RemoveTempAndDie;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kCleanupSignals) sigaction(signalNumber, &action, nullptr);
    // Past a file-size limit a write then fails with EFBIG, which is reported
    // and cleaned up like any other write failure, instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
}

// Blocks the cleanup signals for its lifetime.
class SignalBlock {
public:
    SignalBlock() {
        sigset_t set;
        sigemptyset(&set);
        for (int signalNumber : kCleanupSignals) sigaddset(&set, signalNumber);
        sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalBlock() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t previous_{};
};

void ArmCleanup(const std::string& path) {
    g_cleanupArmed = 0;
    const std::size_t length = std::min(path.size(), g_cleanupPath.size() - 1);
    std::memcpy(g_cleanupPath.data(), path.data(), length);
    g_cleanupPath[length] = '\0';
    g_cleanupArmed = length == path.size() ? 1 : 0;
}

}  // namespace

int LastError() { return errno; }

std::string ErrorText(int code) {
    if (code == EWOULDBLOCK) return "The file is locked by another process";
    return std::strerror(code);
}

FileHandle OpenFile(const char* path, bool forWriting, uint32_t share) {
    // Truncation waits until the lock is held, so a file in use is not emptied.
    const int flags = forWriting ? (O_WRONLY | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
    int fd = -1;
    do {
        fd = open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return kNoFile;

    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        close(fd);
        errno = error;
        return kNoFile;
    }
    // Readers share the file with other readers and keep writers out; a
    // writer keeps everyone out.
    if (share == 0 && flock(fd, (forWriting ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return kNoFile;
    }
    // An empty file is left alone: on ext4 a truncation to zero also marks
    // the file for writing back at its close, which costs a large output
    // (a new temporary file, say) tens of milliseconds for nothing.
    if (forWriting && S_ISREG(info.st_mode) && info.st_size != 0 && ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return kNoFile;
    }
    if (!forWriting) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

unsigned UsableCoreCount() {
#ifdef __linux__
    // A fixed set covers 1024 cores; on a larger machine the call fails
    // and the count of the machine's cores stands in.
    cpu_set_t cores;
    CPU_ZERO(&cores);
    if (sched_getaffinity(0, sizeof cores, &cores) == 0) return static_cast<unsigned>(std::max(1, CPU_COUNT(&cores)));
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

void StartWriteBack(FileHandle file) {
#ifdef __linux__
    // Offset 0 and length 0: every dirty page of the file, to its end.
    sync_file_range(ToFd(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
#endif
}

bool ReadFile(FileHandle file, void* dst, uint32_t count, uint32_t& got) {
    got = 0;
    ssize_t n = 0;
    do {
        n = read(ToFd(file), dst, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    got = static_cast<uint32_t>(n);
    return true;
}

bool ReadFileAt(FileHandle file, uint64_t offset, void* dst, uint32_t count, uint32_t& got) {
    got = 0;
    ssize_t n = 0;
    do {
        n = pread(ToFd(file), dst, count, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    got = static_cast<uint32_t>(n);
    return true;
}

bool WriteFile(FileHandle file, const void* src, uint32_t count, const void* more, uint32_t moreCount,
               uint32_t& written) {
    iovec pieces[2] = {{const_cast<void*>(src), count}, {const_cast<void*>(more), moreCount}};
    written = 0;
    for (iovec* next = pieces; next != std::end(pieces);) {
        if (next->iov_len == 0) {
            ++next;
            continue;
        }
        const ssize_t n = writev(ToFd(file), next, static_cast<int>(std::end(pieces) - next));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        written += static_cast<uint32_t>(n);
        // Past what went, into the piece where it stopped.
        for (auto left = static_cast<std::size_t>(n); left > 0; ++next) {
            const std::size_t taken = std::min(left, next->iov_len);
            next->iov_base = static_cast<char*>(next->iov_base) + taken;
            next->iov_len -= taken;
            left -= taken;
            if (next->iov_len != 0) break;
        }
    }
    return true;
}

bool SeekFile(FileHandle file, int64_t offset, SeekOrigin origin, uint64_t& newPosition) {
    const off_t result = lseek(ToFd(file), static_cast<off_t>(offset),
                               origin == SeekOrigin::Begin ? SEEK_SET : SEEK_CUR);
    if (result < 0) return false;
    newPosition = static_cast<uint64_t>(result);
    return true;
}

bool GetFileSize(FileHandle file, uint64_t& size) {
    struct stat info {};
    if (fstat(ToFd(file), &info) != 0) return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool CloseFile(FileHandle file) {
    // On Linux the descriptor is released even when close reports EINTR.
    return close(ToFd(file)) == 0 || errno == EINTR;
}

bool WriteStandardOutput(const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(STDOUT_FILENO, text, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        text += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

PromptAnswer AskRetryCancel(std::string_view caption, std::string_view text) {
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return PromptAnswer::Cancel;
    std::string question = "\n";
    question.append(caption).append(": ").append(text).append("\n[R]etry or [C]ancel? ");
    uint32_t written = 0;
    if (!WriteFile(STDERR_FILENO, question.data(), static_cast<uint32_t>(question.size()), written))
        return PromptAnswer::Cancel;
    char answer = 0;
    uint32_t got = 0;
    if (!ReadFile(STDIN_FILENO, &answer, 1, got) || got == 0) return PromptAnswer::Cancel;
    // Drain the rest of the line so the next prompt starts fresh.
    for (char rest = answer; rest != '\n';) {
        if (!ReadFile(STDIN_FILENO, &rest, 1, got) || got == 0) break;
    }
    return (answer == 'r' || answer == 'R') ? PromptAnswer::Retry : PromptAnswer::Cancel;
}

std::string CreateSiblingTempFile(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    InstallSignalHandlersOnce();
    // Held back while the file is created and armed, and delivered after.
    SignalBlock block;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string unique = std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1));
        const std::string candidate = SiblingTempName(DirectoryOf(target), BaseNameOf(target), unique, NAME_MAX,
                                                      PATH_MAX - 1);
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            ArmCleanup(candidate);
            return candidate;
        }
        if (errno != EEXIST) return {};
    }
    errno = EEXIST;
    return {};
}

// An open file can be removed here; the temporary output keeps its lock.
uint32_t TemporaryFileShare() { return 0; }

bool RenameOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool MakeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    struct stat info {};
    if (errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    if (errno == EEXIST) errno = ENOTDIR;
    return false;
}

bool FollowLinks(const std::string& path, std::string& target) {
    // As open() follows them, but to a name that need not exist yet.
    target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        std::string link(static_cast<std::size_t>(info.st_size) + 1, '\0');
        const ssize_t length = readlink(target.c_str(), link.data(), link.size());
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) >= link.size()) continue;  // changed meanwhile: read it again
        link.resize(static_cast<std::size_t>(length));
        target = link.starts_with('/') ? link : DirectoryOf(target) + link;
    }
    errno = ELOOP;
    return false;
}

void CopyPermissions(const std::string& from, const std::string& to) {
    struct stat info {};
    if (stat(from.c_str(), &info) == 0) chmod(to.c_str(), info.st_mode & 07777);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

void DisarmInterruptCleanup() { g_cleanupArmed = 0; }

}  // namespace kbn::platform
