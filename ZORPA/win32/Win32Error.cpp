#include "Win32Error.h"

#include "DecimalText.h"
#include "RuntimeError.h"

namespace zorpa::win32 {

std::wstring SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) text = L"system error " + DecimalText(error);
    return text;
}

void ThrowWin32Error(int number, const std::wstring& action, DWORD error) {
    throw RuntimeError(number, action + L": " + SystemErrorText(error), error);
}

void ThrowWin32Error(FailedCall call, const std::wstring& action, DWORD error) {
    ThrowWin32Error(ErrorNumberFor(call, error), action, error);
}

}  // namespace zorpa::win32
