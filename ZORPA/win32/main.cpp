#include "Win32Platform.h"

#include "Win32Error.h"
#include "Win32Handles.h"
#include "frmZORPA.h"
#include "resource.h"

namespace {

constexpr const wchar_t* FormClass = L"frmZORPA";
constexpr const wchar_t* FormCaption = L"Form1";
constexpr DWORD FormStyle = WS_OVERLAPPEDWINDOW;
// The form's designed client area, in twips (1/1440 inch).
constexpr int FormClientWidthTwips = 1755;
constexpr int FormClientHeightTwips = 420;
constexpr int TwipsPerInch = 1440;

zorpa::frmZORPA* FormOf(HWND window) {
    return reinterpret_cast<zorpa::frmZORPA*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        // The timers are never started here; a tick arrives only when another program posts one.
        if (zorpa::frmZORPA* form = FormOf(window)) form->DispatchTimer(wParam);
        return 0;
    case WM_DESTROY:
        // Closing the form, should it ever be shown, ends the supervisor.
        if (zorpa::frmZORPA* form = FormOf(window)) form->Form_Unload();
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

HICON LoadProgramIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
    return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_ZORPA), IMAGE_ICON,
                                           ::GetSystemMetrics(widthMetric),
                                           ::GetSystemMetrics(heightMetric), LR_SHARED));
}

// The outer size that gives the designed client area at the display's resolution.
SIZE FormWindowSize() {
    const zorpa::win32::UniqueScreenDc screen(::GetDC(nullptr));
    constexpr int FallbackDpi = 96;
    const int dpiX = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : FallbackDpi;
    const int dpiY = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : FallbackDpi;
    RECT frame{0, 0, ::MulDiv(FormClientWidthTwips, dpiX, TwipsPerInch),
               ::MulDiv(FormClientHeightTwips, dpiY, TwipsPerInch)};
    ::AdjustWindowRectEx(&frame, FormStyle, FALSE, 0);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

int ReportStartFailure(const wchar_t* action) {
    const DWORD error = ::GetLastError();
    const std::wstring text = std::wstring(action) + L": " + zorpa::win32::SystemErrorText(error);
    ::MessageBoxW(nullptr, text.c_str(), zorpa::frmZORPA::Title, MB_OK | MB_ICONERROR);
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW formClass{};
    formClass.cbSize = sizeof formClass;
    formClass.lpfnWndProc = FormProc;
    formClass.hInstance = instance;
    formClass.hIcon = LoadProgramIcon(instance, SM_CXICON, SM_CYICON);
    formClass.hIconSm = LoadProgramIcon(instance, SM_CXSMICON, SM_CYSMICON);
    formClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    formClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    formClass.lpszClassName = FormClass;
    if (::RegisterClassExW(&formClass) == 0) return ReportStartFailure(L"Cannot register the form");

    // Created without WS_VISIBLE: the load handler hides the form anyway, and nothing shows it.
    const SIZE size = FormWindowSize();
    const HWND window = ::CreateWindowExW(0, FormClass, FormCaption, FormStyle, CW_USEDEFAULT,
                                          CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr,
                                          instance, nullptr);
    if (window == nullptr) return ReportStartFailure(L"Cannot create the form");

    zorpa::win32::Win32Platform platform;
    platform.SetForm(window);
    zorpa::frmZORPA form(platform);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
    form.DispatchLoad();

    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
