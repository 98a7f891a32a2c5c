#include "StagedFile.h"

namespace zorpa {

StagedFile::StagedFile(Platform& platform, const std::wstring& source, const std::wstring& target)
    : platform_(platform), target_(target), temporary_(TemporaryOf(target)) {
    // A leftover may be large: out of the way before the copy needs the space.
    platform_.DeleteFileIfPresent(temporary_);
    bytes_ = platform_.CopyToTemporary(source, temporary_);
}

StagedFile::~StagedFile() {
    if (!inPlace_) DeleteLeftover(platform_, target_);
}

void StagedFile::PutInPlace(std::uint32_t& waitLeftMs) {
    for (;;) {
        try {
            platform_.MoveFileOver(temporary_, target_);
            inPlace_ = true;
            return;
        } catch (const RuntimeError& error) {
            // Windows may still be closing the ended program's file; anything else will not
            // go away by waiting.
            if (error.number() != ErrorNumber::PermissionDenied || waitLeftMs < RetryPauseMs) throw;
        }
        platform_.Sleep(RetryPauseMs);
        waitLeftMs -= RetryPauseMs;
    }
}

void StagedFile::DeleteLeftover(Platform& platform, const std::wstring& target) {
    try {
        platform.DeleteFileIfPresent(TemporaryOf(target));
    } catch (const RuntimeError&) {
    }
}

}  // namespace zorpa
