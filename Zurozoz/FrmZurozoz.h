// The lock screen's one window: black, maximized, borderless, with two texts above a
// looping animation, all kept centred whenever the window changes size.
#pragma once

#include "GdiObjects.h"
#include "Layout.h"

#include <windows.h>

class FrmZurozoz {
public:
    static constexpr const wchar_t* kClassName = L"FrmZurozoz";

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

    RECT ToPixels(const Layout::TwipsRect& rect) const;

    HWND window_ = nullptr;
    HWND animation_ = nullptr;
    HINSTANCE instance_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;
    Layout::FormControls controls_ = Layout::Designed();
    GdiObject<HFONT> labelFont_;
    bool loaded_ = false;
};
