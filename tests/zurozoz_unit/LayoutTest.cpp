#include "Layout.h"
#include "Twips.h"

#include <gtest/gtest.h>

namespace {

// At 96 DPI one pixel is 15 twips: a 1280-pixel screen is 19200 twips wide.
constexpr float kFullScreen = 19200.0f;

float CentreOf(const Layout::TwipsRect& rect) { return rect.Left + rect.Width / 2; }

TEST(LayoutFormResize, CentresAnimationAndLabel1OnTheOuterWidth) {
    for (float width : {kFullScreen, 8850.0f, 12345.0f, 30000.0f}) {
        const auto placed = Layout::Form_Resize(Layout::Designed(), width);
        EXPECT_FLOAT_EQ(CentreOf(placed.Animation), width / 2) << "width " << width;
        EXPECT_FLOAT_EQ(CentreOf(placed.Label1), width / 2) << "width " << width;
    }
}

TEST(LayoutFormResize, KeepsWidthsOfAnimationAndLabel1) {
    const auto placed = Layout::Form_Resize(Layout::Designed(), kFullScreen);
    EXPECT_FLOAT_EQ(placed.Animation.Width, 4035.0f);
    EXPECT_FLOAT_EQ(placed.Label1.Width, 8055.0f);
    EXPECT_FLOAT_EQ(placed.Animation.Left, 7582.5f);
    EXPECT_FLOAT_EQ(placed.Label1.Left, 5572.5f);
}

TEST(LayoutFormResize, StretchesLabel2AcrossTheWholeWindow) {
    for (float width : {kFullScreen, 3000.0f, 4335.0f}) {
        const auto placed = Layout::Form_Resize(Layout::Designed(), width);
        EXPECT_FLOAT_EQ(placed.Label2.Left, 0.0f);
        EXPECT_FLOAT_EQ(placed.Label2.Width, width);
    }
}

TEST(LayoutFormResize, NeverMovesTopsOrHeights) {
    auto placed = Layout::Designed();
    for (float width : {kFullScreen, 1000.0f, 50000.0f}) {
        placed = Layout::Form_Resize(placed, width);
        EXPECT_FLOAT_EQ(placed.Label1.Top, 540.0f);
        EXPECT_FLOAT_EQ(placed.Label2.Top, 2580.0f);
        EXPECT_FLOAT_EQ(placed.Animation.Top, 3840.0f);
        EXPECT_FLOAT_EQ(placed.Label1.Height, 1320.0f);
        EXPECT_FLOAT_EQ(placed.Label2.Height, 660.0f);
        EXPECT_FLOAT_EQ(placed.Animation.Height, 3015.0f);
    }
}

TEST(LayoutFormResize, GivesNegativeLeftWhenNarrowerThanAControl) {
    const auto placed = Layout::Form_Resize(Layout::Designed(), 3000.0f);
    EXPECT_FLOAT_EQ(placed.Animation.Left, -517.5f);
    EXPECT_FLOAT_EQ(placed.Label1.Left, -2527.5f);
    EXPECT_LT(Layout::Form_Resize(Layout::Designed(), 4034.0f).Animation.Left, 0.0f);
    EXPECT_GE(Layout::Form_Resize(Layout::Designed(), 4035.0f).Animation.Left, 0.0f);
}

TEST(LayoutFormResize, RepeatedResizesDependOnlyOnTheLastWidth) {
    const auto direct = Layout::Form_Resize(Layout::Designed(), 9000.0f);
    const auto viaOthers = Layout::Form_Resize(
        Layout::Form_Resize(Layout::Form_Resize(Layout::Designed(), 500.0f), 40000.0f), 9000.0f);
    EXPECT_FLOAT_EQ(viaOthers.Animation.Left, direct.Animation.Left);
    EXPECT_FLOAT_EQ(viaOthers.Label1.Left, direct.Label1.Left);
    EXPECT_FLOAT_EQ(viaOthers.Label2.Width, direct.Label2.Width);
}

TEST(LayoutDesigned, StartsAtTheDesignedPlaces) {
    const auto designed = Layout::Designed();
    EXPECT_FLOAT_EQ(designed.Animation.Left, 4320.0f);
    EXPECT_FLOAT_EQ(designed.Label2.Left, 4140.0f);
    EXPECT_FLOAT_EQ(designed.Label2.Width, 4335.0f);
    EXPECT_FLOAT_EQ(designed.Label1.Left, 2160.0f);
}

TEST(TwipsConversion, UsesTheDisplayDpi) {
    EXPECT_FLOAT_EQ(Twips::FromPixels(1280, 96), 19200.0f);
    EXPECT_FLOAT_EQ(Twips::FromPixels(1280, 120), 15360.0f);
    EXPECT_EQ(Twips::ToPixels(8055.0f, 96), 537);
    EXPECT_EQ(Twips::ToPixels(8055.0f, 144), 806);
    EXPECT_EQ(Twips::ToPixels(Twips::FromPixels(777, 120), 120), 777);
}

TEST(TwipsConversion, RoundsToTheNearestPixelOnBothSidesOfZero) {
    EXPECT_EQ(Twips::ToPixels(7582.5f, 96), 506); // 505.5 rounds away from zero
    EXPECT_EQ(Twips::ToPixels(-517.5f, 96), -35); // -34.5
    EXPECT_EQ(Twips::ToPixels(7.0f, 96), 0);
    EXPECT_EQ(Twips::ToPixels(8.0f, 96), 1);
}

} // namespace
