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
    if (IsBlank(path)) {
        platform_.ShowMessage(InvalidPathPrompt, InvalidPathTitle, MessageIcon::Exclamation);
        return -1;
    }
    StartedProcess started;
    try {
        started = platform_.StartProgram(path, style);
    } catch (const RuntimeError&) {
        return -1;
    }
    TargetProcessId = started.id;
    launched_[started.id] = started;
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
        sentAt = platform_.MonotonicMilliseconds();
        answered = platform_.SendNullWithTimeout(FoundWindow, ProbeTimeoutMs);
    }
    return answered;
}

void CallDlls::KillProgram(WindowHandle window, ProcessId pid) {
    FoundWindow = window;
    if (window == 0) return;

    ProcessId owner = pid;
    if (platform_.GetWindowProcessId(window, owner)) {
        platform_.TerminateProcess(owner);
        if (owner == pid) launched_.erase(pid);
        return;
    }
    // The window is gone: end the instance started for this slot, if it still runs,
    // and never a program that has since been given the same id.
    const auto it = launched_.find(pid);
    if (it == launched_.end()) return;
    platform_.TerminateInstance(it->second);
    launched_.erase(it);
}

}  // namespace zorpa
