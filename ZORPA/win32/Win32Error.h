#pragma once

#include <windows.h>

#include <string>

#include "ErrorNumbers.h"

namespace zorpa::win32 {

// The system's own text for a Win32 error code, without the trailing line break.
std::wstring SystemErrorText(DWORD error);

// Throws RuntimeError(number) whose description names the failed action and the system's reason,
// and which keeps `error` itself.
[[noreturn]] void ThrowWin32Error(int number, const std::wstring& action, DWORD error);
// The same, with the number support staff know for that call's failure.
[[noreturn]] void ThrowWin32Error(FailedCall call, const std::wstring& action, DWORD error);

// A path or name as the error descriptions show it.
inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace zorpa::win32
