// Faults injected into whole runs of the program: a full disk and a failing
// read answered at a terminal, signals at any moment, outputs that cannot be
// written. Whatever happens, the status and the message say so, the existing
// output is either untouched or the complete new bank, and no temporary file
// is left.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
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

// A full disk (a file-size limit) at a terminal: each question is answered
// in turn, lifting the limit first where the answer says so.
struct DiskAnswer {
    bool makeRoom;
    std::string reply;
};

struct FullDiskCase {
    const char* name;
    std::vector<DiskAnswer> answers;
    int status;
    bool replaced;  // the output is the new bank, else the old one
};

class KbnconvFullDiskAtATerminal : public KbnconvFault, public testing::WithParamInterface<FullDiskCase> {};

TEST_P(KbnconvFullDiskAtATerminal, AsksAndDoesWhatTheUserSays) {
    const FullDiskCase& c = GetParam();
    const Bytes wav = NoiseWav(200000, 1);
    test::WriteFileBytes(dir_ / "in.wav", wav);
    test::WriteFileBytes(dir_ / "out.kbn", kOld);
    test::TerminalOptions options;
    options.workingDirectory = dir_.Path().string();
    options.fileSizeSoftLimit = 100000;
    std::size_t asked = 0;
    const test::TerminalResult result =
        test::RunInTerminal({test::KbnconvPath(), "in.wav", "out.kbn"}, options, [&](pid_t pid, const std::string&) {
            const DiskAnswer& answer = c.answers.at(std::min(asked++, c.answers.size() - 1));
            if (answer.makeRoom) {
                const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
                EXPECT_EQ(prlimit(pid, RLIMIT_FSIZE, &unlimited, nullptr), 0);
            }
            return answer.reply;
        });
    EXPECT_EQ(result.status, c.status) << result.transcript;
    ASSERT_EQ(result.questions.size(), c.answers.size()) << result.transcript;
    for (const std::string& question : result.questions) {
        EXPECT_EQ(question, "File Error: Cannot write file. File too large");
    }
    if (c.status != 0) {
        EXPECT_TRUE(result.transcript.ends_with("\nout.kbn: cannot write: File too large\n")) << result.transcript;
    }
    EXPECT_EQ(Output(), c.replaced ? BankOfWav(wav) : kOld);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"in.wav", "out.kbn"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, KbnconvFullDiskAtATerminal,
                         testing::Values(FullDiskCase{"RetryOnceThereIsRoom", {{true, "r\n"}}, 0, true},
                                         FullDiskCase{
                                             "RetryTooEarlyAsksAgain", {{false, "r\n"}, {true, "R\n"}}, 0, true},
                                         FullDiskCase{"Cancel", {{false, "c\n"}}, 1, false},
                                         FullDiskCase{"AnyOtherAnswerCancels", {{true, "x\n"}}, 1, false}),
                         [](const testing::TestParamInfo<FullDiskCase>& tested) { return std::string(tested.param.name); });

// Ctrl-C, SIGTERM or a hang-up while the question waits for an answer.
class KbnconvSignalAtTheQuestion : public KbnconvFault, public testing::WithParamInterface<int> {};

TEST_P(KbnconvSignalAtTheQuestion, EndsTheRunAndLeavesTheOldOutput) {
    test::WriteFileBytes(dir_ / "in.wav", NoiseWav(200000, 1));
    test::WriteFileBytes(dir_ / "out.kbn", kOld);
    test::TerminalOptions options;
    options.workingDirectory = dir_.Path().string();
    options.fileSizeSoftLimit = 100000;
    const test::TerminalResult result = test::RunInTerminal(
        {test::KbnconvPath(), "in.wav", "out.kbn"}, options, [&](pid_t pid, const std::string&) {
            kill(pid, GetParam());
            return std::string();
        });
    EXPECT_EQ(result.signal, GetParam()) << result.transcript;
    EXPECT_EQ(result.questions.size(), 1u);
    EXPECT_EQ(Output(), kOld);
    EXPECT_EQ(Listing(), (std::vector<std::string>{"in.wav", "out.kbn"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, KbnconvSignalAtTheQuestion, testing::Values(SIGINT, SIGTERM, SIGHUP),
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

// A signal at any moment of a conversion with read-back: from before the
// program has started to after it has finished. Killed or not, the output
// is the old file or the complete new bank and no temporary file remains.
class KbnconvSignalAtAnyMoment : public KbnconvFault, public testing::WithParamInterface<int> {};

TEST_P(KbnconvSignalAtAnyMoment, LeavesTheOldOutputOrTheWholeBank) {
    test::TestSoundFont font;
    for (int i = 0; i < 6; ++i) {
        font.samples.push_back(
            {std::string(1, static_cast<char>('a' + i)), test::MakeSignal(test::Signal::Noise, 2'000'000, static_cast<uint32_t>(i))});
    }
    font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}}});
    font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
    test::WriteFileBytes(dir_ / "in.sf2", test::BuildSoundFont(font));

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
    for (const double fraction : {0.0, 0.02, 0.05, 0.1, 0.2, 0.3, 0.45, 0.6, 0.75, 0.9, 1.0, 1.2}) {
        SCOPED_TRACE("signal after " + std::to_string(fraction) + " of a run");
        test::WriteFileBytes(dir_ / "out.kbn", kOld);
        const pid_t pid = startRun();
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(whole * fraction));
        kill(pid, GetParam());
        waitpid(pid, &wstatus, 0);
        const Bytes output = Output();
        if (WIFSIGNALED(wstatus)) {
            EXPECT_EQ(WTERMSIG(wstatus), GetParam());
            EXPECT_TRUE(output == kOld || output == bank);
            interrupted += output == kOld;
        } else {
            EXPECT_EQ(WEXITSTATUS(wstatus), 0);
            EXPECT_EQ(output, bank);
        }
        EXPECT_EQ(Listing(), (std::vector<std::string>{"in.sf2", "out.kbn"}));
    }
    EXPECT_GE(interrupted, 3) << "too few runs were interrupted to say anything";
}

INSTANTIATE_TEST_SUITE_P(Signals, KbnconvSignalAtAnyMoment, testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const testing::TestParamInfo<int>& tested) { return "Signal" + std::to_string(tested.param); });

// No thread can be started (a limit of one process): whatever the run
// does, it leaves the old output or the whole bank, and no temporary file.
class KbnconvWithoutThreads : public KbnconvFault {
protected:
    void SetUp() override {
        test::TestSoundFont font;
        for (uint32_t i = 0; i < 4; ++i) {
            font.samples.push_back(
                {std::string(1, static_cast<char>('a' + i)), test::MakeSignal(test::Signal::Noise, 5000, i)});
        }
        font.instruments.push_back({"i", {test::TestSfZone{{{53, 0}}, {}}}});
        font.presets.push_back({"p", 0, 0, {test::TestSfZone{{{41, 0}}, {}}}});
        const Bytes sf2 = test::BuildSoundFont(font);
        test::WriteFileBytes(dir_ / "in.sf2", sf2);
        test::WriteFileBytes(dir_ / "out.kbn", kOld);
        chmod(dir_.Path().c_str(), 0777);
        chmod((dir_ / "in.sf2").c_str(), 0644);
        CMemoryStreamIn in(sf2);
        CMemoryStreamOut out;
        ConvertSoundFont(in, out);
        bank_ = out.Bytes();

        test::ProgramOptions options;
        options.workingDirectory = dir_.Path().string();
        options.unprivileged = true;  // the limit binds no root process
        options.processLimit = 1;
        options.environment = {AsanOptionsWithoutLeakCheck()};  // the leak check needs a thread
        result_ = test::RunProgram({test::KbnconvPath(), "-j", "4", "in.sf2", "out.kbn"}, options);
    }

    Bytes bank_;
    test::ProgramResult result_;
};

TEST_F(KbnconvWithoutThreads, LeavesNothingBehind) {
    EXPECT_EQ(Listing(), (std::vector<std::string>{"in.sf2", "out.kbn"}));
    if (result_.status == 0) {
        EXPECT_EQ(Output(), bank_);
    } else {
        EXPECT_EQ(Output(), kOld);
    }
}

// A thread that cannot start must not abort the program: the threads that
// did start encode, or the run ends with status 1 and one line with the
// system's reason.
TEST_F(KbnconvWithoutThreads, EndsNormally) {
    EXPECT_EQ(result_.signal, 0) << result_.err;
    if (result_.status == 0) {
        EXPECT_EQ(result_.err, "");
    } else {
        EXPECT_EQ(result_.status, 1);
        EXPECT_TRUE(result_.err.ends_with(": Resource temporarily unavailable\n")) << result_.err;
        EXPECT_EQ(std::count(result_.err.begin(), result_.err.end(), '\n'), 1) << result_.err;
    }
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
                                    "in.wav/out.kbn: cannot create a temporary file beside it: Not a directory\n"}),
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
