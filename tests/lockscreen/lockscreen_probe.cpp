// Looks at and drives the running lock screen from outside, as the site's programs do:
//   lockscreen_probe wait TIMEOUT_MS     wait for the lock window, then describe it
//   lockscreen_probe resize X Y W H      move and size it, then describe it
//   lockscreen_probe close               post WM_CLOSE to it
// The description is two lines:
//   window LEFT TOP WIDTH HEIGHT zoomed=0|1 visible=0|1 popup=0|1 caption=0|1 sysmenu=0|1 text=TEXT
//   animation LEFT TOP WIDTH HEIGHT      (relative to the window's client area)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const wchar_t* kFormClass = L"FrmZurozoz";
constexpr const wchar_t* kAnimationClass = L"SysAnimate32";
constexpr DWORD kPollMs = 50;

HWND FindForm(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const HWND form = FindWindowW(kFormClass, nullptr);
        if (form != nullptr && IsWindowVisible(form)) return form;
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
    std::printf("window %ld %ld %ld %ld zoomed=%d visible=%d popup=%d caption=%d sysmenu=%d text=%s\n",
                outer.left, outer.top, outer.right - outer.left, outer.bottom - outer.top,
                IsZoomed(form) ? 1 : 0, IsWindowVisible(form) ? 1 : 0, (style & WS_POPUP) ? 1 : 0,
                (style & WS_CAPTION) == WS_CAPTION ? 1 : 0, (style & WS_SYSMENU) ? 1 : 0, caption);

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
    std::fprintf(stderr, "usage: lockscreen_probe wait MS | resize X Y W H | close\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
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
    return Usage();
}
