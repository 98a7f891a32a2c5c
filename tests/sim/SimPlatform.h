#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform.h"
#include "ProgramImages.h"

namespace sim {

using zorpa::MessageIcon;
using zorpa::ProcessId;
using zorpa::WindowHandle;

// Thrown by EndProgram: the supervisor's process ends, so nothing after it may run.
struct ProgramEnded {};

enum class WindowState { Answering, Hung };

struct SimWindow {
    WindowHandle handle;
    ProcessId owner;
    WindowState state;
};

struct SimProcess {
    ProcessId id;
    std::uint64_t creationTime;
    std::wstring path;  // empty for programs the supervisor did not start
    std::string version;  // content of the file it was started from
    int showStyle;
    bool running;
    std::wstring holds;  // a file another program keeps open without sharing
};

struct StartRecord {
    std::wstring path;
    int showStyle;
    ProcessId id;
};

struct MessageRecord {
    std::wstring prompt;
    std::wstring title;
    MessageIcon icon;
};

struct EventRecord {
    zorpa::EventLevel level;
    std::uint32_t id;
    std::wstring sentence;
};

struct SimFile {
    std::string content;  // its size is the file's size
    bool readOnly = false;
    // A program's file stands for a whole program of the version its content names; a raw
    // file reads as exactly its content.
    bool raw = false;
    bool hidden = false;  // hidden or system: a listing does not show it
    // Its signature, as Windows' verifier would read it; copies and renames carry it along.
    zorpa::SignatureFacts signature{};
    // A program's version resource, carried along likewise.
    std::optional<VersionSpec> version{};
};

// What is wrong with a version of a program, whatever file it is started from.
enum class VersionFault {
    WontStart,    // Windows refuses to start it (a broken file, another processor)
    EndsAtOnce,   // it ends before it shows a window (a DLL it lacks, a broken build)
    WindowLate,   // it shows its window only after the supervisor looked for it
    AnswersOnce,  // it shows its window and answers once, then ends (an error box, then exit)
};

// How a program behaves when it is started, by file name (case-insensitive).
struct ProgramBehaviour {
    bool createsWindow = true;  // false: its window appears only after the supervisor looked
    std::uint32_t startupMs = 40;  // until it waits for input
    int windows = 1;  // top-level windows it creates at start, each above the one before
};

// A deterministic stand-in for Windows: windows that answer, hang or are destroyed;
// processes with ids that can be reused; a clock that only moves when told or when a call
// takes time; a case-insensitive settings store; files.
class SimPlatform : public zorpa::Platform {
public:
    SimPlatform();

    // --- set-up and control by the tests ---
    std::wstring folder = L"C:\\Terminal";
    void AddFile(const std::wstring& path, const std::string& content = "v1");
    // A file whose bytes are exactly `bytes` (a program cut short, a text file).
    void AddRawFile(const std::wstring& path, const std::string& bytes);
    void AddWorkers(const std::string& version = "v1");  // the four workers in `folder`
    void RemoveFile(const std::wstring& path);
    std::optional<SimFile> File(const std::wstring& path) const;
    void SetReadOnly(const std::wstring& path, bool readOnly);
    void SetHidden(const std::wstring& path) { files_.at(Lower(path)).hidden = true; }
    // The next `count` starts of the file fail with Windows' `error` (a file a virus scanner
    // reads for a moment).
    void FailNextStarts(const std::wstring& path, std::uint32_t error, int count) {
        startFaults_[Lower(path)] = {error, count};
    }
    void SetSignature(const std::wstring& path, const zorpa::SignatureFacts& signature);
    void SetVersion(const std::wstring& path, const VersionSpec& version) {
        files_.at(Lower(path)).version = version;
    }
    // The supervisor's own file in `folder`.
    std::wstring programFile = L"ZORPA.exe";
    void FailListing(const std::wstring& folderPrefix) { unlistable_.insert(Lower(folderPrefix)); }
    // Copies from `path` break off with `error` (a server that stops answering, a size that
    // does not match).
    void FailReading(const std::wstring& path, const zorpa::RuntimeError& error) {
        readFaults_.insert_or_assign(Lower(path), error);
    }
    // The file grows by `extra` while a copy reads it, as a server file still being written.
    void GrowWhileRead(const std::wstring& path, const std::string& extra) {
        growing_[Lower(path)] = extra;
    }
    // Versions (by content) that cannot run.
    std::map<std::string, VersionFault> versionFaults;
    // Whether the simulated Windows runs x64 programs.
    bool windows64 = false;
    // Bytes that still fit on the terminal's disk; none: as many as are written.
    std::optional<std::size_t> spaceLeft;
    // Appending to or renaming this file fails with this Windows error (a file another
    // program holds without sharing, a full disk); 0 lifts it.
    void FailFile(const std::wstring& path, std::uint32_t error) { fileErrors_[Lower(path)] = error; }
    int utcOffsetMinutes = 60;
    ProgramBehaviour& Behaviour(const std::wstring& fileName) { return behaviours_[Lower(fileName)]; }
    // A terminated process keeps its file open this long before it is really gone.
    std::uint32_t exitDelayMs = 0;
    // A virus scanner reads every file just renamed into place: its next starts this many times
    // fail with a sharing violation.
    int scanAfterRename = 0;

    // --- power cuts ---
    // Every change to the disk (a copy, rename or delete; a settings write) is numbered from 1.
    // The one numbered `at` is cut short as `when` says; from then on nothing reaches the disk
    // (the supervisor still runs on in the simulation, as if it had not noticed) until PowerOn.
    enum class CutWhen { Before, Partway, After };
    struct PowerCutPlan {
        std::uint64_t at = 0;
        CutWhen when = CutWhen::Before;
    };
    std::optional<PowerCutPlan> powerCut;
    std::uint64_t diskChanges = 0;
    std::vector<bool> changeWasCopy;  // by number, from 0: which changes were copies
    bool Powered() const { return powered_; }
    // The power comes back: no process runs any more, the disk holds what it held at the cut,
    // and the clock has moved on.
    void PowerOn(std::uint64_t offForMs);
    // Paths of every file on the disk, in lower case.
    std::vector<std::wstring> Paths() const;
    // Attempts of the supervisor to replace or delete the file it runs from.
    int ownFileChanges = 0;

    void Advance(std::uint64_t ms) { nowMs_ += ms; }
    // Sets the time of day (seconds since midnight) without moving the monotonic clock,
    // as when somebody sets the clock.
    void SetTimeOfDay(double seconds);

    void Hang(WindowHandle window);
    // A hung window answers again (its program got over whatever blocked it).
    void Resume(WindowHandle window);
    void DestroyWindow(WindowHandle window);
    // The process ends by itself (crash or exit); its windows go with it.
    void ExitProcess(ProcessId id);
    // Another program, not the supervisor's, is given `id` (the old owner must have ended); it
    // may hold a file open, as an instance of a worker the supervisor did not start would.
    ProcessId StartForeignProcess(ProcessId id, const std::wstring& holds = L"");
    WindowHandle CreateWindowFor(ProcessId id);
    // Windows reuses the handle of a destroyed window: `id` gets a new top-level window
    // with exactly that handle (which must be free).
    WindowHandle ReuseWindowHandle(WindowHandle handle, ProcessId id);
    ProcessId NextProcessId() const { return nextPid_; }

    void SetSetting(const std::wstring& key, const std::wstring& value);
    std::optional<std::wstring> Setting(const std::wstring& key) const;
    // Writes of this key fail as a store that refuses them would.
    void FailWritesOf(const std::wstring& key) { failingWrites_.insert(Lower(key)); }

    // Runs while a message box is open (the box's own message loop).
    std::function<void(const MessageRecord&)> whileMessageShown;
    // Runs on every pause, as other programs and people go on meanwhile.
    std::function<void()> onSleep;

    // --- what happened ---
    const SimProcess* Process(ProcessId id) const;
    bool IsRunning(ProcessId id) const;
    std::vector<const SimProcess*> RunningFrom(const std::wstring& fileName) const;
    std::vector<WindowHandle> WindowsOf(ProcessId id) const;
    std::vector<StartRecord> starts;
    std::vector<ProcessId> terminated;  // processes actually terminated, in order
    std::vector<MessageRecord> messages;
    std::vector<EventRecord> reportedEvents;  // the Application log, oldest first
    std::vector<std::string> events;  // starts, terminations, setting writes, ends, in order
    std::map<WindowHandle, int> sends;
    std::uint32_t waitsForReady = 0;
    bool formHidden = false;
    std::uint64_t sleptMs = 0;
    std::uint64_t waitedForEndMs = 0;  // spent waiting for terminated processes to end
    std::uint64_t NowMs() const { return nowMs_; }

    // --- zorpa::Platform ---
    zorpa::StartedProcess StartProgram(const std::wstring& path, int showStyle) override;
    void WaitUntilReady(const zorpa::StartedProcess& process, std::uint32_t timeoutMs) override;
    bool TerminateInstance(const zorpa::StartedProcess& process,
                           std::uint32_t waitForEndMs) override;
    void EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit) override;
    bool GetWindowProcessId(WindowHandle window, ProcessId& id) override;
    bool SendNullWithTimeout(WindowHandle window, std::uint32_t timeoutMs) override;
    double SecondsSinceMidnight() override;
    std::uint64_t MonotonicMilliseconds() override { return nowMs_; }
    zorpa::LocalTime LocalTimeNow() override;
    void Sleep(std::uint32_t milliseconds) override;
    std::wstring ProgramFolder() override { return folder; }
    std::wstring ProgramPath() override { return folder + L"\\" + programFile; }
    bool FileExists(const std::wstring& path) override;
    zorpa::CopiedFile CopyToTemporary(const std::wstring& from,
                                      const std::wstring& temporary) override;
    std::vector<std::uint8_t> ReadWholeFile(const std::wstring& path) override;
    void MoveFileOver(const std::wstring& from, const std::wstring& to) override;
    void DeleteFileIfPresent(const std::wstring& path) override;
    zorpa::AppendResult AppendToFile(const std::wstring& path, const std::string& bytes) override;
    std::wstring ErrorText(std::uint32_t error) override;
    zorpa::SignatureFacts ReadSignature(const std::wstring& path) override;
    bool Is64BitWindows() override { return windows64; }
    std::optional<std::wstring> ReadSetting(const std::wstring& application,
                                            const std::wstring& section,
                                            const std::wstring& key) override;
    void WriteSetting(const std::wstring& application, const std::wstring& section,
                      const std::wstring& key, const std::wstring& value) override;
    std::optional<double> ToDouble(const std::wstring& text) override;
    std::optional<std::int16_t> ToInt16(const std::wstring& text) override;
    void ShowMessage(const std::wstring& prompt, const std::wstring& title,
                     MessageIcon icon) override;
    void HideForm() override { formHidden = true; }
    [[noreturn]] void EndProgram() override;
    void WriteEvent(zorpa::EventLevel level, std::uint32_t eventId,
                    const std::wstring& sentence) override {
        reportedEvents.push_back({level, eventId, sentence});
    }

    static std::wstring Lower(const std::wstring& text);
    static std::string Narrow(const std::wstring& text);

private:
    void EndProcess(SimProcess& process);
    // Runs `write` (whole, or cut short) as the numbered disk change it is, unless the power
    // is off; false when nothing was written.
    bool ChangeDisk(bool copy, const std::function<void(bool whole)>& write);
    void FinishExits();
    bool FileInUse(const std::wstring& path) const;
    // Throws as Windows refuses to replace or delete a file that is read-only or in use.
    void CheckWritable(const std::wstring& path);
    std::uint32_t FileError(const std::wstring& path) const;
    std::wstring SettingPath(const std::wstring& application, const std::wstring& section,
                             const std::wstring& key) const;

    bool powered_ = true;
    std::uint64_t nowMs_ = 0;
    double timeOfDayAtZero_ = 10 * 3600.0;  // 10:00 when the simulation starts
    ProcessId nextPid_ = 1000;
    std::uint64_t nextCreation_ = 1;
    WindowHandle nextWindow_ = 0x10010;
    std::map<ProcessId, SimProcess> processes_;
    std::map<ProcessId, std::uint64_t> exitsAt_;  // terminated, not yet gone
    std::map<WindowHandle, SimWindow> windows_;
    std::vector<WindowHandle> zOrder_;  // top first
    std::map<std::wstring, SimFile> files_;  // by lower-case path
    std::map<std::wstring, ProgramBehaviour> behaviours_;
    std::set<std::wstring> unlistable_;
    std::map<std::wstring, zorpa::RuntimeError> readFaults_;
    std::map<std::wstring, std::string> growing_;
    std::map<std::wstring, std::uint32_t> fileErrors_;  // by lower-case path
    std::map<std::wstring, std::pair<std::uint32_t, int>> startFaults_;  // error, starts left
    std::map<std::wstring, std::wstring> settings_;  // by lower-case application\section\key
    std::set<std::wstring> failingWrites_;
};

}  // namespace sim
