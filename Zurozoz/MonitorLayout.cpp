#include "MonitorLayout.h"

#include <algorithm>

namespace zurozoz {

namespace {

bool IsEmpty(const PixelRect& rect) { return rect.Right <= rect.Left || rect.Bottom <= rect.Top; }

bool Contains(const PixelRect& outer, const PixelRect& inner) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

} // namespace

bool operator==(const PixelRect& a, const PixelRect& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

PixelRect MaximizedRect(const MonitorArea& monitor) { return monitor.Whole; }

std::vector<PixelRect> CoveredMonitors(const std::vector<PixelRect>& monitors, const PixelRect& formMonitor) {
    std::vector<PixelRect> covered;
    for (const PixelRect& monitor : monitors) {
        const auto alreadyShown = [&monitor](const PixelRect& shown) { return Contains(shown, monitor); };
        if (IsEmpty(monitor) || alreadyShown(formMonitor) ||
            std::any_of(covered.begin(), covered.end(), alreadyShown)) {
            continue;
        }
        covered.push_back(monitor);
    }
    return covered;
}

} // namespace zurozoz
