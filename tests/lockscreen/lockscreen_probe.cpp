// Looks at and drives the running lock screen from outside, as the site's programs do:
//   lockscreen_probe wait TIMEOUT_MS     wait for the lock window, then describe it
//   lockscreen_probe resize X Y W H      move and size it, then describe it
//   lockscreen_probe close               post WM_CLOSE to it
//   lockscreen_probe keys CHORD...       type with real input (SendInput), one chord after
//                                        another: "a", "enter", "alt+f4", "ctrl+esc", ...
//   lockscreen_probe stall CHORD...      type them while the lock window's thread is stopped
//                                        (SuspendThread), then let it run and wait for its answer
//   lockscreen_probe foreground          the class of the foreground window
//   lockscreen_probe click X Y           click the left button there with real input
//   lockscreen_probe syscommands         send it the window commands the keys could reach
//   lockscreen_probe minmax N            ask it for its maximized rectangle (WM_GETMINMAXINFO),
//                                        handing it a work area without a bottom taskbar of N px
//   lockscreen_probe workarea            have Wine read the monitors and their work areas again,
//                                        print the primary one's, and maximize the lock once more
//   lockscreen_probe reread              have Wine read the monitors again, as this probe's X
//                                        display shows them, for every program; print them
//   lockscreen_probe zorder CLASS        where the lock window and CLASS's window stand
//   lockscreen_probe monitors            each monitor, who shows at its centre and corners, and
//                                        each of the lock's covers
//   lockscreen_probe displaychange       move every cover off its monitor, as a monitor that
//                                        changed leaves it, and send WM_DISPLAYCHANGE
//   lockscreen_probe listen LOG MS       hear with a low-level keyboard hook, for at most MS or
//                                        until F12 comes up, every key that reaches it: a hook
//                                        installed later (the lock's) is asked first
// The description is two lines:
//   window LEFT TOP WIDTH HEIGHT zoomed=0|1 visible=0|1 popup=0|1 caption=0|1 sysmenu=0|1 topmost=0|1 text=TEXT
//   animation LEFT TOP WIDTH HEIGHT      (relative to the window's client area)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kFormClass = L"FrmZurozoz";
constexpr const wchar_t* kAnimationClass = L"SysAnimate32";
constexpr const wchar_t* kCoverClass = L"ZurozozCover";
constexpr DWORD kPollMs = 50;

HWND FindForm(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const HWND form = FindWindowW(kFormClass, nullptr);
        if (form != nullptr && IsWindowVisible(form)) {
            // Visible comes before the lock has laid out its maximized window: an answer
            // comes only once its thread is back in its message loop.
            SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, nullptr);
            return form;
        }
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(kPollMs);
    }
}

int Describe(HWND form) {
    RECT outer{};
    GetWindowRect(form, &outer);
    const LONG_PTR style = GetWindowLongPtrW(form, GWL_STYLE);
    char caption[256] = {};
    GetWindowTextA(form, caption, sizeof(caption));
    const LONG_PTR exStyle = GetWindowLongPtrW(form, GWL_EXSTYLE);
    std::printf("window %ld %ld %ld %ld zoomed=%d visible=%d popup=%d caption=%d sysmenu=%d topmost=%d text=%s\n",
                outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top,
                IsZoomed(form) ? 1 : 0, IsWindowVisible(form) ? 1 : 0, (style & WS_POPUP) ? 1 : 0,
                (style & WS_CAPTION) == WS_CAPTION ? 1 : 0, (style & WS_SYSMENU) ? 1 : 0,
                (exStyle & WS_EX_TOPMOST) ? 1 : 0, caption);

    const HWND animation = FindWindowExW(form, nullptr, kAnimationClass, nullptr);
    if (animation == nullptr) {
        std::printf("animation none\n");
        return 1;
    }
    RECT area{};
    GetWindowRect(animation, &area);
    MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&area), 2);
    std::printf("animation %ld %ld %ld %ld\n", area.left, area.top, area.right - area.left,
                area.bottom - area.top);
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: lockscreen_probe wait MS | resize X Y W H | close | keys CHORD... |"
                         " foreground | click X Y | syscommands | minmax N | workarea |"
                         " zorder CLASS | monitors | displaychange | listen LOG MS | stall CHORD... | reread\n");
    return 2;
}

// --- real input ---

WORD KeyCode(const std::string& name) {
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') return static_cast<WORD>(name[0] - 'a' + 'A');
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return static_cast<WORD>(name[0]);
    static const struct { const char* name; WORD code; } named[] = {
        {"alt", VK_MENU},   {"lalt", VK_LMENU},   {"ctrl", VK_CONTROL}, {"shift", VK_SHIFT}, {"enter", VK_RETURN},
        {"space", VK_SPACE}, {"tab", VK_TAB},     {"esc", VK_ESCAPE},  {"f4", VK_F4},
        {"lwin", VK_LWIN},  {"rwin", VK_RWIN},    {"down", VK_DOWN},   {"up", VK_UP},
        {"f12", VK_F12}};
    for (const auto& key : named) {
        if (name == key.name) return key.code;
    }
    return 0;
}

INPUT KeyInput(WORD code, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(code, 0));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (code == VK_LWIN || code == VK_RWIN) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    return input;
}

// "alt+f4": every key down in order, then up in reverse order, as a person types it.
int TypeChord(const std::string& chord) {
    std::vector<WORD> codes;
    std::size_t start = 0;
    for (;;) {
        const std::size_t plus = chord.find('+', start);
        const std::string name = chord.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        const WORD code = KeyCode(name);
        if (code == 0) {
            std::printf("unknown key %s\n", name.c_str());
            return 1;
        }
        codes.push_back(code);
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    std::vector<INPUT> inputs;
    for (WORD code : codes) inputs.push_back(KeyInput(code, false));
    for (auto it = codes.rbegin(); it != codes.rend(); ++it) inputs.push_back(KeyInput(*it, true));
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size()) {
        std::printf("SendInput sent %u of %u events: %lu\n", sent, static_cast<unsigned>(inputs.size()),
                    GetLastError());
        return 1;
    }
    std::printf("typed %s\n", chord.c_str());
    // Let the keys reach whoever gets them before the next chord.
    Sleep(150);
    return 0;
}

// How long a stopped thread may take to stop (Wine stops it at its next chance), and how
// long it may take to answer once it runs again.
constexpr DWORD kStopMs = 200;
constexpr DWORD kAnswerMs = 5000;

// A lock window whose thread does not run (busy painting, loading, paged out) while the
// person at the terminal types.
int TypeWhileStalled(HWND form, char** chords, int count) {
    const HANDLE thread =
        OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(form, nullptr));
    if (thread == nullptr || SuspendThread(thread) == static_cast<DWORD>(-1)) {
        std::printf("cannot stop the lock window's thread: %lu\n", GetLastError());
        if (thread != nullptr) CloseHandle(thread);
        return 1;
    }
    Sleep(kStopMs);
    const DWORD start = GetTickCount();
    int result = 0;
    for (int i = 0; i < count && result == 0; ++i) result = TypeChord(chords[i]);
    std::printf("typed for %lu ms while the lock window's thread was stopped\n",
                GetTickCount() - start);
    ResumeThread(thread);
    CloseHandle(thread);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &answer)) {
        std::printf("the lock window does not answer again\n");
        return 1;
    }
    return result;
}

int Click(int x, int y) {
    INPUT inputs[2]{};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    if (!SetCursorPos(x, y) || SendInput(2, inputs, sizeof(INPUT)) != 2) return 1;
    // Let the click reach whoever gets it.
    Sleep(150);
    return 0;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    if (window == nullptr || GetClassNameA(window, name, sizeof(name)) == 0) return "none";
    return name;
}

// --- window commands ---

int SendSystemCommands(HWND form) {
    static const struct { const char* name; WPARAM command; } commands[] = {
        {"close", SC_CLOSE},     {"minimize", SC_MINIMIZE}, {"restore", SC_RESTORE},
        {"maximize", SC_MAXIMIZE}, {"move", SC_MOVE},       {"size", SC_SIZE},
        {"keymenu", SC_KEYMENU}, {"tasklist", SC_TASKLIST}, {"nextwindow", SC_NEXTWINDOW},
        // Windows sets the four low bits itself: a close or a drag from the title bar.
        {"close-from-caption", SC_CLOSE | HTCAPTION}, {"move-from-caption", SC_MOVE | HTCAPTION}};
    for (const auto& command : commands) {
        DWORD_PTR result = 0;
        // A command that started a modal move or menu loop would not return in time.
        const bool answered = SendMessageTimeoutW(form, WM_SYSCOMMAND, command.command, 0,
                                                  SMTO_NORMAL, 2000, &result) != 0;
        std::printf("syscommand %s %s\n", command.name, answered ? "answered" : "timed-out");
        if (!answered || !IsWindow(form)) return 1;
    }
    return 0;
}

void PrintRect(const char* what, const RECT& rect) {
    std::printf("%s %ld %ld %ld %ld\n", what, rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
}

MONITORINFO PrimaryMonitor() {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return info;
}

// What the window asks for when it is maximized. The structure is handed over filled with
// a work area that leaves a taskbar's strip of `taskbar` pixels free at the bottom, as the
// window manager fills it for a window that keeps the taskbar free; the system copies it
// to the window's process and back. (Under Wine 8 another program's work area cannot be
// changed: SPI_SETWORKAREA is seen only by the process that set it.)
int AskMaximized(HWND form, int taskbar) {
    const MONITORINFO monitor = PrimaryMonitor();
    RECT work = monitor.rcMonitor;
    work.bottom -= taskbar;
    PrintRect("monitor", monitor.rcMonitor);
    PrintRect("work", work);
    MINMAXINFO limits{};
    limits.ptMaxPosition = POINT{work.left, work.top};
    limits.ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
    limits.ptMaxTrackSize = limits.ptMaxSize;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(form, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits), SMTO_NORMAL,
                             2000, &result)) {
        std::printf("WM_GETMINMAXINFO failed: %lu\n", GetLastError());
        return 1;
    }
    const RECT asked{limits.ptMaxPosition.x, limits.ptMaxPosition.y,
                     limits.ptMaxPosition.x + limits.ptMaxSize.x, limits.ptMaxPosition.y + limits.ptMaxSize.y};
    PrintRect("maximized", asked);
    return 0;
}

// Wine reads the monitors again (and sends every window WM_DISPLAYCHANGE) when a program
// sets the display modes, even to what they are: from the X display that program runs on,
// and for every program.
bool ReadMonitorsAgain() {
    const LONG changed = ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
    if (changed != DISP_CHANGE_SUCCESSFUL) std::printf("ChangeDisplaySettingsExW: %ld\n", changed);
    return changed == DISP_CHANGE_SUCCESSFUL;
}

// Wine takes every monitor's work area from the X root window's _NET_WORKAREA, as a Linux
// panel publishes it, and reads it only when it reads the monitors again: for every process,
// where SPI_SETWORKAREA reaches only its caller. A maximized window keeps its place until it
// is maximized again.
int MaximizeAgain(HWND form) {
    if (!ReadMonitorsAgain()) return 1;
    PrintRect("work", PrimaryMonitor().rcWork);
    if (form == nullptr) return 1;
    ShowWindow(form, SW_RESTORE);
    ShowWindow(form, SW_MAXIMIZE);
    return Describe(FindForm(2000));
}

struct ZOrder {
    std::string coverClass;
    HWND form;
    int index = 0;
    int formAt = -1;
    int coverAt = -1;
    HWND cover = nullptr;
};

BOOL CALLBACK VisitInZOrder(HWND window, LPARAM context) {
    auto& order = *reinterpret_cast<ZOrder*>(context);
    if (window == order.form) order.formAt = order.index;
    if (order.coverAt < 0 && IsWindowVisible(window) && ClassOf(window) == order.coverClass) {
        order.coverAt = order.index;
        order.cover = window;
    }
    ++order.index;
    return TRUE;
}

// The places of both windows in the z-order (0 is the top), and each one's topmost flag.
int DescribeZOrder(HWND form, const char* coverClass) {
    ZOrder order{coverClass, form};
    EnumWindows(VisitInZOrder, reinterpret_cast<LPARAM>(&order));
    if (order.cover == nullptr) {
        std::printf("no %s window\n", coverClass);
        return 1;
    }
    // Walking down from the lock window must meet the cover: it lies below.
    bool below = false;
    for (HWND next = GetWindow(form, GW_HWNDNEXT); next != nullptr; next = GetWindow(next, GW_HWNDNEXT)) {
        if (next == order.cover) below = true;
    }
    std::printf("zorder lock=%d cover=%d cover_below_lock=%d lock_topmost=%d cover_topmost=%d\n",
                order.formAt, order.coverAt, below ? 1 : 0,
                (GetWindowLongPtrW(form, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0,
                (GetWindowLongPtrW(order.cover, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
    RECT coverRect{};
    GetWindowRect(order.cover, &coverRect);
    PrintRect("cover", coverRect);
    std::printf("cover zoomed=%d\n", IsZoomed(order.cover) ? 1 : 0);
    return 0;
}

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rect, LPARAM monitors) {
    reinterpret_cast<std::vector<RECT>*>(monitors)->push_back(*rect);
    return TRUE;
}

// Per monitor: how many of its centre and four corners show a window of the lock's
// process, and the class of the window at its centre; then the lock's covers.
int DescribeMonitors() {
    const HWND form = FindWindowW(kFormClass, nullptr);
    DWORD lock = 0;
    if (form != nullptr) GetWindowThreadProcessId(form, &lock);
    std::vector<RECT> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    for (const RECT& m : monitors) {
        const POINT points[] = {{(m.left + m.right) / 2, (m.top + m.bottom) / 2}, {m.left, m.top},
                                {m.right - 1, m.top}, {m.left, m.bottom - 1}, {m.right - 1, m.bottom - 1}};
        int locked = 0;
        for (const POINT& point : points) {
            DWORD owner = 0;
            GetWindowThreadProcessId(WindowFromPoint(point), &owner);
            if (lock != 0 && owner == lock) ++locked;
        }
        std::printf("monitor %ld %ld %ld %ld lock=%d/5 centre=%s\n", m.left, m.top, m.right - m.left,
                    m.bottom - m.top, locked, ClassOf(GetAncestor(WindowFromPoint(points[0]), GA_ROOT)).c_str());
    }
    for (HWND cover = nullptr; (cover = FindWindowExW(nullptr, cover, kCoverClass, nullptr)) != nullptr;) {
        RECT place{};
        GetWindowRect(cover, &place);
        const LONG_PTR style = GetWindowLongPtrW(cover, GWL_STYLE);
        std::printf("cover %ld %ld %ld %ld visible=%d owned=%d topmost=%d popup=%d caption=%d text=%d\n", place.left,
                    place.top, place.right - place.left, place.bottom - place.top, IsWindowVisible(cover) ? 1 : 0,
                    GetWindow(cover, GW_OWNER) == form ? 1 : 0,
                    (GetWindowLongPtrW(cover, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0, (style & WS_POPUP) ? 1 : 0,
                    (style & WS_CAPTION) != 0 ? 1 : 0, GetWindowTextLengthW(cover));
    }
    return 0;
}

int DisplayChanged(HWND form) {
    for (HWND cover = nullptr; (cover = FindWindowExW(nullptr, cover, kCoverClass, nullptr)) != nullptr;) {
        SetWindowPos(cover, nullptr, 0, 0, 10, 10, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    DWORD_PTR result = 0;
    const LPARAM size = MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return SendMessageTimeoutW(form, WM_DISPLAYCHANGE, 32, size, SMTO_NORMAL, 2000, &result) ? 0 : 1;
}

FILE* Heard = nullptr;

LRESULT CALLBACK HearKey(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto& key = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool up = (key.flags & LLKHF_UP) != 0;
        std::fprintf(Heard, "key 0x%02lX %s\n", key.vkCode, up ? "up" : "down");
        std::fflush(Heard);
        if (key.vkCode == VK_F12 && up) PostQuitMessage(0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int ListenToKeys(const char* log, DWORD ms) {
    Heard = std::fopen(log, "w");
    if (Heard == nullptr) return 1;
    const HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, HearKey, GetModuleHandleW(nullptr), 0);
    std::fprintf(Heard, hook != nullptr ? "listening\n" : "no hook\n");
    std::fflush(Heard);
    SetTimer(nullptr, 0, ms, nullptr);
    MSG message;
    while (hook != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER) {
        DispatchMessageW(&message);
    }
    if (hook != nullptr) UnhookWindowsHookEx(hook);
    std::fclose(Heard);
    return hook != nullptr ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (std::strcmp(argv[1], "foreground") == 0 && argc == 2) {
        std::printf("foreground %s\n", ClassOf(GetForegroundWindow()).c_str());
        return 0;
    }
    if (std::strcmp(argv[1], "monitors") == 0 && argc == 2) return DescribeMonitors();
    if (std::strcmp(argv[1], "click") == 0 && argc == 4) return Click(std::atoi(argv[2]), std::atoi(argv[3]));
    if (std::strcmp(argv[1], "workarea") == 0 && argc == 2) return MaximizeAgain(FindForm(0));
    if (std::strcmp(argv[1], "listen") == 0 && argc == 4) return ListenToKeys(argv[2], std::atoi(argv[3]));
    if (std::strcmp(argv[1], "reread") == 0 && argc == 2) return ReadMonitorsAgain() ? DescribeMonitors() : 1;
    if (std::strcmp(argv[1], "wait") == 0 && argc == 3) {
        const HWND form = FindForm(static_cast<DWORD>(std::atoi(argv[2])));
        if (form == nullptr) {
            std::printf("no lock window\n");
            return 1;
        }
        return Describe(form);
    }
    const HWND form = FindForm(0);
    if (form == nullptr) {
        std::printf("no lock window\n");
        return 1;
    }
    if (std::strcmp(argv[1], "resize") == 0 && argc == 6) {
        if (!SetWindowPos(form, nullptr, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                          std::atoi(argv[5]), SWP_NOZORDER | SWP_NOACTIVATE)) {
            std::printf("SetWindowPos failed: %lu\n", GetLastError());
            return 1;
        }
        return Describe(form);
    }
    if (std::strcmp(argv[1], "close") == 0 && argc == 2) {
        return PostMessageW(form, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (std::strcmp(argv[1], "keys") == 0 && argc >= 3) {
        for (int i = 2; i < argc; ++i) {
            if (TypeChord(argv[i]) != 0) return 1;
        }
        return 0;
    }
    if (std::strcmp(argv[1], "stall") == 0 && argc >= 3) return TypeWhileStalled(form, argv + 2, argc - 2);
    if (std::strcmp(argv[1], "syscommands") == 0 && argc == 2) return SendSystemCommands(form);
    if (std::strcmp(argv[1], "minmax") == 0 && argc == 3) return AskMaximized(form, std::atoi(argv[2]));
    if (std::strcmp(argv[1], "zorder") == 0 && argc == 3) return DescribeZOrder(form, argv[2]);
    if (std::strcmp(argv[1], "displaychange") == 0 && argc == 2) return DisplayChanged(form);
    return Usage();
}
