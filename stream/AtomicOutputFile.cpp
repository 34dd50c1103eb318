#include "stream/AtomicOutputFile.h"

#include <utility>

#include "platform/Platform.h"

namespace kbn {

CAtomicOutputFile::CAtomicOutputFile(std::string targetPath, const std::string& inputPath)
    : targetPath_(std::move(targetPath)) {
    if (!inputPath.empty() && platform::IsSameFile(inputPath, targetPath_)) {
        throw CError("is the input file itself; not writing over it", targetPath_);
    }
    if (!platform::FollowLinks(targetPath_, writtenPath_)) {
        throw CError("cannot follow the symbolic link: " + platform::ErrorText(platform::LastError()), targetPath_);
    }
    tempPath_ = platform::CreateSiblingTempFile(writtenPath_);
    if (tempPath_.empty()) {
        throw CError("cannot create a temporary file beside it: " + platform::ErrorText(platform::LastError()),
                     targetPath_);
    }
    try {
        file_.Open(tempPath_.c_str(), CRvFile::kAccessWrite, platform::TemporaryFileShare());
        file_.SetName(targetPath_);
        // Once open for writing: permissions that forbid it take effect at the rename.
        platform::CopyPermissions(writtenPath_, tempPath_);
        file_.SetEarlyWriteBack(platform::PathExists(writtenPath_));
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
    if (!platform::RenameOver(tempPath_, writtenPath_)) {
        const int code = platform::LastError();
        Discard();
        throw CError("cannot replace: " + platform::ErrorText(code), targetPath_);
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
