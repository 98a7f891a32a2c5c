#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "EventLog.h"
#include "LogFile.h"
#include "Platform.h"
#include "Settings.h"
#include "Slots.h"

namespace zorpa {

// What the supervisor did, in the words its record uses: one line per event, naming the
// worker and its process id wherever there is one. An answered probe writes nothing.
class SupervisorLog {
public:
    explicit SupervisorLog(Platform& platform)
        : platform_(platform), file_(platform), events_(platform) {}

    void Started(const std::wstring& folder, std::int16_t threshold);
    void WorkerStarted(SlotId id, ProcessId pid, int style);
    // `newVersion`: a version on trial, which gives way to the kept one.
    void WorkerNotStarted(SlotId id, const std::wstring& path, std::uint32_t windowsError,
                          bool newVersion = false);
    void ProbeMissed(SlotId id, ProcessId pid, std::int16_t misses, std::int16_t threshold);
    // `ended`: false when the supervisor had nothing of the worker to end.
    void WorkerRestarted(SlotId id, ProcessId oldPid, bool ended, ProcessId newPid,
                         std::int16_t misses);
    // A command flag obeyed, with the workers it ended (slot and the id it had).
    struct Ended {
        SlotId id;
        ProcessId pid;
    };
    void CommandObeyed(SettingKey command, const std::vector<Ended>& ended);
    // A worker's new version put in place; `ended`: its instances that were running and were
    // ended for it here; `pid`: the slot's instance, named when none was; `versions`:
    // "from 1.4.0.2 to 1.5.0.0", empty where either file names no version.
    void WorkerUpdated(SlotId id, ProcessId pid, const std::vector<ProcessId>& ended,
                       const std::wstring& source, std::uint64_t bytes,
                       const std::wstring& versions);
    void OwnUpdateStaged(const std::wstring& source, const std::wstring& target,
                         std::uint64_t bytes);
    void AlreadyInstalled(SlotId id, const std::wstring& source);
    // The supervisor's new version offered is the one running.
    void OwnAlreadyRunning(const std::wstring& source);
    // Who signed the program at `path`, whose new versions must then come from the same
    // publisher; nothing when it is not signed.
    void PublisherOf(const std::wstring& path);
    // A new version on trial: found at start-up, confirmed, or given up and rolled back.
    void VersionOnTrial(SlotId id, const std::wstring& kept);
    void VersionConfirmed(SlotId id, ProcessId pid, int answeredCycles, std::uint64_t overMs,
                          const std::wstring& kept);
    // A kept file that cannot stand for the previous version was deleted, and why.
    void KeptVersionDropped(SlotId id, const std::wstring& kept, const std::wstring& why);
    // A worker ended for an update that then failed was started again.
    void StartedAfterFailedUpdate(SlotId id, ProcessId pid);
    void NewVersionFailing(SlotId id, const std::vector<ProcessId>& instances);
    void RolledBack(SlotId id, const std::wstring& path);
    void RollBackFailed(SlotId id, const RuntimeError& error);
    void ReplaceDone();
    void ReplaceFailed(const RuntimeError& error, std::int16_t attempts, std::int16_t threshold);
    void ReplaceSkipped(std::int16_t attempts, std::int16_t threshold);
    void RunTimeError(const RuntimeError& error);
    void Ending(const std::wstring& why);

private:
    // The run-time error's description, its Windows error written as "error 5: Access is denied.".
    LogLine& ErrorPhrase(LogLine& line, const RuntimeError& error);
    LogLine& WindowsError(LogLine& line, std::uint32_t error);
    // A line that support acts on: to the record, and to the Event Log as an event of `kind`.
    void Write(const LogLine& line, EventKind kind);

    Platform& platform_;
    LogFile file_;
    EventLog events_;
};

}  // namespace zorpa
