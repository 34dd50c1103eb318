#pragma once

#include <string>

#include "stream/RvFile.h"

namespace kbn {

// An output that appears at its path complete or not at all. The bytes go to
// a temporary file beside the target; Commit closes it and renames it over
// the target. Until then an interrupt signal, an exception or destruction
// removes the temporary file, and whatever was at the target stays as it was.
// A target that is a symbolic link is written where it points, the link left
// in place; a file replaced leaves its permission bits to the new one.
class CAtomicOutputFile {
public:
    // Refuses (CError) a target that is the file at `inputPath`,
    // under any name: a link, another spelling of the path.
    explicit CAtomicOutputFile(std::string targetPath, const std::string& inputPath = {});
    CAtomicOutputFile(const CAtomicOutputFile&) = delete;
    CAtomicOutputFile& operator=(const CAtomicOutputFile&) = delete;
    ~CAtomicOutputFile();

    CStreamOut& Stream() { return file_; }
    // The bytes written so far (before Close).
    uint64_t BytesWritten() { return file_.Tell(); }
    const std::string& TempPath() const { return tempPath_; }
    // Writes what is buffered and closes the temporary file, which can then be
    // read back from TempPath() before Commit. Throws CError, having
    // removed the temporary file.
    void Close();
    // Closes (if not yet closed) and renames the temporary file over the
    // target. Throws CError; on failure the target is untouched.
    void Commit();

private:
    void Discard() noexcept;

    std::string targetPath_;  // as given, for messages
    std::string writtenPath_;  // where the file goes: a link's target
    std::string tempPath_;
    CRvFile file_;
    bool done_ = false;
};

}  // namespace kbn
