// The platform layer on Windows, over the Win32 file and console calls.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "platform/Platform.h"
#include "platform/SiblingTempName.h"

namespace kbn::platform {
namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// Everything up to and including the last '\', '/' or drive ':'.
std::string DirectoryOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// What the console control handler removes. The handler runs on a thread of
// its own, so the path is published before the flag that arms it.
char g_cleanupPath[MAX_PATH * 4] = {};
std::atomic<bool> g_cleanupArmed{false};

// Ctrl-C, Ctrl-Break or a closing console during a conversion: the
// temporary output goes, and the process ends at once with the status of an
// interrupted program (wine's default handler would end it with 0). At any
// other time the default handler does what it does.
BOOL WINAPI RemoveTempOnControl(DWORD) {
    if (!g_cleanupArmed.exchange(false)) return FALSE;
    DeleteFileA(g_cleanupPath);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}

void InstallControlHandlerOnce() {
    static const bool installed = SetConsoleCtrlHandler(RemoveTempOnControl, TRUE) != 0;
    (void)installed;
}

bool IsConsole(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR;
}


bool WriteAll(FileHandle file, const char* bytes, uint32_t count, uint32_t& written) {
    while (count > 0) {
        DWORD done = 0;
        if (!::WriteFile(ToHandle(file), bytes, count, &done, nullptr)) return false;
        if (done == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes += done;
        written += done;
        count -= done;
    }
    return true;
}

}  // namespace

int LastError() { return static_cast<int>(GetLastError()); }

std::string ErrorText(int code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0x400, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return "system error " + std::to_string(code);
    std::string result(text, length);
    LocalFree(text);
    // The system's texts end with a line break.
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' ')) {
        result.pop_back();
    }
    return result;
}

FileHandle OpenFile(const char* path, bool forWriting, uint32_t share) {
    // A share mode of 0 asked for exclusive use; readers share the file with
    // other readers, as on the other platforms, and keep writers out.
    const DWORD shareMode = share != 0 ? share : (forWriting ? 0 : FILE_SHARE_READ);
    const HANDLE handle =
        CreateFileA(path, forWriting ? GENERIC_WRITE : GENERIC_READ, shareMode, nullptr,
                    forWriting ? CREATE_ALWAYS : OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (handle == INVALID_HANDLE_VALUE) return kNoFile;
    return reinterpret_cast<FileHandle>(handle);
}

bool ReadFile(FileHandle file, void* dst, uint32_t count, uint32_t& got) {
    DWORD read = 0;
    const BOOL ok = ::ReadFile(ToHandle(file), dst, count, &read, nullptr);
    got = read;
    return ok != 0;
}

bool ReadFileAt(FileHandle file, uint64_t offset, void* dst, uint32_t count, uint32_t& got) {
    // On a handle opened for synchronous use, the offset in the OVERLAPPED
    // structure makes a plain positioned read.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    const BOOL ok = ::ReadFile(ToHandle(file), dst, count, &read, &at);
    got = read;
    if (!ok && GetLastError() == ERROR_HANDLE_EOF) {
        got = 0;
        return true;
    }
    return ok != 0;
}

// Gathered writes want unbuffered files on Windows: one call per piece.
bool WriteFile(FileHandle file, const void* src, uint32_t count, const void* more, uint32_t moreCount,
               uint32_t& written) {
    written = 0;
    return WriteAll(file, static_cast<const char*>(src), count, written) &&
           WriteAll(file, static_cast<const char*>(more), moreCount, written);
}

bool SeekFile(FileHandle file, int64_t offset, SeekOrigin origin, uint64_t& newPosition) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    if (!SetFilePointerEx(ToHandle(file), distance, &result, origin == SeekOrigin::Begin ? FILE_BEGIN : FILE_CURRENT)) {
        return false;
    }
    newPosition = static_cast<uint64_t>(result.QuadPart);
    return true;
}

bool GetFileSize(FileHandle file, uint64_t& size) {
    LARGE_INTEGER result;
    if (!GetFileSizeEx(ToHandle(file), &result)) return false;
    size = static_cast<uint64_t>(result.QuadPart);
    return true;
}

bool CloseFile(FileHandle file) { return CloseHandle(ToHandle(file)) != 0; }

// Windows' lazy writer already writes a growing file out behind it.
void StartWriteBack(FileHandle) {}

unsigned UsableCoreCount() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1) ++count;
        return count;
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

bool WriteStandardOutput(const char* text, std::size_t size) {
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // Lines end in CR LF, as a text-mode stream writes them.
    std::string lines;
    lines.reserve(size + size / 16);
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == '\n') lines.push_back('\r');
        lines.push_back(text[i]);
    }
    uint32_t written = 0;
    return WriteAll(reinterpret_cast<FileHandle>(handle), lines.data(), static_cast<uint32_t>(lines.size()), written);
}

PromptAnswer AskRetryCancel(std::string_view caption, std::string_view text) {
    // A run without a console (a script, a service) has nobody to click.
    if (!IsConsole(STD_INPUT_HANDLE) || !IsConsole(STD_ERROR_HANDLE)) return PromptAnswer::Cancel;
    const std::string captionText(caption), message(text);
    // Retry and Cancel, the error icon, system-modal.
    const int answer = MessageBoxA(nullptr, message.c_str(), captionText.c_str(), 0x1015);
    return answer == IDRETRY ? PromptAnswer::Retry : PromptAnswer::Cancel;
}

std::string CreateSiblingTempFile(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    InstallControlHandlerOnce();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string unique =
            std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter.fetch_add(1));
        const std::string candidate = SiblingTempName(DirectoryOf(target), BaseNameOf(target), unique, 255,
                                                      MAX_PATH - 1);
        const HANDLE handle = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            if (candidate.size() < sizeof g_cleanupPath) {
                g_cleanupArmed = false;
                candidate.copy(g_cleanupPath, candidate.size());
                g_cleanupPath[candidate.size()] = '\0';
                g_cleanupArmed = true;
            }
            return candidate;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    SetLastError(ERROR_FILE_EXISTS);
    return {};
}

// Windows removes no file that a handle without FILE_SHARE_DELETE holds
// open, and the console handler runs while the output is open.
uint32_t TemporaryFileShare() { return FILE_SHARE_DELETE; }

bool RenameOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool MakeDirectory(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    SetLastError(ERROR_DIRECTORY);
    return false;
}

// Replacing a link replaces the link itself here.
bool FollowLinks(const std::string& path, std::string& target) {
    target = path;
    return true;
}

// A read-only file cannot be replaced at all; other attributes stay behind.
void CopyPermissions(const std::string&, const std::string&) {}

bool IsSameFile(const std::string& a, const std::string& b) {
    // Opened for no data access, which no share mode refuses.
    const auto identity = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return false;
        const BOOL ok = GetFileInformationByHandle(handle, &info);
        CloseHandle(handle);
        return ok != 0;
    };
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    if (!identity(a, first) || !identity(b, second)) return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void DisarmInterruptCleanup() { g_cleanupArmed = false; }

}  // namespace kbn::platform
