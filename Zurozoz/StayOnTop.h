// Putting a lock window back on top of every other window.
#pragma once

#include <windows.h>

namespace zurozoz {

// Moves the window to the top of the z-order, above a window that was just shown or
// activated, without taking the activation. Windows draws by the z-order, where a topmost
// window always stays above the others. Wine's X11 driver without a window manager does
// not: it puts a newly shown window on top on screen, and restacks a window only when its
// z-order changes while it is first, which a plain HWND_TOPMOST of a window that already
// is first does not do; leaving the topmost band and entering it again does.
inline void StayOnTop(HWND window) {
    constexpr UINT Flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, Flags);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, Flags);
}

} // namespace zurozoz
