// The lock screen's window: black, maximized over the whole monitor, borderless and above
// every normal window, with two texts above a looping animation, all kept centred whenever
// the window changes size; every other monitor gets a black cover. The person at the
// terminal cannot close, minimize, move or restore it; another program still closes it
// with WM_CLOSE.
#pragma once

#include "GdiObjects.h"
#include "Layout.h"
#include "MonitorCovers.h"

#include <windows.h>

namespace zurozoz {

class FrmZurozoz {
public:
    static constexpr const wchar_t* ClassName = L"FrmZurozoz";

    // Registers the form's class and its covers' class.
    static bool Register(HINSTANCE instance);
    // Creates the form with its controls and runs its load handler; shows nothing yet.
    HWND Create(HINSTANCE instance);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    bool CreateControls();
    void Form_Load();
    void Form_Resize();
    void Paint();
    void FillMaximized(MINMAXINFO& limits) const;
    void StayOnTop() const;

    RECT ToPixels(const Layout::TwipsRect& rect) const;

    HWND window_ = nullptr;
    HWND animation_ = nullptr;
    HINSTANCE instance_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    Layout::FormControls controls_ = Layout::Designed();
    GdiObject<HFONT> labelFont_;
    bool loaded_ = false;
    MonitorCovers covers_;
};

} // namespace zurozoz
