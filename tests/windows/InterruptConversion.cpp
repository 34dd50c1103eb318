// Starts a command on this console, waits until a temporary file appears in
// a directory (the conversion has begun writing), presses Ctrl-C on the
// console and writes the command's exit status to a file (what a console
// shows under wine comes with terminal escapes).
//   InterruptConversion.exe DIR REPORT "COMMAND LINE"
// Exits 0 when the command was interrupted, 1 when something else happened.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// This program stays: the Ctrl-C is for the command.
BOOL WINAPI Ignore(DWORD) { return TRUE; }

bool TempFileIn(const std::string& dir) {
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((dir + "\\*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: InterruptConversion DIR REPORT \"COMMAND LINE\"\n");
        return 1;
    }
    SetConsoleCtrlHandler(Ignore, TRUE);
    std::string command = argv[3];
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start the command: error %lu\n", GetLastError());
        return 1;
    }
    bool started = false;
    for (int wait = 0; wait < 6000 && !started; ++wait) {
        started = TempFileIn(argv[1]);
        if (!started && WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) break;
    }
    if (!started) {
        std::fprintf(stderr, "the command wrote no temporary file before it ended\n");
        return 1;
    }
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        std::fprintf(stderr, "cannot press Ctrl-C: error %lu (no console?)\n", GetLastError());
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the command went on after Ctrl-C\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    std::FILE* report = std::fopen(argv[2], "w");
    if (report == nullptr) return 1;
    std::fprintf(report, "status %lu\n", status);
    return std::fclose(report) == 0 ? 0 : 1;
}
