#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform.h"

namespace zorpa {

// A new version of a file, copied beside it under a fixed temporary name and then renamed over
// it in one step, so that the folder always holds the whole old or the whole new file: a
// server that stops answering, a full disk or a power cut can never leave a fragment in its
// place. Whatever ends the update before the rename, the temporary file is deleted and the
// old file stays as it was.
class StagedFile {
public:
    // Deletes a leftover of an earlier attempt, then copies `source` to the temporary name
    // beside `target`; throws RuntimeError when either fails.
    StagedFile(Platform& platform, const std::wstring& source, const std::wstring& target);
    // Deletes the temporary file unless it was put in place.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    std::uint64_t Bytes() const { return bytes_; }
    // Where the copy waits for its rename.
    const std::wstring& TemporaryPath() const { return temporary_; }
    // The copy's bytes, as they would be put in place.
    std::vector<std::uint8_t> Content() const { return platform_.ReadWholeFile(temporary_); }

    // Renames the copy over the target, within `waitLeftMs` (see RenameOver). Throws
    // RuntimeError.
    void PutInPlace(std::uint32_t& waitLeftMs);

    // Copies `source` whole to `copy`, flushed; a source that grew or shrank while it was
    // read is refused, and `copy` is then deleted. Returns the bytes copied.
    static std::uint64_t CopyWhole(Platform& platform, const std::wstring& source,
                                   const std::wstring& copy);
    // Renames `from` over `to`. A target still held by a program that is ending (a sharing or
    // access error) is tried again after short pauses for as long as `waitLeftMs` lasts, and
    // the pauses are taken from it. Throws RuntimeError.
    static void RenameOver(Platform& platform, const std::wstring& from, const std::wstring& to,
                           std::uint32_t& waitLeftMs);

    // The fixed name under which the new version of `target` waits for its rename.
    static std::wstring TemporaryOf(const std::wstring& target) { return target + TemporarySuffix; }
    // Deletes what a crash or power cut between copy and rename left of an update of `target`.
    // Nothing is lost when that fails: the next attempt deletes it before it copies.
    static void DeleteLeftover(Platform& platform, const std::wstring& target);

    static constexpr const wchar_t* TemporarySuffix = L".new";
    static constexpr std::uint32_t RetryPauseMs = 100;

private:
    Platform& platform_;
    std::wstring target_;
    std::wstring temporary_;
    std::uint64_t bytes_ = 0;
    bool inPlace_ = false;
};

// Deletes the file of exactly this name if it is there. A failure is let pass: what stays is
// deleted by the next attempt, and nothing is lost meanwhile.
void DeleteQuietly(Platform& platform, const std::wstring& path);

}  // namespace zorpa
