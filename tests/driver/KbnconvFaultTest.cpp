// Faults injected into whole runs of the programs: a full disk and a failing
// read answered at a terminal or not, signals at any moment, outputs that
// cannot be written. Whatever happens, the status and the message say so,
// every existing output is either untouched or complete and new, and no
// temporary file is left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
#include "stream/ByteOrder.h"
#include "stream/MemoryStream.h"
#include "tests/codec/SignalGenerator.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SoundFontBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TerminalSession.h"
#include "tests/support/WavBuilder.h"

namespace kbn {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kOld = {'o', 'l', 'd'};
const std::string kStrace = "/usr/bin/strace";

Bytes NoiseWav(std::size_t frames, uint16_t channels) {
    test::TestWav wav;
    wav.channels = channels;
    wav.pcm = test::MakeSignal(test::Signal::Noise, frames * channels, 7);
    return test::BuildWav(wav);
}

Bytes BankOfWav(const Bytes& wav) {
    CMemoryStreamIn in(wav);
    CMemoryStreamOut out;
    ConvertWav(in, out);
    return out.Bytes();
}

// A SoundFont of noise samples of the given lengths, named a, b, c...
Bytes NoiseSoundFont(const std::vector<std::size_t>& lengths) {
    test::TestSoundFont font;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        font.samples.push_back({std::string(1, static_cast<char>('a' + i)),
                                test::MakeSignal(test::Signal::Noise, lengths[i], static_cast<uint32_t>(i + 1))});
    }
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}}});
    font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    return test::BuildSoundFont(font);
}

Bytes BankOfSoundFont(const Bytes& sf2) {
    CMemoryStreamIn in(sf2);
    CMemoryStreamOut out;
    ConvertSoundFont(in, out);
    return out.Bytes();
}

// A traced program's LeakSanitizer cannot stop the world under ptrace; the
// sanitized build's leak check is left to the untraced runs.
std::string AsanOptionsWithoutLeakCheck() {
    const char* current = std::getenv("ASAN_OPTIONS");
    return std::string("ASAN_OPTIONS=") + (current ? std::string(current) + ":" : "") + "detect_leaks=0";
}

class KbnconvFault : public testing::Test {
protected:
    std::vector<std::string> Listing() const { return dir_.List(); }
    Bytes Output() const { return test::ReadFileBytes(dir_ / "out.kbn"); }

    test::TempDir dir_;
};

// A full disk (a file-size limit of 100000 bytes) under kbnconv or kbndump.
// At a terminal each question is answered in turn, lifting the limit first
// where the answer says so; without one the run gives up at once. The noise
// samples make a bank past the limit, and of the WAV files kbndump extracts
// the first fits under it and the second does not.
struct DiskAnswer {
    bool makeRoom;
    std::string reply;
};

struct FullDiskCase {
    const char* name;
    std::string (*program)();
    std::vector<std::string> args;
    std::vector<DiskAnswer> answers;   // none: no terminal
    std::string err;                   // the last line said; empty: the run succeeds
    std::vector<std::string> written;  // complete afterwards: the clean bank, or a whole WAV file
};

class FullDisk : public KbnconvFault, public testing::WithParamInterface<FullDiskCase> {
protected:
    // Every file under the directory, sorted.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path())) {
            if (!entry.is_directory()) files.push_back(std::filesystem::relative(entry.path(), dir_.Path()).string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_P(FullDisk, IsAskedAboutOrReportedAndLosesNothing) {
    const FullDiskCase& c = GetParam();
    const Bytes sf2 = NoiseSoundFont({20000, 60000, 20000});
    const Bytes bank = BankOfSoundFont(sf2);
    test::WriteFileBytes(dir_ / "in.sf2", sf2);
    test::WriteFileBytes(dir_ / "in.kbn", bank);
    std::filesystem::create_directory(dir_.Path() / "samples");
    std::vector<std::string> files = {"out.kbn", "out.sf2", "samples/001-b.wav"};
    for (const std::string& old : files) test::WriteFileBytes(dir_ / old, kOld);

    std::vector<std::string> argv = c.args;
    argv.insert(argv.begin(), c.program());
    int status = -1;
    std::string said;
    if (c.answers.empty()) {
        test::ProgramOptions options;
        options.workingDirectory = dir_.Path().string();
        options.fileSizeLimit = 100000;
        const test::ProgramResult result = test::RunProgram(argv, options);
        status = result.status;
        said = result.err;
        EXPECT_EQ(said, c.err);
    } else {
        test::TerminalOptions options;
        options.workingDirectory = dir_.Path().string();
        options.fileSizeSoftLimit = 100000;
        std::size_t asked = 0;
        const test::TerminalResult result = test::RunInTerminal(argv, options, [&](pid_t pid, const std::string&) {
            const DiskAnswer& answer = c.answers.at(std::min(asked++, c.answers.size() - 1));
            if (answer.makeRoom) {
                const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
                EXPECT_EQ(prlimit(pid, RLIMIT_FSIZE, &unlimited, nullptr), 0);
            }
            return answer.reply;
        });
        status = result.status;
        said = result.transcript;
        EXPECT_EQ(result.questions,
                  std::vector<std::string>(c.answers.size(), "File Error: Cannot write file. File too large"));
        EXPECT_TRUE(said.ends_with("\n" + c.err)) << said;
    }
    EXPECT_EQ(status, c.err.empty() ? 0 : 1) << said;

    files.insert(files.end(), c.written.begin(), c.written.end());
    files.insert(files.end(), {"in.kbn", "in.sf2"});
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    EXPECT_EQ(Files(), files);
    for (const std::string& name : files) {
        if (name.starts_with("in.")) continue;
        const Bytes bytes = test::ReadFileBytes(dir_ / name);
        if (std::find(c.written.begin(), c.written.end(), name) == c.written.end()) {
            EXPECT_EQ(bytes, kOld) << name;
        } else if (name.ends_with(".kbn")) {
            EXPECT_EQ(bytes, bank) << name;
        } else {
            ASSERT_GE(bytes.size(), 8u) << name;
            EXPECT_EQ(bytes.size(), 8 + GetU32(bytes.data() + 4)) << name << " is cut short";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FullDisk,
    testing::Values(
        FullDiskCase{"RetryOnceThereIsRoom", test::KbnconvPath, {"-j1", "in.sf2", "out.kbn"}, {{true, "r\n"}}, "",
                     {"out.kbn"}},
        FullDiskCase{"RetryTooEarlyAsksAgain", test::KbnconvPath, {"-j2", "in.sf2", "out.kbn"},
                     {{false, "r\n"}, {true, "R\n"}}, "", {"out.kbn"}},
        FullDiskCase{"Cancel", test::KbnconvPath, {"-j3", "in.sf2", "out.kbn"}, {{false, "c\n"}},
                     "out.kbn: cannot write: File too large\n", {}},
        FullDiskCase{"AnyOtherAnswerCancels", test::KbnconvPath, {"-j1", "in.sf2", "out.kbn"}, {{true, "x\n"}},
                     "out.kbn: cannot write: File too large\n", {}},
        FullDiskCase{"WithoutATerminal", test::KbnconvPath, {"in.sf2", "out.kbn"}, {},
                     "out.kbn: cannot write: File too large\n", {}},
        FullDiskCase{"RebuiltSoundFont", test::KbndumpPath, {"--sf2", "out.sf2", "in.kbn"}, {},
                     "out.sf2: cannot write: File too large\n", {}},
        FullDiskCase{"ExtractedSamples", test::KbndumpPath, {"--extract", "samples", "in.kbn"}, {},
                     "samples/001-b.wav: cannot write: File too large\n", {"samples/000-a.wav"}}),
    [](const testing::TestParamInfo<FullDiskCase>& tested) { return std::string(tested.param.name); });

// A signal (Ctrl-C, SIGTERM, a hang-up) at any moment of a conversion with
// read-back: while the full-disk question waits, as soon as the temporary
// file appears, and from before the program has started to after it has
// finished. Killed or not, the output is the old file or the complete new
// bank and no temporary file remains.
class KbnconvSignal : public KbnconvFault, public testing::WithParamInterface<int> {};

TEST_P(KbnconvSignal, LeavesTheOldOutputOrTheWholeBank) {
    const int signalNumber = GetParam();
    test::WriteFileBytes(dir_ / "in.sf2", NoiseSoundFont(std::vector<std::size_t>(6, 2'000'000)));
    const std::vector<std::string> inputAndOutput = {"in.sf2", "out.kbn"};
    {
        SCOPED_TRACE("signal at the question");
        test::WriteFileBytes(dir_ / "out.kbn", kOld);
        test::TerminalOptions options;
        options.workingDirectory = dir_.Path().string();
        options.fileSizeSoftLimit = 100000;
        const test::TerminalResult result = test::RunInTerminal(
            {test::KbnconvPath(), "in.sf2", "out.kbn"}, options, [&](pid_t pid, const std::string&) {
                kill(pid, signalNumber);
                return std::string();
            });
        EXPECT_EQ(result.signal, signalNumber) << result.transcript;
        EXPECT_EQ(result.questions.size(), 1u);
        EXPECT_EQ(Output(), kOld);
        EXPECT_EQ(Listing(), inputAndOutput);
    }

    const auto startRun = [&] {
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.Path().c_str()) != 0) _exit(126);
            execl(test::KbnconvPath().c_str(), "kbnconv", "--verify", "in.sf2", "out.kbn", static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    };
    // The length of a whole run sets the moments.
    const auto start = std::chrono::steady_clock::now();
    int wstatus = 0;
    waitpid(startRun(), &wstatus, 0);
    const auto whole = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
    const Bytes bank = Output();

    int interrupted = 0;
    // A negative fraction: as soon as the temporary file appears.
    for (const double fraction : {-1.0, 0.0, 0.02, 0.05, 0.1, 0.2, 0.3, 0.45, 0.6, 0.75, 0.9, 1.0, 1.2}) {
        SCOPED_TRACE("signal after " + std::to_string(fraction) + " of a run");
        test::WriteFileBytes(dir_ / "out.kbn", kOld);
        const pid_t pid = startRun();
        ASSERT_GT(pid, 0);
        if (fraction < 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (Listing().size() != 3 && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        } else {
            std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(whole * fraction));
        }
        kill(pid, signalNumber);
        waitpid(pid, &wstatus, 0);
        const Bytes output = Output();
        EXPECT_TRUE(fraction >= 0 || (WIFSIGNALED(wstatus) && output == kOld)) << "no temporary file was removed";
        if (WIFSIGNALED(wstatus)) {
            EXPECT_EQ(WTERMSIG(wstatus), signalNumber);
            EXPECT_TRUE(output == kOld || output == bank);
            interrupted += output == kOld;
        } else {
            EXPECT_EQ(WEXITSTATUS(wstatus), 0);
            EXPECT_EQ(output, bank);
        }
        EXPECT_EQ(Listing(), inputAndOutput);
    }
    EXPECT_GE(interrupted, 3) << "too few runs were interrupted to say anything";
}

INSTANTIATE_TEST_SUITE_P(Signals, KbnconvSignal, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& tested) { return "Signal" + std::to_string(tested.param); });

// The third positioned read of the input fails once with an I/O error
// (injected by strace), the next one works: the header is read in order,
// the samples at their positions, so the failure comes in the middle of
// them. One thread, so that one read fails.
struct ReadFailureCase {
    const char* name;
    bool terminal;
    std::string reply;
    int status;
};

class KbnconvReadFailure : public KbnconvFault, public testing::WithParamInterface<ReadFailureCase> {};

TEST_P(KbnconvReadFailure, IsRetriedOrReported) {
    ASSERT_TRUE(std::filesystem::exists(kStrace)) << "install Debian's strace package (scripts/install-deps.sh)";
    const ReadFailureCase& c = GetParam();
    const Bytes wav = NoiseWav(200000, 2);
    test::WriteFileBytes(dir_ / "in.wav", wav);
    test::WriteFileBytes(dir_ / "out.kbn", kOld);
    const std::vector<std::string> argv = {kStrace,
                                           "-f",
                                           "-qq",
                                           "-o",
                                           "/dev/null",
                                           "-P",
                                           dir_ / "in.wav",
                                           "-e",
                                           "trace=read,pread64",
                                           "-e",
                                           "inject=pread64:error=EIO:when=3",
                                           test::KbnconvPath(),
                                           "-j1",
                                           "in.wav",
                                           "out.kbn"};
    const std::string environment = AsanOptionsWithoutLeakCheck();
    if (c.terminal) {
        test::TerminalOptions options;
        options.workingDirectory = dir_.Path().string();
        options.environment = {environment};
        const test::TerminalResult result =
            test::RunInTerminal(argv, options, [&](pid_t, const std::string&) { return c.reply; });
        EXPECT_EQ(result.status, c.status) << result.transcript;
        EXPECT_EQ(result.questions, std::vector<std::string>{"File Error: Cannot read file. Input/output error"});
        if (c.status != 0) {
            EXPECT_TRUE(result.transcript.ends_with("\nin.wav: cannot read: Input/output error\n"))
                << result.transcript;
        }
    } else {
        test::ProgramOptions options;
        options.workingDirectory = dir_.Path().string();
        options.environment = {environment};
        const test::ProgramResult result = test::RunProgram(argv, options);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.err, "in.wav: cannot read: Input/output error\n");
    }
    EXPECT_EQ(Output(), c.status == 0 ? BankOfWav(wav) : kOld);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"in.wav", "out.kbn"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, KbnconvReadFailure,
                         testing::Values(ReadFailureCase{"WithoutATerminalCancelsAtOnce", false, "", 1},
                                         ReadFailureCase{"RetryReadsOn", true, "r\n", 0},
                                         ReadFailureCase{"Cancel", true, "c\n", 1}),
                         [](const testing::TestParamInfo<ReadFailureCase>& tested) {
                             return std::string(tested.param.name);
                         });

// No thread can be started (a limit of one process). That must not abort
// the program: the threads that did start encode, or the run ends with
// status 1 and one line with the system's reason. Either way it leaves the
// old output or the whole bank, and no temporary file.
TEST_F(KbnconvFault, WithoutThreadsEndsNormallyAndLeavesNothingBehind) {
    const Bytes sf2 = NoiseSoundFont({5000, 5000, 5000, 5000});
    test::WriteFileBytes(dir_ / "in.sf2", sf2);
    test::WriteFileBytes(dir_ / "out.kbn", kOld);
    chmod(dir_.Path().c_str(), 0777);
    chmod((dir_ / "in.sf2").c_str(), 0644);
    test::ProgramOptions options;
    options.workingDirectory = dir_.Path().string();
    options.unprivileged = true;  // the limit binds no root process
    options.processLimit = 1;
    options.environment = {AsanOptionsWithoutLeakCheck()};  // the leak check needs a thread
    const test::ProgramResult result = test::RunProgram({test::KbnconvPath(), "-j", "4", "in.sf2", "out.kbn"}, options);

    EXPECT_EQ(result.signal, 0) << result.err;
    if (result.status == 0) {
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(Output(), BankOfSoundFont(sf2));
    } else {
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(result.err.ends_with(": Resource temporarily unavailable\n")) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(Output(), kOld);
    }
    EXPECT_EQ(Listing(), (std::vector<std::string>{"in.sf2", "out.kbn"}));
}

// Outputs that cannot be written: status 1, the path and the system's
// reason, nothing changed in the directory.
struct OutputPlaceCase {
    const char* name;
    const char* output;
    void (*prepare)(const test::TempDir& dir);
    std::string err;
};

class KbnconvOutputPlace : public KbnconvFault, public testing::WithParamInterface<OutputPlaceCase> {};

TEST_P(KbnconvOutputPlace, IsRefusedWithTheReason) {
    const OutputPlaceCase& c = GetParam();
    const Bytes wav = NoiseWav(3000, 1);
    test::WriteFileBytes(dir_ / "in.wav", wav);
    c.prepare(dir_);
    const auto before = Listing();
    test::ProgramOptions options;
    options.workingDirectory = dir_.Path().string();
    options.unprivileged = true;
    const test::ProgramResult result = test::RunProgram({test::KbnconvPath(), "in.wav", c.output}, options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "in.wav"), wav);
    const std::filesystem::path locked = dir_.Path() / "locked";
    if (std::filesystem::exists(locked)) {
        std::filesystem::permissions(locked, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked), {}), 1);
        EXPECT_EQ(test::ReadFileBytes(dir_ / "locked/out.kbn"), kOld);
    }
}

// The run may be unprivileged: the test directory must let it in.
void OpenToEveryone(const test::TempDir& dir) {
    chmod(dir.Path().c_str(), 0755);
    chmod((dir / "in.wav").c_str(), 0644);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KbnconvOutputPlace,
    testing::Values(OutputPlaceCase{"DirectoryNotWritable", "locked/out.kbn",
                                    [](const test::TempDir& dir) {
                                        OpenToEveryone(dir);
                                        std::filesystem::create_directory(dir.Path() / "locked");
                                        test::WriteFileBytes(dir / "locked/out.kbn", kOld);
                                        chmod((dir / "locked").c_str(), 0555);
                                    },
                                    "locked/out.kbn: cannot create a temporary file beside it: Permission denied\n"},
                    OutputPlaceCase{"OutputIsADirectory", "out.kbn",
                                    [](const test::TempDir& dir) {
                                        OpenToEveryone(dir);
                                        std::filesystem::create_directory(dir.Path() / "out.kbn");
                                        chmod((dir / "out.kbn").c_str(), 0777);
                                        chmod(dir.Path().c_str(), 0777);
                                    },
                                    "out.kbn: cannot replace: Is a directory\n"},
                    OutputPlaceCase{"ParentIsAFile", "in.wav/out.kbn",
                                    [](const test::TempDir& dir) { OpenToEveryone(dir); },
                                    "in.wav/out.kbn: cannot create a temporary file beside it: Not a directory\n"},
                    OutputPlaceCase{"DirectoryMissing", "nowhere/out.kbn",
                                    [](const test::TempDir& dir) { OpenToEveryone(dir); },
                                    "nowhere/out.kbn: cannot create a temporary file beside it: No such file or "
                                    "directory\n"}),
    [](const testing::TestParamInfo<OutputPlaceCase>& tested) { return std::string(tested.param.name); });

// Not a fault, but traced the same way: the system is asked to start
// writing back early only when the bank replaces a file, whose rename makes
// ext4 write the new one out at once; a new bank does without the requests.
TEST_F(KbnconvFault, WriteBackIsStartedEarlyOnlyWhenAFileIsReplaced) {
    ASSERT_TRUE(std::filesystem::exists(kStrace)) << "install Debian's strace package (scripts/install-deps.sh)";
    test::WriteFileBytes(dir_ / "in.wav", NoiseWav(3000000, 1));  // a bank of several write-back steps
    const auto requests = [&] {
        const std::string log = dir_ / "trace.log";
        test::ProgramOptions options;
        options.workingDirectory = dir_.Path().string();
        options.environment = {AsanOptionsWithoutLeakCheck()};
        const test::ProgramResult result = test::RunProgram(
            {kStrace, "-f", "-qq", "-o", log, "-e", "trace=sync_file_range", test::KbnconvPath(), "in.wav", "out.kbn"},
            options);
        EXPECT_EQ(result.status, 0) << result.err;
        const Bytes trace = test::ReadFileBytes(log);
        std::filesystem::remove(log);
        std::size_t count = 0;
        const std::string text(trace.begin(), trace.end());
        for (std::size_t at = text.find("sync_file_range("); at != std::string::npos;
             at = text.find("sync_file_range(", at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(requests(), 0u) << "a new bank";
    EXPECT_GT(requests(), 0u) << "a bank over the one before";
}

}  // namespace
}  // namespace kbn
