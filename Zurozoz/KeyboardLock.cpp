#include "KeyboardLock.h"

#include <utility>

namespace zurozoz {

namespace {

// How often the hook is installed anew: a hook that Windows removed is back within this.
constexpr UINT RenewalMs = 1000;
// How long the lock window waits for its hook before it is shown all the same, and how long
// the program waits for the hook's thread when it ends (a thread still running then goes
// with the process).
constexpr DWORD ReadyWaitMs = 2000;
constexpr DWORD EndWaitMs = 2000;

// The thread that owns the lock window and its covers. Written before the hook's thread
// starts and only read afterwards, and at most one lock exists per program: a plain
// variable is enough.
DWORD LockThread = 0;

// Alt as the hook has seen it go down and up; the hook's thread alone reads and writes it.
// Windows also flags every key typed with Alt held (LLKHF_ALTDOWN); Wine 8 does not, and
// Alt+Tab and Alt+Esc then got through.
bool AltSeen = false;

bool IsDown(int virtualKey) { return (GetAsyncKeyState(virtualKey) & 0x8000) != 0; }

void NoteAlt(const KBDLLHOOKSTRUCT& key) {
    if (key.vkCode == VK_MENU || key.vkCode == VK_LMENU || key.vkCode == VK_RMENU) {
        AltSeen = (key.flags & LLKHF_UP) == 0;
    }
}

// Alt+Tab, Alt+Esc, Ctrl+Esc and both Windows keys switch to another program.
bool IsTaskSwitchKey(const KBDLLHOOKSTRUCT& key) {
    const bool alt = (key.flags & LLKHF_ALTDOWN) != 0 || AltSeen;
    switch (key.vkCode) {
    case VK_LWIN:
    case VK_RWIN:
        return true;
    case VK_TAB:
        return alt;
    case VK_ESCAPE:
        return alt || IsDown(VK_CONTROL);
    default:
        return false;
    }
}

} // namespace

// CreateThread rather than _beginthreadex: the hook's thread calls no C runtime function.
KeyboardLock::KeyboardLock(HINSTANCE instance)
    : instance_(instance), ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!ready_) return;
    LockThread = GetCurrentThreadId();
    thread_.reset(CreateThread(nullptr, 0, HookThread, this, 0, &threadId_));
    if (!thread_) return;
    // Keys wait for the hook: it must not wait for this program's other work.
    SetThreadPriority(thread_.get(), THREAD_PRIORITY_ABOVE_NORMAL);
    // Ready when the hook is in place; the thread ends at once when Windows refused it.
    const HANDLE started[] = {ready_.get(), thread_.get()};
    WaitForMultipleObjects(2, started, FALSE, ReadyWaitMs);
}

KeyboardLock::~KeyboardLock() {
    if (!thread_) return;
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_.get(), EndWaitMs);
}

DWORD WINAPI KeyboardLock::HookThread(void* lock) {
    const auto& owner = *static_cast<const KeyboardLock*>(lock);
    const HINSTANCE instance = owner.instance_;
    MSG message;
    // The thread's message queue, for the renewal timer and the quit that ends the thread.
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    UniqueHook hook(SetWindowsHookExW(WH_KEYBOARD_LL, HookProcedure, instance, 0));
    if (!hook) return 1;
    const UINT_PTR renewal = SetTimer(nullptr, 0, RenewalMs, nullptr);
    // The owner may go once it has been told: nothing of it is used after this.
    SetEvent(owner.ready_.get());

    // Windows calls the hook procedure from inside GetMessageW.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message != WM_TIMER || message.hwnd != nullptr || message.wParam != renewal)
            continue;
        // The new hook first, then the old one goes: no key finds neither. A refused new
        // hook leaves the old one in place.
        UniqueHook renewed(SetWindowsHookExW(WH_KEYBOARD_LL, HookProcedure, instance, 0));
        if (renewed) hook = std::move(renewed);
    }
    if (renewal != 0) KillTimer(nullptr, renewal);
    return 0;
}

LRESULT CALLBACK KeyboardLock::HookProcedure(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        NoteAlt(key);
        // Keys go to the lock screen, whichever of its windows is in front, or nowhere.
        if (IsTaskSwitchKey(key) || GetWindowThreadProcessId(GetForegroundWindow(), nullptr) != LockThread) {
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace zurozoz
