// Keeps the keyboard on the lock screen: a low-level keyboard hook, owned by the lock
// screen's thread, that swallows the task-switch keys always and every key while another
// program's window is in the foreground. Ctrl+Alt+Del is beyond any program's reach.
#pragma once

#include <windows.h>

namespace zurozoz {

class KeyboardLock {
public:
    // Installs the hook for the lock windows of the calling thread, which must pump
    // messages, since Windows calls the hook procedure through that thread's message loop.
    explicit KeyboardLock(HINSTANCE instance);
    // Removes the hook.
    ~KeyboardLock();
    KeyboardLock(const KeyboardLock&) = delete;
    KeyboardLock& operator=(const KeyboardLock&) = delete;

    // False when Windows refused the hook; the lock screen then stays up without it.
    bool Installed() const { return hook_ != nullptr; }

private:
    // Kept trivially fast: Windows silently removes a low-level hook that answers late.
    static LRESULT CALLBACK HookProcedure(int code, WPARAM wParam, LPARAM lParam);

    HHOOK hook_ = nullptr;
};

} // namespace zurozoz
