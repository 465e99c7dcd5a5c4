// Logic's Colors window, as logicsim shows it: a floating window with the
// palette's 96 cells in 4 rows of 24, each 28 x 20 points, the grid 45 points
// from the window's left edge and 35 from its top. A left click on a cell
// (mouse down and up on the same cell) colours the selected marker or region;
// with Command, the selected track. A click elsewhere does nothing.
#pragma once

#include "platform/CoreTypes.h"
#include "sim/Element.h"

#include <optional>

namespace mq::sim {

struct World;

/// Where the Colors window shows (Logic remembers it between openings).
struct ColorsPanel {
    platform::CGPoint origin { 1000, 300 };
};

inline constexpr const char* kColorsWindowKey = "colors-window";
inline constexpr const char* kColorsGridKey = "colors-grid";

/// The cell under (x, y), in screen coordinates, for a grid whose top left is at
/// `grid`; nothing off the grid.
std::optional<int> colorCellAt(platform::CGPoint grid, double x, double y);

/// Logic's command that toggles the Colors window: it opens after the
/// window-open delay, or closes. True when it opens.
bool toggleColorsWindow(World& world);
/// Opens the Colors window at once at `origin` (control side). False without Logic.
bool openColorsWindowNow(World& world, std::optional<platform::CGPoint> origin);
/// Whether the Colors window is showing.
bool colorsWindowOpen(World& world);

/// A mouse event on the grid `grid`: remembers where a click started, and a
/// release on the cell it started on colours the selection.
void colorsGridMouse(World& world, const Element& grid, bool down, double x, double y, std::uint64_t flags);

} // namespace mq::sim
