// The geometry of Logic's Colors window: where the colour grid lies inside the
// window, where a cell is clicked, how AppKit rectangles become accessibility
// ones, and where the window goes so that the grid is on screen and clear of
// the client's progress panel. Pure arithmetic, in points.
//
// Accessibility coordinates have their origin at the top left of the primary
// screen, y downwards; AppKit's at its bottom left, y upwards.
#pragma once

#include "platform/CoreTypes.h"
#include "platform/Desktop.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace mq::logic {

namespace colorgrid {
/// The grid's rectangle relative to the window's origin.
inline constexpr double kLeft = 45;
inline constexpr double kTop = 35;
inline constexpr double kWidth = 672;
inline constexpr double kHeight = 80;
/// 96 cells, row-major, 24 a row, each 28 x 20.
inline constexpr std::int64_t kColumns = 24;
inline constexpr std::int64_t kCellCount = 96;
inline constexpr double kCellWidth = 28;
inline constexpr double kCellHeight = 20;
/// The room kept between the grid and the progress panel.
inline constexpr double kPanelMargin = 8;
} // namespace colorgrid

/// CGRectNull: the rectangle that stands for "no rectangle".
platform::CGRect nullRect();
bool isNullRect(const platform::CGRect& rect);

/// Whether the rectangles overlap in an area (touching edges do not).
bool rectsIntersect(const platform::CGRect& a, const platform::CGRect& b);
/// Whether `point` lies in `rect` (left and top edges in, right and bottom out).
bool rectContainsPoint(const platform::CGRect& rect, platform::CGPoint point);

/// `rect` in AppKit coordinates as an accessibility rectangle: (x, H − (y + h), w, h)
/// with H the height of the first screen's frame; unchanged without screens.
platform::CGRect appKitToAccessibility(const platform::CGRect& rect, const std::vector<platform::Screen>& screens);

/// The grid's rectangle for a window whose origin is `windowOrigin`.
platform::CGRect colorGridRect(platform::CGPoint windowOrigin);

/// Where cell `index` (0 to 95) is clicked for a window at `windowOrigin`: the
/// middle of the cell. Nothing for an index outside 0 to 95.
[[nodiscard]] std::optional<platform::CGPoint> colorCellClickPoint(platform::CGPoint windowOrigin, std::int64_t index);

/// The visible frame (accessibility coordinates) of the screen that shows a
/// window with frame `windowFrame`: the first screen whose visible frame holds
/// the window's midpoint, else the main screen, else the first; nothing without
/// screens.
[[nodiscard]] std::optional<platform::CGRect> visibleFrameForWindow(const platform::CGRect& windowFrame, const std::vector<platform::Screen>& screens);

/// The window origin nearest `windowOrigin` whose grid lies inside `visible`
/// (moved right or down first when it sticks out on both sides).
platform::CGPoint clampGridInto(platform::CGPoint windowOrigin, const platform::CGRect& visible);

/// Where the window goes, and whether the grid is clear of the panel there.
struct GridPlacement {
    platform::CGPoint origin;
    /// False when no candidate clears the panel: the origin is then the clamped one.
    bool clearOfPanel { true };
};

/// The grid clamped into `visible`; when `avoid` (accessibility coordinates,
/// absent for none) then covers it, the nearest of the positions above, below,
/// left of and right of the panel (each clamped, in that order on a tie) whose
/// grid no longer meets it.
GridPlacement placeColorGrid(platform::CGPoint windowOrigin, const platform::CGRect& visible, const std::optional<platform::CGRect>& avoid);

} // namespace mq::logic
