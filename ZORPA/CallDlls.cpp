#include "CallDlls.h"

#include <cmath>

namespace zorpa {

namespace {

// A blank path is shown with its blanks removed, that is as nothing between the quotes.
constexpr const wchar_t* InvalidPathPrompt = L"El Path \"\" no es valido.";
constexpr const wchar_t* InvalidPathTitle = L"Invalid Path";

bool IsBlank(const std::wstring& text) {
    return text.find_first_not_of(L' ') == std::wstring::npos;
}

}  // namespace

ProcessId CallDlls::LaunchProgram(const std::wstring& path, WindowHandle& window, int style) {
    StartError = 0;
    if (IsBlank(path)) {
        platform_.ShowMessage(InvalidPathPrompt, InvalidPathTitle, MessageIcon::Exclamation);
        return -1;
    }
    StartedProcess started;
    try {
        started = platform_.StartProgram(path, style);
    } catch (const RuntimeError& error) {
        StartError = error.windowsError();
        return -1;
    }
    TargetProcessId = started.id;
    launched_[started.id] = Launched{started, path};
    // Look for the window only once the program is ready, and never hand the slot a window
    // left over from an earlier search: a program with no window yet gets none.
    platform_.WaitUntilReady(started, ReadyTimeoutMs);
    FoundWindow = 0;
    FindProcessWindow();
    window = FoundWindow;
    return started.id;
}

void CallDlls::FindProcessWindow() {
    platform_.EnumerateTopLevelWindows(
        [this](WindowHandle window) { return EnumWindowsCallback(window, 0) != 0; });
}

std::int32_t CallDlls::EnumWindowsCallback(WindowHandle window, std::intptr_t) {
    ProcessId owner = 0;
    platform_.GetWindowProcessId(window, owner);
    if (owner == TargetProcessId) {
        FoundWindow = window;
        return 0;
    }
    return 1;
}

bool CallDlls::IsProgramResponding(WindowHandle window, ProcessId pid) {
    FoundWindow = window;
    TargetProcessId = pid;
    if (window == 0) return false;
    // The handle of a destroyed window can be given to another program's window: an answer
    // from that one says nothing about the worker, and nothing is sent to it.
    if (OwnedByAnother(window, pid)) return false;

    std::uint64_t sentAt = platform_.MonotonicMilliseconds();
    bool answered = platform_.SendNullWithTimeout(window, ProbeTimeoutMs);
    // The deadline is the next whole second but one on the time-of-day clock; a second
    // clock that never wraps keeps midnight or a clock set back from stretching the loop.
    const double deadline = std::nearbyint(platform_.SecondsSinceMidnight() + 1.0);
    const std::uint64_t loopStart = platform_.MonotonicMilliseconds();
    while (platform_.SecondsSinceMidnight() < deadline &&
           platform_.MonotonicMilliseconds() - loopStart < ProbeLoopLimitMs) {
        if (answered) break;
        // A send to a dead window fails at once: pause rather than burn a core.
        if (platform_.MonotonicMilliseconds() - sentAt < ResendPauseMs) platform_.Sleep(ResendPauseMs);
        // The handle may have been given to another program's window meanwhile.
        if (OwnedByAnother(FoundWindow, pid)) return false;
        sentAt = platform_.MonotonicMilliseconds();
        answered = platform_.SendNullWithTimeout(FoundWindow, ProbeTimeoutMs);
    }
    return answered;
}

bool CallDlls::KillProgram(WindowHandle window, ProcessId pid, std::uint32_t waitForEndMs) {
    FoundWindow = window;
    if (window == 0) return false;

    // The window leads to a process only while it belongs to the instance started for this
    // slot. A window that is gone, or whose handle now belongs to another program (the shell,
    // say), counts as gone. Either way only that very instance (same id and creation time)
    // is ended, never the window's new owner nor a program later given the same id.
    return EndInstance(pid, waitForEndMs);
}

bool CallDlls::EndInstance(ProcessId pid, std::uint32_t waitForEndMs) {
    const auto it = launched_.find(pid);
    if (it == launched_.end()) return false;
    const StartedProcess process = it->second.process;
    launched_.erase(it);
    return platform_.TerminateInstance(process, waitForEndMs);
}

std::vector<ProcessId> CallDlls::EndInstancesOf(const std::wstring& path,
                                                std::uint32_t waitForEndMs) {
    std::vector<ProcessId> started;
    for (const auto& [pid, launched] : launched_)
        if (launched.path == path) started.push_back(pid);
    std::vector<ProcessId> ended;
    const std::uint64_t start = platform_.MonotonicMilliseconds();
    for (ProcessId pid : started) {
        const std::uint64_t waited = platform_.MonotonicMilliseconds() - start;
        if (EndInstance(
                pid, waited < waitForEndMs ? static_cast<std::uint32_t>(waitForEndMs - waited) : 0))
            ended.push_back(pid);
    }
    return ended;
}

bool CallDlls::OwnedByAnother(WindowHandle window, ProcessId pid) {
    ProcessId owner = pid;
    return platform_.GetWindowProcessId(window, owner) && owner != pid;
}

}  // namespace zorpa
