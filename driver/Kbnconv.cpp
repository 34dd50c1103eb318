#include "driver/Kbnconv.h"

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>

#include "bank/BankWriter.h"
#include "cli/Extension.h"
#include "cli/Failure.h"
#include "driver/Options.h"
#include "import/SoundFontConverter.h"
#include "import/WavImporter.h"
#include "platform/Threads.h"
#include "stream/AtomicOutputFile.h"
#include "stream/Error.h"
#include "stream/RvFile.h"
#include "verify/BankVerifier.h"

#ifndef KBN_VERSION
#define KBN_VERSION "unknown"
#endif

namespace kbn {
namespace {

constexpr const char* kUsage = "Usage: kbnconv <in.sf2/wav> <out.kbn>\n";

constexpr const char* kHelp =
    "Usage: kbnconv [options] <in.sf2/sf3/wav> <out.kbn>\n"
    "Converts a SoundFont (SF2, or SF3 with Ogg Vorbis samples) or a 16-bit PCM\n"
    "WAV file into a KBN bank. The bank replaces <out.kbn> only once it is\n"
    "complete.\n"
    "\n"
    "Options:\n"
    "      --verify   read the bank back before it replaces the output: decode every\n"
    "                 sample and compare it, and the structure, with the source\n"
    "  -j, --jobs N   encode, and verify, with N threads (default: one per core\n"
    "                 it may run on); the bank is the same for any N\n"
    "  -v, --verbose  print a summary line on standard error\n"
    "  -q, --quiet    print nothing but errors: no warnings\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "      --         end of options\n"
    "\n"
    "Exit status: 0 success, 1 conversion failed, 255 usage error.\n";

enum class SourceKind { SoundFont, Wav };

struct ConversionSummary {
    ConvertedBank converted;
    uint64_t bankBytes = 0;
};

// What the source holds that the bank cannot keep, said once.
void Warn(std::ostream& err, const std::string& inPath, const ConvertedBank& converted) {
    if (converted.sourceBitsPerSample > 16) {
        err << inPath << ": warning: the bank keeps 16 bits per sample; the low 8 bits of the 24-bit data "
            << "('sm24' chunk) are dropped\n";
    }
}

// Reads the finished temporary bank back and checks it against the source.
void VerifyWritten(const std::string& tempPath, const std::string& outPath, const ConvertedBank& converted,
                   unsigned threads) {
    CRvFile written;
    written.Open(tempPath.c_str(), CRvFile::kAccessRead, 0);
    written.SetName(outPath);
    try {
        VerifyBank(written, converted, threads);
    } catch (const CRvFile::Error&) {
        throw;  // a failed read names its file
    } catch (const CError& e) {
        throw CError("verification failed: " + e.Problem(), outPath);
    }
    written.Close();
}

// Converts `inPath` into `outPath`; the bank appears at `outPath` only once
// it is complete (and verified, when asked). Warnings go to `warnings`,
// when given. Throws on any failure.
ConversionSummary Convert(SourceKind kind, const std::string& inPath, const std::string& outPath, bool verify,
                          unsigned threads, std::ostream* warnings) {
    CRvFile input;
    input.Open(inPath.c_str(), CRvFile::kAccessRead, 0);
    ConversionSummary summary;
    CAtomicOutputFile output(outPath, inPath);
    summary.converted = kind == SourceKind::SoundFont ? ImportSoundFont(input) : ImportWav(input);
    if (warnings != nullptr) Warn(*warnings, inPath, summary.converted);
    WriteBank(output.Stream(), summary.converted.contents, threads);
    summary.bankBytes = output.BytesWritten();
    output.Close();
    if (verify) VerifyWritten(output.TempPath(), outPath, summary.converted, threads);
    output.Commit();
    input.Close();
    return summary;
}

void PrintSummary(std::ostream& err, const std::string& inPath, const std::string& outPath,
                  const ConversionSummary& summary, bool verified, double seconds) {
    const Bank& bank = summary.converted.contents.bank;
    const uint64_t in = summary.converted.PcmBytes();
    char ratio[32] = "-";
    if (in != 0) {
        std::snprintf(ratio, sizeof ratio, "%.1f%%",
                      100.0 * static_cast<double>(summary.bankBytes) / static_cast<double>(in));
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.2f", seconds);
    err << inPath << " -> " << outPath << ": " << bank.samples.size() << " samples, " << bank.instruments.size()
        << " instruments, " << bank.presets.size() << " presets, " << in << " PCM bytes in, "
        << summary.bankBytes << " bank bytes out (" << ratio << "), " << time << " s"
        << (verified ? ", verified" : "");
    if (summary.converted.sourceBitsPerSample > 16) {
        err << ", 16 of " << summary.converted.sourceBitsPerSample << " bits";
    }
    err << "\n";
}

}  // namespace

int RunKbnconv(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    std::string optionError;
    const std::optional<KbnconvOptions> options = ParseKbnconvOptions(argc, argv, optionError);
    if (!options) {
        err << "kbnconv: " << optionError << " (kbnconv --help lists the options)\n";
        return kStatusUsage;
    }
    if (options->help) {
        out << kHelp;
        return kStatusSuccess;
    }
    if (options->version) {
        out << "kbnconv " << KBN_VERSION << "\n";
        return kStatusSuccess;
    }
    if (options->paths.size() < 2) {
        out << kUsage;
        return kStatusUsage;
    }
    const std::string& inPath = options->paths[0];
    const std::string& outPath = options->paths[1];
    const std::string inExtension = GetExtension(inPath);
    if (GetExtension(outPath) != "kbn") {
        out << "Error: output file extension must be kbn\n";
        return kStatusUsage;
    }
    SourceKind kind;
    if (inExtension == "sf2" || inExtension == "sf3") {
        kind = SourceKind::SoundFont;
    } else if (inExtension == "wav") {
        kind = SourceKind::Wav;
    } else {
        err << inPath << ": input file extension must be sf2, sf3 or wav\n";
        return kStatusUsage;
    }

    if (options->verbosity == Verbosity::Verbose && options->paths.size() > 2) {
        err << "kbnconv: note: extra arguments ignored:";
        for (std::size_t i = 2; i < options->paths.size(); ++i) err << " " << options->paths[i];
        err << "\n";
    }

    const auto start = std::chrono::steady_clock::now();
    return RunReportingFailures(err, inPath, [&] {
        const unsigned threads = options->threads != 0 ? options->threads : DefaultThreadCount();
        std::ostream* warnings = options->verbosity == Verbosity::Quiet ? nullptr : &err;
        const ConversionSummary summary = Convert(kind, inPath, outPath, options->verify, threads, warnings);
        if (options->verbosity == Verbosity::Verbose) {
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            PrintSummary(err, inPath, outPath, summary, options->verify, elapsed.count());
        }
        return kStatusSuccess;
    });
}

}  // namespace kbn
