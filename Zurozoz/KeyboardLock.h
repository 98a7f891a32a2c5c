// Keeps the keyboard on the lock screen: a low-level keyboard hook that swallows the
// task-switch keys always and every key while another program's window is in the
// foreground. Ctrl+Alt+Del is beyond any program's reach.
//
// Windows removes a low-level hook without a word once its thread answers later than
// LowLevelHooksTimeout, and keys then reach other programs for the rest of the lock. So the
// hook lives on a thread of its own that does nothing else and never waits behind the lock
// window's painting or loading, and that thread installs it anew every second, so that a
// hook Windows removed all the same is back within that second.
#pragma once

#include "OwnedHandles.h"

#include <windows.h>

namespace zurozoz {

class KeyboardLock {
public:
    // Starts the hook's thread and waits until the hook is in place or was refused (a
    // refused hook leaves the lock screen up without it). Keys count as the lock screen's
    // while a window of the calling thread, which owns the lock window and its covers, is
    // in the foreground.
    explicit KeyboardLock(HINSTANCE instance);
    // Ends the hook's thread, which removes the hook.
    ~KeyboardLock();
    KeyboardLock(const KeyboardLock&) = delete;
    KeyboardLock& operator=(const KeyboardLock&) = delete;

private:
    static DWORD WINAPI HookThread(void* lock);
    // Kept trivially fast, for the same reason the hook has a thread of its own.
    static LRESULT CALLBACK HookProcedure(int code, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    UniqueHandle ready_;
    UniqueHandle thread_;
    DWORD threadId_ = 0;
};

} // namespace zurozoz
