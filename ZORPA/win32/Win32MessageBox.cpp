// The supervisor's face to the user: its message box, its hidden form, its end.
#include "Win32Platform.h"

namespace zorpa::win32 {

void Win32Platform::ShowMessage(const std::wstring& prompt, const std::wstring& title,
                                MessageIcon icon) {
    UINT style = MB_OK;
    if (icon == MessageIcon::Exclamation) style |= MB_ICONEXCLAMATION;
    if (icon == MessageIcon::Critical) style |= MB_ICONERROR;
    ::MessageBoxW(nullptr, prompt.c_str(), title.c_str(), style);
}

void Win32Platform::HideForm() {
    if (form_ != nullptr) ::ShowWindow(form_, SW_HIDE);
}

void Win32Platform::EndProgram() { ::ExitProcess(0); }

}  // namespace zorpa::win32
