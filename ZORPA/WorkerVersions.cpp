#include "WorkerVersions.h"

#include <algorithm>

#include "ProgramImage.h"
#include "StagedFile.h"

namespace zorpa {

void WorkerVersions::Load() {
    for (SlotId id : ReplaceOrder) {
        const std::wstring kept = KeptVersion::KeptOf(WorkerPath(id));
        try {
            TrialOf(id) = Trial{};
            TrialOf(id).unconfirmed = platform_.FileExists(kept);
        } catch (const RuntimeError&) {
            // A folder that cannot be listed will not start the worker either: nothing to try.
            continue;
        }
        if (Unconfirmed(id) && KeptIsUsable(id)) log_.VersionOnTrial(id, kept);
    }
}

void WorkerVersions::Installed(SlotId id) {
    TrialOf(id) = Trial{};
    TrialOf(id).unconfirmed = true;
}

void WorkerVersions::Started(SlotId id) {
    Trial& t = TrialOf(id);
    t.putBack = false;
    if (!t.unconfirmed) return;
    t.runningNew = true;
    t.answeredCycles = 0;
}

void WorkerVersions::Answered(SlotId id) {
    Trial& t = TrialOf(id);
    if (!t.unconfirmed || !t.runningNew) return;
    const std::uint64_t now = platform_.MonotonicMilliseconds();
    if (t.answeredCycles++ == 0) t.firstAnswerMs = now;
    if (t.answeredCycles < AnsweredCyclesToConfirm || now - t.firstAnswerMs < ConfirmAfterMs)
        return;
    const std::wstring kept = KeptVersion::KeptOf(WorkerPath(id));
    try {
        platform_.DeleteFileIfPresent(kept);
    } catch (const RuntimeError&) {
        // Still kept, so still on trial: the next answer tries again.
        return;
    }
    log_.VersionConfirmed(id, slots_[Index(id)].Pid, t.answeredCycles, now - t.firstAnswerMs, kept);
    t = Trial{};
}

bool WorkerVersions::GivesUpOn(SlotId id) {
    Trial& t = TrialOf(id);
    if (!t.unconfirmed || !t.runningNew) return false;
    t.failed.push_back(slots_[Index(id)].Pid);
    // A rollback that could not be done is tried again at the next failure, which the record
    // names with the two before it.
    if (t.failed.size() > FailedInstancesToRollBack) t.failed.erase(t.failed.begin());
    t.runningNew = false;
    return t.failed.size() >= FailedInstancesToRollBack;
}

bool WorkerVersions::RollBackUnstartable(SlotId id, std::uint32_t windowsError) {
    if (!Unconfirmed(id)) return false;
    log_.WorkerNotStarted(id, WorkerPath(id), windowsError, true);
    return KeptIsUsable(id) && PutBack(id);
}

bool WorkerVersions::RollBackFailing(SlotId id) {
    // Instances without a found window were left running by the hang watch; each holds the file.
    const std::vector<ProcessId> ended =
        callDlls_.EndInstancesOf(WorkerPath(id), CallDlls::EndWaitMs);
    log_.NewVersionFailing(id, TrialOf(id).failed);
    if (KeptIsUsable(id)) PutBack(id);
    return std::find(ended.begin(), ended.end(), slots_[Index(id)].Pid) != ended.end();
}

bool WorkerVersions::KeptIsUsable(SlotId id) {
    const std::wstring worker = WorkerPath(id);
    const std::wstring kept = KeptVersion::KeptOf(worker);
    std::vector<std::uint8_t> bytes;
    try {
        bytes = platform_.ReadWholeFile(kept);
    } catch (const RuntimeError&) {
        // Not readable now: it stays, and the rename back tells whether it can go back.
        return true;
    }
    std::wstring why;
    const bool windows64 = platform_.Is64BitWindows();
    if (const auto damage = WhyNotRunnable(bytes.data(), bytes.size(), windows64)) {
        why = L"it is not a program this terminal can run: " + *damage;
    } else {
        try {
            if (platform_.ReadWholeFile(worker) != bytes) return true;
        } catch (const RuntimeError&) {
            return true;
        }
        why = L"it is the same file as " + worker + L", so no new version is on trial";
    }
    DeleteQuietly(platform_, kept);
    TrialOf(id) = Trial{};
    log_.KeptVersionDropped(id, kept, why);
    return false;
}

bool WorkerVersions::PutBack(SlotId id) {
    const std::wstring worker = WorkerPath(id);
    std::uint32_t waitLeftMs = RollBackWaitMs;
    try {
        StagedFile::RenameOver(platform_, KeptVersion::KeptOf(worker), worker, waitLeftMs);
    } catch (const RuntimeError& error) {
        // Still kept: the next failure of the new version tries again.
        log_.RollBackFailed(id, error);
        return false;
    }
    TrialOf(id) = Trial{};
    TrialOf(id).putBack = true;
    log_.RolledBack(id, worker);
    return true;
}

}  // namespace zorpa
