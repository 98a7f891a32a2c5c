// Owners of the kernel handles and hooks the lock screen holds, so each is released once,
// on every path.
#pragma once

#include <windows.h>

#include <memory>

namespace zurozoz {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// Holds a handle that is null when the call that made it failed (threads, events).
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct HookRemover {
    void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};
using UniqueHook = std::unique_ptr<HHOOK__, HookRemover>;

} // namespace zurozoz
