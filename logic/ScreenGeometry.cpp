#include "logic/ScreenGeometry.h"

#include <cmath>
#include <limits>

namespace mq::logic {

using platform::CGPoint;
using platform::CGRect;

namespace {

double maxX(const CGRect& r) { return r.origin.x + r.size.width; }
double maxY(const CGRect& r) { return r.origin.y + r.size.height; }

} // namespace

CGRect nullRect()
{
    constexpr double infinity = std::numeric_limits<double>::infinity();
    return CGRect { { infinity, infinity }, { 0, 0 } };
}

bool isNullRect(const CGRect& rect) { return std::isinf(rect.origin.x) || std::isinf(rect.origin.y); }

bool rectsIntersect(const CGRect& a, const CGRect& b)
{
    if (isNullRect(a) || isNullRect(b))
        return false;
    return a.origin.x < maxX(b) && b.origin.x < maxX(a) && a.origin.y < maxY(b) && b.origin.y < maxY(a);
}

bool rectContainsPoint(const CGRect& rect, CGPoint point)
{
    return point.x >= rect.origin.x && point.x < maxX(rect) && point.y >= rect.origin.y && point.y < maxY(rect);
}

CGRect appKitToAccessibility(const CGRect& rect, const std::vector<platform::Screen>& screens)
{
    if (screens.empty())
        return rect;
    double primaryHeight = screens.front().frame.size.height;
    return CGRect { { rect.origin.x, primaryHeight - (rect.origin.y + rect.size.height) }, rect.size };
}

CGRect colorGridRect(CGPoint windowOrigin)
{
    return CGRect { { windowOrigin.x + colorgrid::kLeft, windowOrigin.y + colorgrid::kTop }, { colorgrid::kWidth, colorgrid::kHeight } };
}

std::optional<CGPoint> colorCellClickPoint(CGPoint windowOrigin, std::int64_t index)
{
    if (index < 0 || index >= colorgrid::kCellCount)
        return std::nullopt;
    auto row = static_cast<double>(index / colorgrid::kColumns);
    auto column = static_cast<double>(index % colorgrid::kColumns);
    return CGPoint { windowOrigin.x + colorgrid::kLeft + (column + 0.5) * colorgrid::kCellWidth,
        windowOrigin.y + colorgrid::kTop + (row + 0.5) * colorgrid::kCellHeight };
}

std::optional<CGRect> visibleFrameForWindow(const CGRect& windowFrame, const std::vector<platform::Screen>& screens)
{
    if (screens.empty())
        return std::nullopt;
    CGPoint middle { windowFrame.origin.x + windowFrame.size.width / 2, windowFrame.origin.y + windowFrame.size.height / 2 };
    for (const platform::Screen& screen : screens) {
        CGRect visible = appKitToAccessibility(screen.visibleFrame, screens);
        if (rectContainsPoint(visible, middle))
            return visible;
    }
    for (const platform::Screen& screen : screens)
        if (screen.isMain)
            return appKitToAccessibility(screen.visibleFrame, screens);
    return appKitToAccessibility(screens.front().visibleFrame, screens);
}

CGPoint clampGridInto(CGPoint windowOrigin, const CGRect& visible)
{
    CGPoint origin = windowOrigin;
    CGRect grid = colorGridRect(origin);
    if (grid.origin.x < visible.origin.x)
        origin.x += visible.origin.x - grid.origin.x;
    else if (maxX(grid) > maxX(visible))
        origin.x -= maxX(grid) - maxX(visible);
    if (grid.origin.y < visible.origin.y)
        origin.y += visible.origin.y - grid.origin.y;
    else if (maxY(grid) > maxY(visible))
        origin.y -= maxY(grid) - maxY(visible);
    return origin;
}

GridPlacement placeColorGrid(CGPoint windowOrigin, const CGRect& visible, const std::optional<CGRect>& avoid)
{
    CGPoint clamped = clampGridInto(windowOrigin, visible);
    if (!avoid || isNullRect(*avoid) || !rectsIntersect(colorGridRect(clamped), *avoid))
        return GridPlacement { clamped, true };

    const CGRect& a = *avoid;
    using namespace colorgrid;
    const CGPoint candidates[] = {
        { clamped.x, a.origin.y - kPanelMargin - kHeight - kTop }, // above
        { clamped.x, maxY(a) + kPanelMargin - kTop }, // below
        { a.origin.x - kPanelMargin - kWidth - kLeft, clamped.y }, // left
        { maxX(a) + kPanelMargin - kLeft, clamped.y }, // right
    };
    std::optional<CGPoint> best;
    double bestDistance = 0;
    for (CGPoint candidate : candidates) {
        CGPoint placed = clampGridInto(candidate, visible);
        if (rectsIntersect(colorGridRect(placed), a))
            continue;
        double distance = std::hypot(placed.x - clamped.x, placed.y - clamped.y);
        if (!best || distance < bestDistance) {
            best = placed;
            bestDistance = distance;
        }
    }
    if (!best)
        return GridPlacement { clamped, false };
    return GridPlacement { *best, true };
}

} // namespace mq::logic
