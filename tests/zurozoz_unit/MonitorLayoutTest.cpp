#include "MonitorLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using zurozoz::PixelRect;

constexpr PixelRect kPrimary{0, 0, 1280, 1024};
constexpr PixelRect kRight{1280, 0, 2080, 600};
constexpr PixelRect kLeft{-1024, 200, 0, 968};

TEST(MonitorLayoutMaximized, CoversTheWholeMonitorWhateverTheTaskbarLeavesFree) {
    // The taskbar at the bottom, on the left, at the top, and hidden.
    for (const PixelRect& work : {PixelRect{0, 0, 1280, 984}, PixelRect{62, 0, 1280, 1024},
                                  PixelRect{0, 40, 1280, 1024}, kPrimary}) {
        EXPECT_EQ(zurozoz::MaximizedRect({kPrimary, work}), kPrimary) << "work area ending at " << work.Bottom;
    }
}

TEST(MonitorLayoutCovers, EveryMonitorButTheFormsOwnOnce) {
    struct Case {
        const char* what;
        std::vector<PixelRect> monitors;
        PixelRect form;
        std::vector<PixelRect> covered;
    };
    const Case cases[] = {
        {"one monitor", {kPrimary}, kPrimary, {}},
        {"a second one on the right", {kPrimary, kRight}, kPrimary, {kRight}},
        {"the form moved to the second", {kPrimary, kRight}, kRight, {kPrimary}},
        {"three, one left of the primary", {kLeft, kPrimary, kRight}, kPrimary, {kLeft, kRight}},
        {"a copy of the primary at its size", {kPrimary, kPrimary}, kPrimary, {}},
        {"a smaller copy of the primary", {kPrimary, {0, 0, 800, 600}}, kPrimary, {}},
        {"the same second monitor twice", {kPrimary, kRight, kRight}, kPrimary, {kRight}},
        {"an empty monitor", {kPrimary, {1280, 0, 1280, 600}}, kPrimary, {}},
        {"the form's monitor gone from the list", {kRight}, kPrimary, {kRight}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zurozoz::CoveredMonitors(c.monitors, c.form), c.covered) << c.what;
    }
}

} // namespace
