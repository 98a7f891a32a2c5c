#pragma once

#include <array>
#include <string>
#include <vector>

#include "CallDlls.h"
#include "KeptVersion.h"
#include "Platform.h"
#include "Slots.h"
#include "SupervisorLog.h"

namespace zorpa {

// A worker's new version on trial. Its previous version stays beside it under a fixed name
// (TULVAN.EXE.old) until one instance of the new one has shown its window and answered probes
// for a while; so a kept file always means "not yet confirmed", also after a restart of the
// supervisor. A new version that cannot be started, or whose instances end or stop answering
// three times before one has come through, is replaced by the kept one again: a bad version
// costs the terminal at most three restarts of the worker, never the worker itself.
class WorkerVersions {
public:
    WorkerVersions(Platform& platform, CallDlls& callDlls, SupervisorLog& log,
                   std::array<ProgramSlot, SlotCount>& slots)
        : platform_(platform), callDlls_(callDlls), log_(log), slots_(slots) {}

    // At start-up, before the workers start: which workers run a version not yet confirmed.
    void Load();
    // The worker's file was just replaced and its previous version is kept.
    void Installed(SlotId id);
    // An instance was started from the worker's file and its window looked up.
    void Started(SlotId id);
    // The worker's instance was ended by a command, which says nothing of its version.
    void EndedByCommand(SlotId id) { TrialOf(id).runningNew = false; }
    // The worker's window answered a probe. Once one instance of a new version has answered
    // in enough cycles over long enough, the version is confirmed and its kept predecessor
    // deleted.
    void Answered(SlotId id);
    // The hang watch gives up on the worker's instance. True when that was the last instance
    // an unconfirmed version gets: the caller then rolls back instead of starting it again.
    bool GivesUpOn(SlotId id);
    // The worker's file could not be started (Windows' error `windowsError`): true when a kept
    // version was put back in its place, to be started instead.
    bool RollBackUnstartable(SlotId id, std::uint32_t windowsError);
    // Ends every instance of the failing version and puts the kept version back. True when the
    // slot's own instance was running and was ended.
    bool RollBackFailing(SlotId id);
    bool Unconfirmed(SlotId id) const { return trials_[Index(id)].unconfirmed; }
    // True for a file renamed into place that Windows may still refuse for a moment: a new
    // version on trial, and the kept one put back until it has been started.
    bool JustPlaced(SlotId id) const {
        return trials_[Index(id)].unconfirmed || trials_[Index(id)].putBack;
    }

    // Instances of a new version that may fail before it is rolled back.
    static constexpr std::size_t FailedInstancesToRollBack = 3;
    // One instance must answer in this many check cycles, the first and the last this far
    // apart, before its version is confirmed: a build that comes up and then fails on
    // something it lacks is not.
    static constexpr int AnsweredCyclesToConfirm = 3;
    static constexpr std::uint64_t ConfirmAfterMs = 60000;
    // What putting a version back may retry, in all, while the failed instance lets go of it.
    static constexpr std::uint32_t RollBackWaitMs = 2000;

private:
    struct Trial {
        bool unconfirmed = false;
        bool putBack = false;     // the kept version is back in place and not yet started
        bool runningNew = false;  // the worker's instance was started from the unconfirmed file
        int answeredCycles = 0;   // of that instance
        std::uint64_t firstAnswerMs = 0;
        std::vector<ProcessId> failed;  // the last instances that ended or stopped answering
    };
    static std::size_t Index(SlotId id) { return static_cast<std::size_t>(id); }
    Trial& TrialOf(SlotId id) { return trials_[Index(id)]; }
    std::wstring WorkerPath(SlotId id) { return platform_.ProgramFolder() + InfoOf(id).file; }
    // True when the kept file can stand for the previous version. One that is not a whole
    // program, or that is the worker's own file again, is deleted and the trial ends.
    bool KeptIsUsable(SlotId id);
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
