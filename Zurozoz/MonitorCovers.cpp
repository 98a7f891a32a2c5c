#include "MonitorCovers.h"

#include "BlackWindowClass.h"
#include "StayOnTop.h"

namespace zurozoz {

namespace {

// Never activated (clicking one leaves the foreground where it was), never in the task
// list or on the taskbar, and above every window that is not topmost itself. Not owned by
// the lock window: Windows moves owned windows in and out of the topmost band together
// with their owner, and Wine keeps them above it, where the lock window could no longer
// go back on top of the screen (see StayOnTop.h); each window keeps its own place.
constexpr DWORD CoverExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
constexpr DWORD CoverStyle = WS_POPUP;

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rect, LPARAM monitors) {
    reinterpret_cast<std::vector<PixelRect>*>(monitors)->push_back(ToPixelRect(*rect));
    return TRUE;
}

std::vector<PixelRect> CoversWanted(HWND form) {
    std::vector<PixelRect> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    MONITORINFO own{};
    own.cbSize = sizeof(own);
    if (!GetMonitorInfoW(MonitorFromWindow(form, MONITOR_DEFAULTTONEAREST), &own)) return monitors;
    return CoveredMonitors(monitors, ToPixelRect(own.rcMonitor));
}

bool Covers(HWND cover, const PixelRect& place) {
    RECT rect{};
    return IsWindowVisible(cover) && GetWindowRect(cover, &rect) && ToPixelRect(rect) == place;
}

} // namespace

bool MonitorCovers::Register(HINSTANCE instance) {
    return RegisterBlackWindowClass(instance, ClassName, WindowProc, nullptr);
}

void MonitorCovers::Follow(HWND form) {
    const std::vector<PixelRect> wanted = CoversWanted(form);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(form, GWLP_HINSTANCE));
    while (covers_.size() > wanted.size()) {
        DestroyWindow(covers_.back());
        covers_.pop_back();
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const PixelRect& place = wanted[i];
        const int width = static_cast<int>(place.Right - place.Left);
        const int height = static_cast<int>(place.Bottom - place.Top);
        if (i < covers_.size()) {
            if (!Covers(covers_[i], place)) {
                SetWindowPos(covers_[i], HWND_TOPMOST, static_cast<int>(place.Left), static_cast<int>(place.Top), width,
                             height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
            }
            continue;
        }
        // A cover that cannot be made is tried again on the next change; the lock window
        // stays up whatever happens to its covers.
        const HWND cover = CreateWindowExW(CoverExStyle, ClassName, L"", CoverStyle, static_cast<int>(place.Left),
                                           static_cast<int>(place.Top), width, height, nullptr, nullptr, instance,
                                           nullptr);
        if (cover == nullptr) break;
        covers_.push_back(cover);
        ShowWindow(cover, SW_SHOWNOACTIVATE);
    }
}

void MonitorCovers::StayOnTop() const {
    for (const HWND cover : covers_) zurozoz::StayOnTop(cover);
}

void MonitorCovers::Remove() {
    for (const HWND cover : covers_) DestroyWindow(cover);
    covers_.clear();
}

LRESULT CALLBACK MonitorCovers::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    // Only the lock window closes, and with it every cover; a cover has no commands.
    case WM_CLOSE:
    case WM_SYSCOMMAND:
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace zurozoz
