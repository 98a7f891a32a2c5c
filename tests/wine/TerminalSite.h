#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Win32Handles.h"
#include "WineSupport.h"

namespace winetest {

// The worker files, in the order the supervisor starts them.
inline const std::vector<std::wstring> WorkerFiles{L"GANDRO.EXE", L"FENDA_IMPRESION.EXE",
                                                   L"FENDA_TICKETS.EXE", L"TULVAN.EXE"};
inline constexpr const wchar_t* StandInV1 = L"StandInWorker.exe";
inline constexpr const wchar_t* StandInV2 = L"StandInWorker2.exe";
inline constexpr const wchar_t* StandInBroken = L"StandInWorkerBroken.exe";
inline constexpr const wchar_t* SupervisorFile = L"ZORPA.exe";
// The ids of the form's check and reset timers.
inline constexpr WPARAM CheckTimer = 1;
inline constexpr WPARAM ResetTimer = 2;
// Long enough for a cycle that probes four hung workers.
inline constexpr DWORD CycleTimeoutMs = 20000;
inline constexpr DWORD StartTimeoutMs = 10000;

// One terminal's folder with the supervisor and stand-in workers in it. On destruction it
// ends every process started from the folder and removes what it put there.
class TerminalSite {
public:
    explicit TerminalSite(std::wstring folder, bool keepFolder = false);
    ~TerminalSite();
    TerminalSite(const TerminalSite&) = delete;
    TerminalSite& operator=(const TerminalSite&) = delete;

    const std::wstring& Folder() const { return folder_; }
    std::wstring PathOf(const std::wstring& name) const;

    bool InstallSupervisor();
    bool InstallWorker(const std::wstring& file, const wchar_t* build = StandInV1);
    bool InstallWorkers();

    // Wine traces the Event Log calls of the supervisor started next to the standard error it
    // inherits from this program.
    void TraceEvents() { traceEvents_ = true; }
    bool StartSupervisor();
    DWORD SupervisorPid() const { return supervisorPid_; }
    bool SupervisorRunning() const;
    bool WaitForSupervisorEnd(DWORD timeoutMs) const;
    HWND Form() const;

    // The stand-ins' starts so far, in order; keeps a handle on each so its id stays its own.
    std::vector<StandInStart> Starts();
    bool WaitForStarts(std::size_t count, DWORD timeoutMs = StartTimeoutMs);
    // Waits until the worker is ready for input, as the supervisor does after starting it.
    bool WaitUntilReady(DWORD pid, DWORD timeoutMs = StartTimeoutMs) const;
    std::optional<StandInStart> StartOf(const std::wstring& file, std::size_t nth = 0);
    bool IsRunning(DWORD pid) const;
    bool WaitForEnd(DWORD pid, DWORD timeoutMs) const;
    // The stand-in's own window (not its IME window), once it has one.
    HWND WorkerWindow(DWORD pid) const;
    // Makes the stand-in hang; returns once it no longer answers.
    bool Hang(DWORD pid) const;

    // Runs one tick of the form's timer and returns once the handler has finished.
    bool Tick(WPARAM timer, DWORD timeoutMs = CycleTimeoutMs) const;
    // Queues a tick, as the timer itself would.
    bool PostTick(WPARAM timer) const;

private:
    using Handle = zorpa::win32::UniqueHandle;

    std::wstring folder_;
    bool keepFolder_;
    bool traceEvents_ = false;
    Handle supervisor_;
    DWORD supervisorPid_ = 0;
    std::map<DWORD, Handle> workers_;
};

}  // namespace winetest
