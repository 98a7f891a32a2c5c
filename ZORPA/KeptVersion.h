#pragma once

#include <string>

#include "Platform.h"

namespace zorpa {

// A worker's current file, kept whole beside it under a fixed name (TULVAN.EXE.old) while a new
// version is on trial, so that the trial can always be undone.
class KeptVersion {
public:
    // Keeps a copy of `worker` unless a version is kept already, whatever the worker file's
    // attributes. The copy is written under a temporary name, flushed and then renamed, so that
    // a crash or power cut leaves a whole kept file or none. A worker file that is not there
    // leaves nothing to keep. Throws RuntimeError when the copy fails.
    KeptVersion(Platform& platform, const std::wstring& worker);
    // Unless the new version took the worker's place, a copy made here is deleted again.
    ~KeptVersion();
    KeptVersion(const KeptVersion&) = delete;
    KeptVersion& operator=(const KeptVersion&) = delete;

    // True when a previous version lies beside the worker now, made here or before.
    bool Kept() const { return kept_; }
    // The new version took the worker's place: what is kept stays.
    void Needed() { needed_ = true; }

    // The fixed name under which the previous version of `worker` is kept.
    static std::wstring KeptOf(const std::wstring& worker) { return worker + Suffix; }
    static constexpr const wchar_t* Suffix = L".old";

private:
    Platform& platform_;
    std::wstring path_;
    bool kept_ = false;
    bool madeHere_ = false;
    bool needed_ = false;
};

}  // namespace zorpa
