#pragma once

#include <windows.h>

#include <memory>

namespace zorpa::win32 {

// Owners for the Win32 handles the supervisor opens; each closes its handle exactly once.

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
    void operator()(HANDLE handle) const { ::FindClose(handle); }
};
// Only ever holds a handle that FindFirstFileW returned as valid.
using UniqueFind = std::unique_ptr<void, FindCloser>;

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<HKEY__, KeyCloser>;

struct ScreenDcReleaser {
    void operator()(HDC dc) const { ::ReleaseDC(nullptr, dc); }
};
using UniqueScreenDc = std::unique_ptr<HDC__, ScreenDcReleaser>;

}  // namespace zorpa::win32
