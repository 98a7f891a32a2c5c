#include "UpdateTransaction.h"

#include <algorithm>

#include "FileNames.h"
#include "Publisher.h"

namespace zorpa {

namespace {

// The last parts of both paths name the same file.
bool SameFileName(const std::wstring& a, const std::wstring& b) {
    return SameNameIgnoringCase(FileNameOf(a), FileNameOf(b));
}

}  // namespace

void UpdateTransaction::AddWorker(SlotId id, const std::wstring& source, const Check& check) {
    const std::wstring worker = parties_.platform.ProgramFolder() + InfoOf(id).file;
    WorkerUpdate& update = workers_.emplace_back(parties_.platform, id, source, worker);
    const std::vector<std::uint8_t> content = update.copy.Content();
    // Installed already, perhaps by a step that then failed on another worker.
    try {
        if (parties_.platform.ReadWholeFile(worker) == content) {
            workers_.pop_back();
            parties_.log.AlreadyInstalled(id, source);
            return;
        }
    } catch (const RuntimeError&) {
        // No worker file to compare with: the copy goes on.
    }
    update.versions = check(content, source, StagedFile::TemporaryOf(worker));
    update.previous.emplace(parties_.platform, worker);
}

void UpdateTransaction::AddOwnUpdate(const std::wstring& source, const std::wstring& target,
                                     const Check& check) {
    Platform& platform = parties_.platform;
    own_.emplace(platform, source, target);
    const std::vector<std::uint8_t> content = own_->copy.Content();
    // The site started this version already: staging it again would only end the supervisor.
    try {
        if (platform.ReadWholeFile(platform.ProgramPath()) == content) {
            own_.reset();
            parties_.log.OwnAlreadyRunning(source);
            return;
        }
    } catch (const RuntimeError&) {
        // Its own file cannot be read: the copy is checked as any other.
    }
    // Windows holds the file a program runs from: refused now, before any worker is ended.
    if (SameFileName(target, platform.ProgramPath()))
        throw RuntimeError(ErrorNumber::PermissionDenied,
                           L"Cannot stage " + source + L" as " + target +
                               L": this supervisor runs from that file");
    check(content, source, StagedFile::TemporaryOf(target));
}

bool UpdateTransaction::Commit(std::uint32_t waitLeftMs) {
    waitLeftMs_ = waitLeftMs;
    std::vector<SlotId> ended;
    try {
        for (WorkerUpdate& update : workers_) Install(update, ended);
        if (own_) own_->copy.PutInPlace(waitLeftMs_);
    } catch (const RuntimeError&) {
        for (SlotId id : ended) parties_.startHidden(id);
        throw;
    }
    // Only a step that went in whole starts the count of failed attempts again: one that
    // installed a worker and then failed on another would otherwise never reach the threshold.
    if (!workers_.empty()) parties_.replaceAttempts = 0;
    if (!own_) return false;
    parties_.log.OwnUpdateStaged(own_->source, own_->target, own_->copy.Bytes());
    return true;
}

void UpdateTransaction::Install(WorkerUpdate& update, std::vector<SlotId>& ended) {
    const ProcessId pid = parties_.slots[static_cast<std::size_t>(update.id)].Pid;
    const std::vector<ProcessId> endedHere = EndForUpdate(update.id);
    if (!endedHere.empty()) ended.push_back(update.id);
    update.copy.PutInPlace(waitLeftMs_);
    // A worker that had no file before has no version to go back to, and nothing on trial.
    if (update.previous->Kept()) {
        update.previous->Needed();
        parties_.versions.Installed(update.id);
    }
    parties_.log.WorkerUpdated(update.id, pid, endedHere, update.source, update.copy.Bytes(),
                               update.versions);
}

// Ending a process is asynchronous: wait, within what the step may still wait, until the
// worker's instances have let go of its file.
std::vector<ProcessId> UpdateTransaction::EndForUpdate(SlotId id) {
    Platform& platform = parties_.platform;
    const std::uint64_t start = platform.MonotonicMilliseconds();
    const std::vector<ProcessId> ended = parties_.callDlls.EndInstancesOf(
        platform.ProgramFolder() + InfoOf(id).file, std::min(CallDlls::EndWaitMs, waitLeftMs_));
    const std::uint64_t waited = platform.MonotonicMilliseconds() - start;
    waitLeftMs_ -= static_cast<std::uint32_t>(std::min<std::uint64_t>(waited, waitLeftMs_));
    return ended;
}

}  // namespace zorpa
