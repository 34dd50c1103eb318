#include "driver/Kbnconv.h"

#include <new>
#include <ostream>
#include <string>

#include "driver/Extension.h"
#include "import/SoundFontConverter.h"
#include "import/SourceError.h"
#include "import/WavImporter.h"
#include "stream/AtomicOutputFile.h"
#include "stream/Platform.h"
#include "stream/RvFile.h"

namespace kbn {
namespace {

enum class SourceKind { SoundFont, Wav };

// Converts `inPath` into `outPath`; the bank appears at `outPath` only once
// it is complete. Throws on any failure.
void Convert(SourceKind kind, const std::string& inPath, const std::string& outPath) {
    CRvFile input;
    input.Open(inPath.c_str(), CRvFile::kAccessRead, 0);
    if (platform::IsSameFile(inPath, outPath)) {
        throw CRvFile::Error(outPath + ": is the input file itself; not writing over it");
    }
    CAtomicOutputFile output(outPath);
    if (kind == SourceKind::SoundFont) {
        ConvertSoundFont(input, output.Stream());
    } else {
        ConvertWav(input, output.Stream());
    }
    output.Commit();
    input.Close();
}

}  // namespace

int RunKbnconv(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    if (argc < 3) {
        out << "Usage: kbnconv <in.sf2/wav> <out.kbn>\n";
        return kExitUsage;
    }
    const std::string inPath = argv[1];
    const std::string outPath = argv[2];
    const std::string inExtension = GetExtension(inPath);
    if (GetExtension(outPath) != "kbn") {
        out << "Error: output file extension must be kbn\n";
        return kExitUsage;
    }
    SourceKind kind;
    if (inExtension == "sf2") {
        kind = SourceKind::SoundFont;
    } else if (inExtension == "wav") {
        kind = SourceKind::Wav;
    } else {
        err << inPath << ": input file extension must be sf2 or wav\n";
        return kExitUsage;
    }

    try {
        Convert(kind, inPath, outPath);
        return kExitSuccess;
    } catch (const CSourceError& e) {
        err << inPath << ": " << e.what() << "\n";
    } catch (const CRvFile::Error& e) {
        err << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << inPath << ": out of memory\n";
    }
    return kExitConversionFailed;
}

}  // namespace kbn
