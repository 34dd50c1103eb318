#include "stream/AtomicOutputFile.h"

#include <utility>

#include "stream/Platform.h"

namespace kbn {

CAtomicOutputFile::CAtomicOutputFile(std::string targetPath) : targetPath_(std::move(targetPath)) {
    tempPath_ = platform::CreateSiblingTempFile(targetPath_);
    if (tempPath_.empty()) {
        throw CRvFile::Error(targetPath_ + ": cannot create a temporary file beside it: " +
                             platform::ErrorText(platform::LastError()));
    }
    try {
        file_.Open(tempPath_.c_str(), CRvFile::kAccessWrite, platform::TemporaryFileShare());
        file_.SetName(targetPath_);
        file_.SetEarlyWriteBack(platform::PathExists(targetPath_));
        file_.SetKeptInMemory(kKeptInMemory);
    } catch (...) {
        Discard();
        throw;
    }
}

CAtomicOutputFile::~CAtomicOutputFile() {
    if (!done_) Discard();
}

void CAtomicOutputFile::Close() {
    try {
        file_.Close();
    } catch (...) {
        Discard();
        throw;
    }
}

void CAtomicOutputFile::Commit() {
    Close();
    if (!platform::RenameOver(tempPath_, targetPath_)) {
        const int code = platform::LastError();
        Discard();
        throw CRvFile::Error(targetPath_ + ": cannot replace: " + platform::ErrorText(code));
    }
    platform::DisarmInterruptCleanup();
    done_ = true;
}

void CAtomicOutputFile::Discard() noexcept {
    done_ = true;
    file_.Release();
    platform::RemoveFile(tempPath_);
    platform::DisarmInterruptCleanup();
}

}  // namespace kbn
