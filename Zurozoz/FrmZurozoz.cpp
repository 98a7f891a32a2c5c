#include "FrmZurozoz.h"

#include "BlackWindowClass.h"
#include "ProgramFolder.h"
#include "resource.h"
#include "StayOnTop.h"
#include "Twips.h"

#include <commctrl.h>

#include <cmath>
#include <string>

namespace zurozoz {

namespace {

constexpr const wchar_t* Caption = L"Form1";
constexpr const wchar_t* Label1Text = L"TERMINAL BLOQUEADA POR EL SERVIDOR";
constexpr const wchar_t* Label2Text = L"POR FAVOR ESPERE";
constexpr const wchar_t* ClipName = L"\\Drillrle.avi";

constexpr const wchar_t* LabelFontFace = L"Arial";
constexpr float LabelFontPoints = 27.75f;
constexpr int PointsPerInch = 72;
constexpr COLORREF LabelColour = RGB(0xFF, 0xFF, 0xFF);

// Where the window stands before it is maximized: the designed client area, which is
// the whole window since it has no border.
constexpr Layout::TwipsRect DesignedClient{1170.0f, 1845.0f, 8850.0f, 5730.0f};

constexpr int AnimationId = 1;

// No border and no control box: the window covers the screen and offers nothing to
// close it with. WM_CLOSE from another program still ends it.
constexpr DWORD FormStyle = WS_POPUP | WS_CLIPCHILDREN;
// Above every window that is not topmost itself, whichever program shows or activates it.
constexpr DWORD FormExStyle = WS_EX_TOPMOST;

// After another window was activated, the lock window goes back on top once more this much
// later, when the other program has shown its window.
constexpr UINT_PTR StayOnTopTimerId = 1;
constexpr UINT StayOnTopDelayMs = 250;

// After the monitors changed, the covers follow once more this much later, when Windows
// has placed every monitor and moved the windows on them.
constexpr UINT_PTR FollowMonitorsTimerId = 2;
constexpr UINT FollowMonitorsDelayMs = 500;

// The window commands the person at the terminal could reach through keys (Alt+F4, the
// window menu on Alt+Space, Alt alone, task switching); each does nothing here.
bool IsRefusedCommand(WPARAM command) {
    switch (command & 0xFFF0) {
    case SC_CLOSE:
    case SC_MINIMIZE:
    case SC_MAXIMIZE:
    case SC_RESTORE:
    case SC_MOVE:
    case SC_SIZE:
    case SC_KEYMENU:
    case SC_MOUSEMENU:
    case SC_TASKLIST:
    case SC_NEXTWINDOW:
    case SC_PREVWINDOW:
    case SC_HOTKEY:
    case SC_ARRANGE:
        return true;
    default:
        return false;
    }
}

} // namespace

bool FrmZurozoz::Register(HINSTANCE instance) {
    const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ZUROZOZ));
    return RegisterBlackWindowClass(instance, ClassName, WindowProc, icon) && MonitorCovers::Register(instance);
}

HWND FrmZurozoz::Create(HINSTANCE instance) {
    instance_ = instance;
    {
        const WindowDc screen(nullptr);
        dpiX_ = GetDeviceCaps(screen.get(), LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    const RECT placed = ToPixels(DesignedClient);
    return CreateWindowExW(FormExStyle, ClassName, Caption, FormStyle, placed.left, placed.top,
                           placed.right - placed.left, placed.bottom - placed.top, nullptr,
                           nullptr, instance, this);
}

LRESULT CALLBACK FrmZurozoz::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<FrmZurozoz*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<FrmZurozoz*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return form->HandleMessage(message, wParam, lParam);
}

LRESULT FrmZurozoz::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (!CreateControls()) return -1;
        Form_Load();
        loaded_ = true;
        return 0;
    case WM_SIZE:
        Form_Resize();
        covers_.Follow(window_);
        return 0;
    case WM_MOVE:
        // Moved onto another monitor: the one it left gets a cover.
        covers_.Follow(window_);
        return 0;
    case WM_DISPLAYCHANGE:
        covers_.Follow(window_);
        SetTimer(window_, FollowMonitorsTimerId, FollowMonitorsDelayMs, nullptr);
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_PAINT:
        Paint();
        return 0;
    case WM_SYSCOMMAND:
        if (IsRefusedCommand(wParam)) return 0;
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_GETMINMAXINFO:
        FillMaximized(*reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_ACTIVATE:
        // Another window was activated: whatever it did to the z-order, the lock window and
        // its covers go back to the top, without taking the activation back; and once more
        // when the other program has had time to show its window (see StayOnTop).
        if (LOWORD(wParam) == WA_INACTIVE) {
            StayOnTop();
            SetTimer(window_, StayOnTopTimerId, StayOnTopDelayMs, nullptr);
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    case WM_TIMER:
        if (wParam != StayOnTopTimerId && wParam != FollowMonitorsTimerId) {
            return DefWindowProcW(window_, message, wParam, lParam);
        }
        KillTimer(window_, wParam);
        if (wParam == StayOnTopTimerId) StayOnTop();
        else covers_.Follow(window_);
        return 0;
    case WM_CTLCOLORSTATIC:
        // The animation control's background, around and behind the clip.
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    case WM_DESTROY:
        covers_.Remove();
        // A form that failed to load leaves the error report to its creator, whose
        // message box would close at once on a pending quit.
        if (loaded_) PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

bool FrmZurozoz::CreateControls() {
    LOGFONTW font{};
    font.lfHeight = -static_cast<LONG>(std::lround(LabelFontPoints * dpiY_ / PointsPerInch));
    font.lfWeight = FW_BOLD;
    font.lfItalic = TRUE;
    font.lfCharSet = ANSI_CHARSET;
    lstrcpynW(font.lfFaceName, LabelFontFace, LF_FACESIZE);
    labelFont_ = GdiObject<HFONT>(CreateFontIndirectW(&font));
    if (labelFont_.get() == nullptr) return false;

    // Centred, so the clip stays in the middle of the designed area whatever its size.
    const RECT area = ToPixels(controls_.Animation);
    animation_ = CreateWindowExW(0, ANIMATE_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | ACS_CENTER,
                                 area.left, area.top, area.right - area.left, area.bottom - area.top,
                                 window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(AnimationId)),
                                 instance_, nullptr);
    return animation_ != nullptr;
}

void FrmZurozoz::Form_Load() {
    SetWindowLongPtrW(animation_, GWL_STYLE, GetWindowLongPtrW(animation_, GWL_STYLE) | ACS_AUTOPLAY);
    // A missing or broken clip leaves the lock screen up without the animation: the
    // terminal must stay locked whatever happened to the file.
    const std::wstring clip = ProgramFolder() + ClipName;
    Animate_Open(animation_, clip.c_str());
}

void FrmZurozoz::Form_Resize() {
    RECT outer{};
    GetWindowRect(window_, &outer);
    controls_ = Layout::Form_Resize(controls_, Twips::FromPixels(outer.right - outer.left, dpiX_));

    const RECT area = ToPixels(controls_.Animation);
    MoveWindow(animation_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    InvalidateRect(window_, nullptr, TRUE);
}

void FrmZurozoz::Paint() {
    const PaintDc dc(window_);
    const SelectedObject font(dc.get(), labelFont_.get());
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), LabelColour);
    // Back to front: Label2 lies behind Label1.
    RECT label2 = ToPixels(controls_.Label2);
    DrawTextW(dc.get(), Label2Text, -1, &label2, DT_CENTER | DT_WORDBREAK);
    RECT label1 = ToPixels(controls_.Label1);
    DrawTextW(dc.get(), Label1Text, -1, &label1, DT_CENTER | DT_WORDBREAK);
}

// The form and its covers, each on its own monitor. The other program's window reaches
// the screen only when that program next waits for messages, hence the second, later call.
void FrmZurozoz::StayOnTop() const {
    zurozoz::StayOnTop(window_);
    covers_.StayOnTop();
}

// Maximized, the window covers its whole monitor, the taskbar's area included: the
// monitor's rectangle, not its work area. MINMAXINFO speaks of the primary monitor, and
// Windows moves the position to the window's own monitor and grows or shrinks a size that
// covers the primary monitor by the difference between the two; so the primary monitor's
// rectangle stands for the whole of whichever monitor the window is on.
void FrmZurozoz::FillMaximized(MINMAXINFO& limits) const {
    const POINT origin{0, 0};
    MONITORINFO primary{};
    primary.cbSize = sizeof(primary);
    if (!GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &primary)) return;
    const PixelRect maximized =
        MaximizedRect(MonitorArea{ToPixelRect(primary.rcMonitor), ToPixelRect(primary.rcWork)});
    limits.ptMaxPosition.x = maximized.Left;
    limits.ptMaxPosition.y = maximized.Top;
    limits.ptMaxSize.x = maximized.Right - maximized.Left;
    limits.ptMaxSize.y = maximized.Bottom - maximized.Top;
}

RECT FrmZurozoz::ToPixels(const Layout::TwipsRect& rect) const {
    const int left = Twips::ToPixels(rect.Left, dpiX_);
    const int top = Twips::ToPixels(rect.Top, dpiY_);
    return RECT{left, top, left + Twips::ToPixels(rect.Width, dpiX_),
                top + Twips::ToPixels(rect.Height, dpiY_)};
}

} // namespace zurozoz
