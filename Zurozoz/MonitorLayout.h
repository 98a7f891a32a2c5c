// Which monitors the lock screen covers and where its window stands maximized. Pure
// arithmetic in pixels, free of any window code.
#pragma once

#include <vector>

namespace zurozoz {

// A rectangle in virtual-screen pixels, right and bottom excluded, as Windows gives them.
struct PixelRect {
    long Left;
    long Top;
    long Right;
    long Bottom;
};

bool operator==(const PixelRect& a, const PixelRect& b);

// From a Windows RECT (or anything with the same four fields).
template <typename Rect>
PixelRect ToPixelRect(const Rect& rect) {
    return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

struct MonitorArea {
    PixelRect Whole;
    // What the taskbar and docked bars leave free.
    PixelRect Work;
};

// The maximized window covers its whole monitor, the taskbar included.
PixelRect MaximizedRect(const MonitorArea& monitor);

// The monitors that get a cover window: every one but the form's own, leaving out empty
// ones and any that lies wholly on the form's monitor or on one already covered (a
// monitor that shows a copy of another), in the order given.
std::vector<PixelRect> CoveredMonitors(const std::vector<PixelRect>& monitors, const PixelRect& formMonitor);

} // namespace zurozoz
