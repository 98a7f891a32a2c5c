#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Platform.h"

namespace zorpa {

// Starting, finding, probing and terminating the worker programs.
class CallDlls {
public:
    explicit CallDlls(Platform& platform) : platform_(platform) {}

    // Starts the program and returns its process id with its main window in `window`;
    // -1 when it cannot be started (a blank path also shows the "Invalid Path" box), with
    // Windows' reason in StartError.
    ProcessId LaunchProgram(const std::wstring& path, WindowHandle& window, int style);
    // Looks for the first top-level window of TargetProcessId and leaves it in FoundWindow.
    void FindProcessWindow();
    // 0 stops the enumeration (window found), 1 continues it.
    std::int32_t EnumWindowsCallback(WindowHandle window, std::intptr_t value);
    // True when the window answers within the probe's deadline; a window that now belongs
    // to a process other than `pid` counts as not answering and is sent nothing.
    bool IsProgramResponding(WindowHandle window, ProcessId pid);
    // Terminates the instance this supervisor started under `pid` (same id and creation
    // time), whether the window still belongs to it or is gone; never the process that now
    // owns a reused window handle. Window 0 terminates nothing. Then waits up to
    // `waitForEndMs` until that instance has really ended. True when it ended one.
    bool KillProgram(WindowHandle window, ProcessId pid, std::uint32_t waitForEndMs = 0);
    // Terminates the instance this supervisor started under `pid`, whatever became of its
    // window, and waits up to `waitForEndMs` until it has ended. True when it ended one that
    // was still running.
    bool EndInstance(ProcessId pid, std::uint32_t waitForEndMs);
    // Terminates every instance this supervisor started from `path` and has not ended yet,
    // windows found or not, since each holds the file; waits up to `waitForEndMs` in all until
    // they have ended. The ids of those that were still running and that it ended.
    std::vector<ProcessId> EndInstancesOf(const std::wstring& path, std::uint32_t waitForEndMs);

    // Results passed between the procedures above and to the enumeration callback.
    ProcessId TargetProcessId = 0;
    WindowHandle FoundWindow = 0;
    // Windows' error code for the last start that failed; 0 when Windows gave none.
    std::uint32_t StartError = 0;

    // How long a new program may take to become ready before its window is looked up.
    static constexpr std::uint32_t ReadyTimeoutMs = 5000;
    static constexpr std::uint32_t ProbeTimeoutMs = 1000;
    // Bound of the resend loop, measured on a clock that never wraps or goes back.
    static constexpr std::uint64_t ProbeLoopLimitMs = 1500;
    static constexpr std::uint32_t ResendPauseMs = 10;
    // What the supervisor waits, at most, for an instance it ended to let go of its file.
    static constexpr std::uint32_t EndWaitMs = 1000;

    // How many started instances the module still remembers; each stays only until it is
    // terminated, so a long-running supervisor must not see this grow.
    std::size_t RememberedInstances() const { return launched_.size(); }

private:
    // True when the window exists and belongs to a process other than `pid`.
    bool OwnedByAnother(WindowHandle window, ProcessId pid);

    Platform& platform_;
    struct Launched {
        StartedProcess process;
        std::wstring path;
    };
    // Instances this supervisor started, by id, so that a fallback termination never
    // hits a program that was later given the same id.
    std::map<ProcessId, Launched> launched_;
};

}  // namespace zorpa
