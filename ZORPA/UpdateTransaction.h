#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "CallDlls.h"
#include "KeptVersion.h"
#include "Platform.h"
#include "Slots.h"
#include "StagedFile.h"
#include "SupervisorLog.h"
#include "WorkerVersions.h"

namespace zorpa {

// What an update step works with.
struct UpdateParties {
    Platform& platform;
    CallDlls& callDlls;
    SupervisorLog& log;
    WorkerVersions& versions;
    std::array<ProgramSlot, SlotCount>& slots;
    std::int16_t& replaceAttempts;
    // Starts a worker again, hidden, as the hang watch would.
    std::function<void(SlotId)> startHidden;
};

// The new versions of one replacement step, put in place as one transaction in two phases.
// First each is copied beside its file, checked, and the worker's current version kept, while
// every worker runs: a file that fails ends nothing. Only then are the workers ended and the
// copies renamed into place, one after the other; a rename that still fails starts again every
// worker the step ended, so that no step leaves a worker down that it took down.
class UpdateTransaction {
public:
    // Refuses a copy by throwing RuntimeError; given its bytes, where it came from and where
    // it lies. Says which version replaces which, for the record ("" where it cannot tell).
    using Check = std::function<std::wstring(const std::vector<std::uint8_t>& content,
                                             const std::wstring& source,
                                             const std::wstring& copy)>;
    explicit UpdateTransaction(const UpdateParties& parties) : parties_(parties) {}
    UpdateTransaction(const UpdateTransaction&) = delete;
    UpdateTransaction& operator=(const UpdateTransaction&) = delete;

    // First phase, for a worker: copies `source` beside the worker's file and checks it, then
    // keeps the worker's current version. A worker that already is that version is left alone.
    void AddWorker(SlotId id, const std::wstring& source, const Check& check);
    // First phase, for the supervisor's own new version, staged as `target`.
    void AddOwnUpdate(const std::wstring& source, const std::wstring& target, const Check& check);
    // Second phase, within `waitLeftMs` for ended workers to let go of their files. True when
    // the supervisor's own new version was put in place, after which it must end.
    bool Commit(std::uint32_t waitLeftMs);

private:
    struct WorkerUpdate {
        WorkerUpdate(Platform& platform, SlotId id, const std::wstring& source,
                     const std::wstring& worker)
            : id(id), source(source), copy(platform, source, worker) {}
        SlotId id;
        std::wstring source;
        StagedFile copy;
        std::optional<KeptVersion> previous;
        std::wstring versions;
    };
    struct OwnUpdate {
        OwnUpdate(Platform& platform, const std::wstring& source, const std::wstring& target)
            : source(source), target(target), copy(platform, source, target) {}
        std::wstring source;
        std::wstring target;
        StagedFile copy;
    };
    void Install(WorkerUpdate& update, std::vector<SlotId>& ended);
    // Ends every instance started from the worker's file, within what the step may still wait;
    // the ids of those it ended.
    std::vector<ProcessId> EndForUpdate(SlotId id);

    const UpdateParties& parties_;
    std::list<WorkerUpdate> workers_;  // elements stay where they were made
    std::optional<OwnUpdate> own_;
    std::uint32_t waitLeftMs_ = 0;
};

}  // namespace zorpa
