#pragma once

#include <windows.h>

#include <string>

namespace zorpa::win32 {

// The system's own text for a Win32 error code, without the trailing line break.
std::wstring SystemErrorText(DWORD error);

// Throws RuntimeError(number) whose description names the failed action and the system's reason,
// and which keeps `error` itself.
[[noreturn]] void ThrowWin32Error(int number, const std::wstring& action, DWORD error);

}  // namespace zorpa::win32
