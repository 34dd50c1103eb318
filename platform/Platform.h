#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>


// Every call into the operating system goes through this layer; one source
// file implements it per platform.
namespace kbn::platform {

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class SeekOrigin { Begin, Current };

// The last error of the calling thread, as the system numbers it, and the
// system's text for such a number.
int LastError();
std::string ErrorText(int code);

// Opens an existing file for reading, or creates (truncating) a file for
// writing. A share mode of 0 asks for exclusive use, where the platform can
// give it: here an advisory lock, shared among readers. Returns kNoFile on failure, with LastError() set.
FileHandle OpenFile(const char* path, bool forWriting, uint32_t share);

// Reads up to `count` bytes; `got` is 0 at the end of the file.
bool ReadFile(FileHandle file, void* dst, uint32_t count, uint32_t& got);
// Reads up to `count` bytes at `offset`, whatever the file position; `got` is
// 0 at the end of the file. Several threads may read one file so at once.
// The file position after it is unspecified (Windows moves it).
bool ReadFileAt(FileHandle file, uint64_t offset, void* dst, uint32_t count, uint32_t& got);
// Writes all `count` bytes from `src` and then all `moreCount` from `more`,
// or fails; `written` tells how many reached the file before a failure,
// counted from the first byte of `src`, so that a retry goes on from there.
// Where the system can, both go in one call: a buffer's last bytes and a
// large write after them cost one system call, not two.
bool WriteFile(FileHandle file, const void* src, uint32_t count, const void* more, uint32_t moreCount,
               uint32_t& written);
inline bool WriteFile(FileHandle file, const void* src, uint32_t count, uint32_t& written) {
    return WriteFile(file, src, count, nullptr, 0, written);
}
bool SeekFile(FileHandle file, int64_t offset, SeekOrigin origin, uint64_t& newPosition);
bool GetFileSize(FileHandle file, uint64_t& size);
bool CloseFile(FileHandle file);
// Starts writing what the file holds in memory to its device, without
// waiting: done as a large output grows, it leaves little for the close or
// the rename to write back at once (ext4 does that when a file replaces
// another), and a second core keeps encoding meanwhile. A hint: it cannot fail.
void StartWriteBack(FileHandle file);

// The number of cores the calling thread may run on, at least 1: those of
// its affinity (the process's, set by taskset or a container's CPU set,
// unless the thread changed its own) where the system has one, so that a
// process held to one core does not start a thread per core of the machine.
unsigned UsableCoreCount();

// Writes all of `size` bytes of text to standard output, in the platform's
// line ends; false, with LastError() set, when the system refuses them.
bool WriteStandardOutput(const char* text, std::size_t size);

// The answers to the Retry/Cancel question after a failed read or write.
enum class PromptAnswer { Retry, Cancel };

// The interactive Retry/Cancel prompt. Without a user to answer (no
// terminal), the answer is Cancel at once.
PromptAnswer AskRetryCancel(std::string_view caption, std::string_view text);

// Creates a new, empty file with a unique name in the directory of `target`,
// so that it can later be renamed over `target`, and arms the interrupt
// cleanup for it (no signal can come between the two). Returns its path, or
// an empty string with LastError() set.
std::string CreateSiblingTempFile(const std::string& target);
// The share mode to open such a temporary file with: exclusive, except that
// the interrupt cleanup may remove it while it is open.
uint32_t TemporaryFileShare();
// Renames `from` over `to`, replacing `to` atomically if it exists.
bool RenameOver(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// Creates a directory; an existing directory is success.
bool MakeDirectory(const std::string& path);
// Where writing to `path` would write: a symbolic link's target (a chain
// of them followed), which need not exist yet, or the path itself. False,
// with LastError() set, when the links cannot be followed (a loop).
bool FollowLinks(const std::string& path, std::string& target);
// Gives `to` the permission bits of `from`, when `from` exists: a file that
// replaces another keeps what its user set up.
void CopyPermissions(const std::string& from, const std::string& to);
// True when both paths name the same existing file (links followed).
bool IsSameFile(const std::string& a, const std::string& b);
// True when something (a file, a directory, a link, even a dangling one) is
// at the path.
bool PathExists(const std::string& path);

// Once a temporary file is created, an interrupt or termination signal (or a
// console close, or an abort) removes it before the process ends, until this
// is called.
void DisarmInterruptCleanup();

}  // namespace kbn::platform
