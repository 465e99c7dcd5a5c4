// The Colors window's geometry: cell click points, the AppKit-to-accessibility
// conversion, the choice of screen, clamping the grid into a visible frame and
// moving it clear of the progress panel.
#include "logic/ScreenGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mq::logic {
namespace {

using platform::CGPoint;
using platform::CGRect;
using platform::Screen;

// A 1920 x 1080 primary screen with a 25-point menu bar and a 70-point Dock,
// in AppKit coordinates; in accessibility ones its visible frame is (0, 25, 1920, 985).
const Screen kPrimary { { { 0, 0 }, { 1920, 1080 } }, { { 0, 70 }, { 1920, 985 } }, true };
const CGRect kPrimaryVisible { { 0, 25 }, { 1920, 985 } };

TEST(ScreenGeometry, CellClickPoints)
{
    struct Case {
        std::int64_t index;
        std::optional<CGPoint> point;
    };
    const CGPoint origin { 100, 200 };
    const Case cases[] = {
        { 0, CGPoint { 159, 245 } }, // (x + 59, y + 45)
        { 23, CGPoint { 100 + 45 + 23.5 * 28, 245 } },
        { 24, CGPoint { 159, 265 } },
        { 95, CGPoint { 803, 305 } }, // (x + 703, y + 105)
        { 96, std::nullopt },
        { -1, std::nullopt },
    };
    for (const Case& c : cases)
        EXPECT_EQ(colorCellClickPoint(origin, c.index), c.point) << c.index;
}

TEST(ScreenGeometry, AppKitRectanglesFlipAgainstTheFirstScreen)
{
    const Screen second { { { 1920, 0 }, { 1280, 800 } }, { { 1920, 0 }, { 1280, 800 } }, false };
    EXPECT_EQ(appKitToAccessibility({ { 10, 70 }, { 300, 100 } }, { kPrimary, second }), (CGRect { { 10, 910 }, { 300, 100 } }));
    EXPECT_EQ(appKitToAccessibility(kPrimary.visibleFrame, { kPrimary }), kPrimaryVisible);
    // A second screen above the first has a negative top.
    const Screen above { { { 0, 1080 }, { 1920, 1080 } }, { { 0, 1080 }, { 1920, 1055 } }, false };
    EXPECT_EQ(appKitToAccessibility(above.visibleFrame, { kPrimary, above }), (CGRect { { 0, -1055 }, { 1920, 1055 } }));
    // Without screens the rectangle stays as it is.
    EXPECT_EQ(appKitToAccessibility({ { 10, 70 }, { 300, 100 } }, {}), (CGRect { { 10, 70 }, { 300, 100 } }));
}

TEST(ScreenGeometry, TheScreenHoldingTheWindowsMiddleElseTheMainElseTheFirst)
{
    const Screen right { { { 1920, 0 }, { 1280, 800 } }, { { 1920, 0 }, { 1280, 775 } }, false };
    const Screen rightMain { right.frame, right.visibleFrame, true };
    const Screen primaryNotMain { kPrimary.frame, kPrimary.visibleFrame, false };
    const CGRect onRight { { 2000, 400 }, { 762, 150 } };
    const CGRect nowhere { { 9000, 9000 }, { 762, 150 } };
    EXPECT_EQ(visibleFrameForWindow(onRight, { kPrimary, right }), (CGRect { { 1920, 305 }, { 1280, 775 } }));
    EXPECT_EQ(visibleFrameForWindow(nowhere, { primaryNotMain, rightMain }), (CGRect { { 1920, 305 }, { 1280, 775 } }));
    EXPECT_EQ(visibleFrameForWindow(nowhere, { primaryNotMain, right }), kPrimaryVisible);
    EXPECT_EQ(visibleFrameForWindow(nowhere, {}), std::nullopt);
}

TEST(ScreenGeometry, TheGridIsClampedIntoTheVisibleFrame)
{
    struct Case {
        CGPoint origin;
        CGPoint clamped;
    };
    const Case cases[] = {
        { { 100, 200 }, { 100, 200 } }, // inside already
        { { -100, 200 }, { -45, 200 } }, // grid's left edge to the screen's
        { { 1500, 200 }, { 1920 - 672 - 45, 200 } }, // right edge
        { { 100, -50 }, { 100, 25 - 35 } }, // under the menu bar
        { { 100, 1000 }, { 100, 1010 - 80 - 35 } }, // into the Dock
    };
    for (const Case& c : cases)
        EXPECT_EQ(clampGridInto(c.origin, kPrimaryVisible), c.clamped) << c.origin.x << "," << c.origin.y;
}

TEST(ScreenGeometry, TheGridMovesToTheNearestSideClearOfThePanel)
{
    struct Case {
        const char* name;
        CGPoint origin;
        std::optional<CGRect> panel;
        CGPoint placed;
        bool clear;
    };
    const Case cases[] = {
        { "no panel", { 100, 200 }, std::nullopt, { 100, 200 }, true },
        { "panel elsewhere", { 100, 200 }, CGRect { { 1000, 700 }, { 300, 100 } }, { 100, 200 }, true },
        // Grid at (145, 235)-(817, 315); a panel below its top edge: above is nearest.
        { "above", { 100, 200 }, CGRect { { 300, 300 }, { 200, 200 } }, { 100, 300 - 8 - 80 - 35 }, true },
        // A panel over the top of the grid: below is nearest.
        { "below", { 100, 200 }, CGRect { { 300, 100 }, { 200, 150 } }, { 100, 250 + 8 - 35 }, true },
        // A tall panel over the grid's right end: left of it is nearest.
        { "left", { 100, 200 }, CGRect { { 800, 25 }, { 100, 985 } }, { 800 - 8 - 672 - 45, 200 }, true },
        // A tall panel over the grid's left end, at the screen's left: right of it.
        { "right", { 0, 200 }, CGRect { { 0, 25 }, { 100, 985 } }, { 100 + 8 - 45, 200 }, true },
        // Above and below are as far: the earlier one, above, wins.
        { "tie", { 100, 400 }, CGRect { { 100, 435 + 40 - 50 }, { 900, 100 } }, { 100, 425 - 8 - 80 - 35 }, true },
        { "whole screen", { 100, 200 }, kPrimaryVisible, { 100, 200 }, false },
    };
    for (const Case& c : cases) {
        GridPlacement placement = placeColorGrid(c.origin, kPrimaryVisible, c.panel);
        EXPECT_EQ(placement.origin, c.placed) << c.name << ": " << placement.origin.x << "," << placement.origin.y;
        EXPECT_EQ(placement.clearOfPanel, c.clear) << c.name;
        if (c.clear && c.panel) {
            EXPECT_FALSE(rectsIntersect(colorGridRect(placement.origin), *c.panel)) << c.name;
        }
    }
}

TEST(ScreenGeometry, NullRectangles)
{
    EXPECT_TRUE(isNullRect(nullRect()));
    EXPECT_FALSE(isNullRect({ { 0, 0 }, { 0, 0 } }));
    EXPECT_FALSE(rectsIntersect(nullRect(), kPrimaryVisible));
    // Touching edges do not intersect.
    EXPECT_FALSE(rectsIntersect({ { 0, 0 }, { 10, 10 } }, { { 10, 0 }, { 10, 10 } }));
    EXPECT_TRUE(rectsIntersect({ { 0, 0 }, { 10, 10 } }, { { 9, 9 }, { 10, 10 } }));
}

} // namespace
} // namespace mq::logic
