// Runs a program with its arguments, its standard streams this program's,
// and writes its exit code, all 32 bits, to a file: the status that wine
// hands back to a POSIX shell keeps only the low 8, so -1 would pass for 255.
//   RunWithExitCode.exe REPORT PROGRAM [ARGUMENTS...]
// Exits 0 when the program ran, whatever its code, 1 otherwise.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// One argument as the C runtime splits it back: in quotes, with the
// backslashes before a quote (or before the closing quote) doubled.
std::string Quote(const std::string& argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(2 * backslashes, '\\');
    return quoted + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: RunWithExitCode REPORT PROGRAM [ARGUMENTS...]\n");
        return 1;
    }
    std::string command;
    for (int i = 2; i < argc; ++i) command += (i > 2 ? " " : "") + Quote(argv[i]);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", argv[2], GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::FILE* report = std::fopen(argv[1], "w");
    if (report == nullptr) return 1;
    std::fprintf(report, "%lu\n", code);
    return std::fclose(report) == 0 ? 0 : 1;
}
