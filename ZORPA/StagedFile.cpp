#include "StagedFile.h"

#include "DecimalText.h"

namespace zorpa {

StagedFile::StagedFile(Platform& platform, const std::wstring& source, const std::wstring& target)
    : platform_(platform), target_(target), temporary_(TemporaryOf(target)) {
    // A leftover may be large: out of the way before the copy needs the space.
    platform_.DeleteFileIfPresent(temporary_);
    bytes_ = CopyWhole(platform_, source, temporary_);
}

StagedFile::~StagedFile() {
    if (!inPlace_) DeleteLeftover(platform_, target_);
}

void StagedFile::PutInPlace(std::uint32_t& waitLeftMs) {
    RenameOver(platform_, temporary_, target_, waitLeftMs);
    inPlace_ = true;
}

std::uint64_t StagedFile::CopyWhole(Platform& platform, const std::wstring& source,
                                    const std::wstring& copy) {
    const CopiedFile copied = platform.CopyToTemporary(source, copy);
    // A file that the server shortened or extended while it was read is not the new version.
    if (copied.bytesWritten != copied.sourceBytes) {
        DeleteQuietly(platform, copy);
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           L"Cannot copy \"" + source + L"\" to \"" + copy + L"\": " +
                               DecimalText(copied.bytesWritten) + L" bytes copied of " +
                               DecimalText(copied.sourceBytes));
    }
    return copied.bytesWritten;
}

void StagedFile::RenameOver(Platform& platform, const std::wstring& from, const std::wstring& to,
                            std::uint32_t& waitLeftMs) {
    for (;;) {
        try {
            platform.MoveFileOver(from, to);
            return;
        } catch (const RuntimeError& error) {
            // Windows may still be closing the ended program's file; anything else will not
            // go away by waiting.
            if (error.number() != ErrorNumber::PermissionDenied || waitLeftMs < RetryPauseMs) throw;
        }
        platform.Sleep(RetryPauseMs);
        waitLeftMs -= RetryPauseMs;
    }
}

void StagedFile::DeleteLeftover(Platform& platform, const std::wstring& target) {
    DeleteQuietly(platform, TemporaryOf(target));
}

void DeleteQuietly(Platform& platform, const std::wstring& path) {
    try {
        platform.DeleteFileIfPresent(path);
    } catch (const RuntimeError&) {
    }
}

}  // namespace zorpa
