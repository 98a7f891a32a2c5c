#include "KeyboardLock.h"

namespace zurozoz {

namespace {

// The hook procedure runs on the thread that installed it, one call at a time, and at
// most one lock exists per program: a plain variable is enough.
HWND LockWindow = nullptr;

bool IsDown(int virtualKey) { return (GetAsyncKeyState(virtualKey) & 0x8000) != 0; }

// Alt+Tab, Alt+Esc, Ctrl+Esc and both Windows keys switch to another program.
bool IsTaskSwitchKey(const KBDLLHOOKSTRUCT& key) {
    const bool alt = (key.flags & LLKHF_ALTDOWN) != 0;
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

KeyboardLock::KeyboardLock(HINSTANCE instance, HWND lockWindow) {
    LockWindow = lockWindow;
    hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, HookProcedure, instance, 0);
}

KeyboardLock::~KeyboardLock() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    LockWindow = nullptr;
}

LRESULT CALLBACK KeyboardLock::HookProcedure(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        // Keys go to the lock screen or nowhere.
        if (IsTaskSwitchKey(key) || GetForegroundWindow() != LockWindow) return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace zurozoz
