// The lock screen: shows its window maximized and runs until the window is closed or
// the process is ended from outside.
#include "FrmZurozoz.h"
#include "KeyboardLock.h"

#include <commctrl.h>
#include <windows.h>

namespace zurozoz {

namespace {

constexpr const wchar_t* ProgramTitle = L"Zurozoz";

int Fail(const wchar_t* what) {
    MessageBoxW(nullptr, what, ProgramTitle, MB_OK | MB_ICONERROR);
    return 1;
}

} // namespace

int Run(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_ANIMATE_CLASS;
    if (!InitCommonControlsEx(&controls)) return Fail(L"The animation control is not available.");

    if (!FrmZurozoz::Register(instance)) return Fail(L"The lock window class cannot be registered.");
    FrmZurozoz form;
    const HWND window = form.Create(instance);
    if (window == nullptr) return Fail(L"The lock window cannot be created.");
    // In place before the window is shown, until the program ends. Without it (Windows
    // refused) the lock screen still stays up.
    const KeyboardLock keyboard(instance);
    ShowWindow(window, SW_SHOWMAXIMIZED);
    UpdateWindow(window);

    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) return Fail(L"The lock window's messages cannot be read.");
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace zurozoz

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return zurozoz::Run(instance); }
