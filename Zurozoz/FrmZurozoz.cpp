#include "FrmZurozoz.h"

#include "ProgramFolder.h"
#include "resource.h"
#include "Twips.h"

#include <commctrl.h>

#include <cmath>
#include <string>

namespace {

constexpr const wchar_t* kCaption = L"Form1";
constexpr const wchar_t* kLabel1Text = L"TERMINAL BLOQUEADA POR EL SERVIDOR";
constexpr const wchar_t* kLabel2Text = L"POR FAVOR ESPERE";
constexpr const wchar_t* kClipName = L"\\Drillrle.avi";

constexpr const wchar_t* kLabelFontFace = L"Arial";
constexpr float kLabelFontPoints = 27.75f;
constexpr int kPointsPerInch = 72;
constexpr COLORREF kLabelColour = RGB(0xFF, 0xFF, 0xFF);

// Where the window stands before it is maximized: the designed client area, which is
// the whole window since it has no border.
constexpr Layout::TwipsRect kDesignedClient{1170.0f, 1845.0f, 8850.0f, 5730.0f};

constexpr int kAnimationId = 1;

// No border and no control box: the window covers the screen and offers nothing to
// close it with. WM_CLOSE from another program still ends it.
constexpr DWORD kFormStyle = WS_POPUP | WS_CLIPCHILDREN;

} // namespace

bool FrmZurozoz::Register(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ZUROZOZ));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0;
}

HWND FrmZurozoz::Create(HINSTANCE instance) {
    instance_ = instance;
    {
        const WindowDc screen(nullptr);
        dpiX_ = GetDeviceCaps(screen.get(), LOGPIXELSX);
        dpiY_ = GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    const RECT placed = ToPixels(kDesignedClient);
    return CreateWindowExW(0, kClassName, kCaption, kFormStyle, placed.left, placed.top,
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
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_CTLCOLORSTATIC:
        // The animation control's background, around and behind the clip.
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    case WM_DESTROY:
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
    font.lfHeight = -static_cast<LONG>(std::lround(kLabelFontPoints * dpiY_ / kPointsPerInch));
    font.lfWeight = FW_BOLD;
    font.lfItalic = TRUE;
    font.lfCharSet = ANSI_CHARSET;
    lstrcpynW(font.lfFaceName, kLabelFontFace, LF_FACESIZE);
    labelFont_ = GdiObject<HFONT>(CreateFontIndirectW(&font));
    if (labelFont_.get() == nullptr) return false;

    // Centred, so the clip stays in the middle of the designed area whatever its size.
    const RECT area = ToPixels(controls_.Animation);
    animation_ = CreateWindowExW(0, ANIMATE_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | ACS_CENTER,
                                 area.left, area.top, area.right - area.left, area.bottom - area.top,
                                 window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kAnimationId)),
                                 instance_, nullptr);
    return animation_ != nullptr;
}

void FrmZurozoz::Form_Load() {
    SetWindowLongPtrW(animation_, GWL_STYLE, GetWindowLongPtrW(animation_, GWL_STYLE) | ACS_AUTOPLAY);
    // A missing or broken clip leaves the lock screen up without the animation: the
    // terminal must stay locked whatever happened to the file.
    const std::wstring clip = ProgramFolder() + kClipName;
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
    SetTextColor(dc.get(), kLabelColour);
    // Back to front: Label2 lies behind Label1.
    RECT label2 = ToPixels(controls_.Label2);
    DrawTextW(dc.get(), kLabel2Text, -1, &label2, DT_CENTER | DT_WORDBREAK);
    RECT label1 = ToPixels(controls_.Label1);
    DrawTextW(dc.get(), kLabel1Text, -1, &label1, DT_CENTER | DT_WORDBREAK);
}

RECT FrmZurozoz::ToPixels(const Layout::TwipsRect& rect) const {
    const int left = Twips::ToPixels(rect.Left, dpiX_);
    const int top = Twips::ToPixels(rect.Top, dpiY_);
    return RECT{left, top, left + Twips::ToPixels(rect.Width, dpiX_),
                top + Twips::ToPixels(rect.Height, dpiY_)};
}
