#include "UpdateTransaction.h"

#include <algorithm>

namespace zorpa {

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
    own_.emplace(parties_.platform, source, target);
    check(own_->copy.Content(), source, StagedFile::TemporaryOf(target));
}

bool UpdateTransaction::Commit(std::uint32_t waitLeftMs) {
    waitLeftMs_ = waitLeftMs;
    std::vector<SlotId> ended;
    try {
        for (WorkerUpdate& update : workers_) Install(update, ended);
        if (!own_) return false;
        own_->copy.PutInPlace(waitLeftMs_);
    } catch (const RuntimeError&) {
        for (SlotId id : ended) parties_.startHidden(id);
        throw;
    }
    parties_.log.OwnUpdateStaged(own_->source, own_->target, own_->copy.Bytes());
    return true;
}

void UpdateTransaction::Install(WorkerUpdate& update, std::vector<SlotId>& ended) {
    const ProgramSlot& slot = parties_.slots[static_cast<std::size_t>(update.id)];
    const ProcessId pid = slot.Pid;
    const bool endedHere = EndForUpdate(update.id);
    if (endedHere) ended.push_back(update.id);
    update.copy.PutInPlace(waitLeftMs_);
    // A worker that had no file before has no version to go back to, and nothing on trial.
    if (update.previous->Kept()) {
        update.previous->Needed();
        parties_.versions.Installed(update.id);
    }
    parties_.replaceAttempts = 0;
    parties_.log.WorkerUpdated(update.id, pid, endedHere, update.source, update.copy.Bytes(),
                               update.versions);
}

// Ending a process is asynchronous: wait, within what the step may still wait, until the
// worker's instances have let go of its file.
bool UpdateTransaction::EndForUpdate(SlotId id) {
    Platform& platform = parties_.platform;
    const std::uint64_t start = platform.MonotonicMilliseconds();
    const bool ended = !parties_.callDlls
                            .EndInstancesOf(platform.ProgramFolder() + InfoOf(id).file,
                                            std::min(CallDlls::EndWaitMs, waitLeftMs_))
                            .empty();
    const std::uint64_t waited = platform.MonotonicMilliseconds() - start;
    waitLeftMs_ -= static_cast<std::uint32_t>(std::min<std::uint64_t>(waited, waitLeftMs_));
    return ended;
}

}  // namespace zorpa
