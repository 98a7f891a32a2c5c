// Another program that tries to cover the lock screen, as TULVAN does when it is started
// maximized with focus: it shows a red maximized window of its own, takes the foreground,
// and writes every key message it receives to a log file, one line each. "topmost" makes
// the window topmost, as a worker's own always-on-top window; "at X Y" shows it maximized
// on the monitor of that point.
//   lockscreen_cover LOG_FILE [topmost] [at X Y]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const wchar_t* CoverClass = L"LockScreenCover";
FILE* Log = nullptr;

const char* KeyMessageName(UINT message) {
    switch (message) {
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_SYSKEYDOWN: return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP: return "WM_SYSKEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_SYSCHAR: return "WM_SYSCHAR";
    case WM_DEADCHAR: return "WM_DEADCHAR";
    case WM_SYSDEADCHAR: return "WM_SYSDEADCHAR";
    default: return nullptr;
    }
}

LRESULT CALLBACK CoverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (const char* name = KeyMessageName(message)) {
        std::fprintf(Log, "key %s 0x%02X\n", name, static_cast<unsigned>(wParam));
        std::fflush(Log);
    }
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return 2;
    Log = std::fopen(__argv[1], "w");
    if (Log == nullptr) return 2;
    DWORD exStyle = 0;
    POINT at{0, 0};
    for (int i = 2; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "topmost") == 0) exStyle |= WS_EX_TOPMOST;
        if (std::strcmp(__argv[i], "at") == 0 && i + 2 < __argc) {
            at = POINT{std::atoi(__argv[i + 1]), std::atoi(__argv[i + 2])};
            i += 2;
        }
    }
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = CoverProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = CreateSolidBrush(RGB(0xFF, 0, 0));
    windowClass.lpszClassName = CoverClass;
    if (!RegisterClassExW(&windowClass)) return 1;
    const HWND window = CreateWindowExW(exStyle, CoverClass, L"Cover", WS_OVERLAPPEDWINDOW, at.x, at.y, 400, 300,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, SW_SHOWMAXIMIZED);
    UpdateWindow(window);
    SetForegroundWindow(window);
    SetFocus(window);
    std::fprintf(Log, "shown foreground=%d\n", GetForegroundWindow() == window ? 1 : 0);
    std::fflush(Log);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    std::fclose(Log);
    return 0;
}
