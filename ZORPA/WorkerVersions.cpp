#include "WorkerVersions.h"

#include "StagedFile.h"

namespace zorpa {

void WorkerVersions::Load() {
    for (SlotId id : ReplaceOrder) {
        const std::wstring kept = KeptOf(WorkerPath(id));
        try {
            TrialOf(id) = Trial{platform_.FileExists(kept), false, {}};
        } catch (const RuntimeError&) {
            // A folder that cannot be listed will not start the worker either: nothing to try.
            continue;
        }
        if (Unconfirmed(id)) log_.VersionOnTrial(id, kept);
    }
}

void WorkerVersions::Installed(SlotId id) { TrialOf(id) = Trial{true, false, {}}; }

void WorkerVersions::Started(SlotId id) {
    if (Unconfirmed(id)) TrialOf(id).runningNew = true;
}

void WorkerVersions::Answered(SlotId id) {
    Trial& t = TrialOf(id);
    if (!t.unconfirmed || !t.runningNew) return;
    const std::wstring kept = KeptOf(WorkerPath(id));
    try {
        platform_.DeleteFileIfPresent(kept);
    } catch (const RuntimeError&) {
        // Still kept, so still on trial: the next answer tries again.
        return;
    }
    t = Trial{};
    log_.VersionConfirmed(id, slots_[Index(id)].Pid, kept);
}

bool WorkerVersions::GivesUpOn(SlotId id) {
    Trial& t = TrialOf(id);
    if (!t.unconfirmed || !t.runningNew) return false;
    t.failed.push_back(slots_[Index(id)].Pid);
    t.runningNew = false;
    return t.failed.size() >= FailedInstancesToRollBack;
}

bool WorkerVersions::RollBackUnstartable(SlotId id, std::uint32_t windowsError) {
    if (!Unconfirmed(id)) return false;
    log_.WorkerNotStarted(id, WorkerPath(id), windowsError, true);
    return PutBack(id);
}

void WorkerVersions::RollBackFailing(SlotId id) {
    // An instance without a window was left running by the hang watch; it holds the file.
    callDlls_.EndInstance(slots_[Index(id)].Pid, CallDlls::EndWaitMs);
    log_.NewVersionFailing(id, TrialOf(id).failed);
    PutBack(id);
}

bool WorkerVersions::PutBack(SlotId id) {
    const std::wstring worker = WorkerPath(id);
    std::uint32_t waitLeftMs = RollBackWaitMs;
    try {
        StagedFile::RenameOver(platform_, KeptOf(worker), worker, waitLeftMs);
    } catch (const RuntimeError& error) {
        // Still kept: the next failure of the new version tries again.
        log_.RollBackFailed(id, error);
        return false;
    }
    TrialOf(id) = Trial{};
    log_.RolledBack(id, worker);
    return true;
}

}  // namespace zorpa
