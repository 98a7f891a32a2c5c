#pragma once

#include <array>
#include <string>
#include <vector>

#include "CallDlls.h"
#include "Platform.h"
#include "Slots.h"
#include "SupervisorLog.h"

namespace zorpa {

// A worker's new version on trial. Its previous version stays beside it under a fixed name
// (TULVAN.EXE.old) until an instance of the new one has shown its window and answered a probe;
// so a kept file always means "not yet confirmed", also after a restart of the supervisor. A
// new version that cannot be started, or whose instances end or stop answering three times
// before one answers, is replaced by the kept one again: a bad version costs the terminal at
// most three restarts of the worker, never the worker itself.
class WorkerVersions {
public:
    WorkerVersions(Platform& platform, CallDlls& callDlls, SupervisorLog& log,
                   std::array<ProgramSlot, SlotCount>& slots)
        : platform_(platform), callDlls_(callDlls), log_(log), slots_(slots) {}

    // At start-up, before the workers start: which workers run a version not yet confirmed.
    void Load();
    // The worker's file was just replaced; its previous version is kept.
    void Installed(SlotId id);
    // An instance was started from the worker's file and its window looked up.
    void Started(SlotId id);
    // The worker's instance was ended by a command, which says nothing of its version.
    void EndedByCommand(SlotId id) { TrialOf(id).runningNew = false; }
    // The worker's window answered a probe: a new version has come up, and its kept
    // predecessor is deleted.
    void Answered(SlotId id);
    // The hang watch gives up on the worker's instance. True when that was the last instance
    // an unconfirmed version gets: the caller then rolls back instead of starting it again.
    bool GivesUpOn(SlotId id);
    // The worker's file could not be started (Windows' error `windowsError`): true when a kept
    // version was put back in its place, to be started instead.
    bool RollBackUnstartable(SlotId id, std::uint32_t windowsError);
    // Ends what is left of the worker's failing instances and puts the kept version back.
    void RollBackFailing(SlotId id);
    bool Unconfirmed(SlotId id) const { return trials_[Index(id)].unconfirmed; }

    // The fixed name under which the previous version of `worker` is kept.
    static std::wstring KeptOf(const std::wstring& worker) { return worker + KeptSuffix; }
    static constexpr const wchar_t* KeptSuffix = L".old";
    // Instances of a new version that may fail before it is rolled back.
    static constexpr std::size_t FailedInstancesToRollBack = 3;
    // What putting a version back may retry, in all, while the failed instance lets go of it.
    static constexpr std::uint32_t RollBackWaitMs = 2000;

private:
    struct Trial {
        bool unconfirmed = false;
        bool runningNew = false;  // the worker's instance was started from the unconfirmed file
        std::vector<ProcessId> failed;  // its instances that ended or stopped answering
    };
    static std::size_t Index(SlotId id) { return static_cast<std::size_t>(id); }
    Trial& TrialOf(SlotId id) { return trials_[Index(id)]; }
    std::wstring WorkerPath(SlotId id) { return platform_.ProgramFolder() + InfoOf(id).file; }
    // Renames the kept file over the worker's; false, with the reason in the record, when it
    // cannot be done.
    bool PutBack(SlotId id);

    Platform& platform_;
    CallDlls& callDlls_;
    SupervisorLog& log_;
    std::array<ProgramSlot, SlotCount>& slots_;
    std::array<Trial, SlotCount> trials_{};
};

}  // namespace zorpa
