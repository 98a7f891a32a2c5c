// Prints the top-level windows of the supervisor and of the workers it started, with the
// state each is shown in, so the demo can show what the supervisor did.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The classes of the supervisor's form and of the stand-in workers.
constexpr const wchar_t* ShownClasses[] = {L"frmZORPA", L"StandInWorker"};

const char* StateOf(HWND window) {
    if (!::IsWindowVisible(window)) return "hidden";
    if (::IsIconic(window)) return "minimized";
    if (::IsZoomed(window)) return "maximized";
    return "normal";
}

BOOL CALLBACK PrintWindow(HWND window, LPARAM) {
    wchar_t className[64] = L"";
    ::GetClassNameW(window, className, 64);
    for (const wchar_t* shown : ShownClasses) {
        if (std::wstring(className) != shown) continue;
        wchar_t title[128] = L"";
        ::GetWindowTextW(window, title, 128);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        std::printf("  window %-10p pid %-6lu %-14ls \"%ls\"  %s\n", static_cast<void*>(window),
                    static_cast<unsigned long>(pid), className, title, StateOf(window));
    }
    return TRUE;
}

}  // namespace

int main() {
    std::printf("Top-level windows, top of the z-order first:\n");
    ::EnumWindows(PrintWindow, 0);
    return 0;
}
