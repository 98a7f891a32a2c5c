#include "KeptVersion.h"

#include "ErrorNumbers.h"
#include "StagedFile.h"

namespace zorpa {

KeptVersion::KeptVersion(Platform& platform, const std::wstring& worker)
    : platform_(platform), path_(KeptOf(worker)) {
    // A version kept already is the last one that came up, and stays.
    if (platform_.FileExists(path_)) {
        kept_ = true;
        return;
    }
    // Copied rather than looked for: a hidden or system worker file is not listed, and still
    // has to be kept.
    try {
        StagedFile copy(platform_, worker, path_);
        std::uint32_t noWait = 0;
        copy.PutInPlace(noWait);
    } catch (const RuntimeError& error) {
        if (IsMissingFile(error.windowsError())) return;
        throw;
    }
    kept_ = madeHere_ = true;
}

KeptVersion::~KeptVersion() {
    if (madeHere_ && !needed_) DeleteQuietly(platform_, path_);
}

}  // namespace zorpa
