#include "KeyboardLock.h"

namespace zurozoz {

namespace {

// The hook procedure runs on the thread that installed it, one call at a time, and at
// most one lock exists per program: a plain variable is enough. That thread owns the
// lock window and its covers.
DWORD LockThread = 0;

// Alt as the hook has seen it go down and up. Windows also flags every key typed with Alt
// held (LLKHF_ALTDOWN); Wine 8 does not, and Alt+Tab and Alt+Esc then got through.
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

KeyboardLock::KeyboardLock(HINSTANCE instance) {
    LockThread = GetCurrentThreadId();
    hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, HookProcedure, instance, 0);
}

KeyboardLock::~KeyboardLock() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    LockThread = 0;
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
