#include "sim/ColorsWindow.h"

#include "sim/Dialogs.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/InputEvents.h"

#include <cmath>

namespace mq::sim {

using nlohmann::json;

namespace {

constexpr double kGridLeft = 45, kGridTop = 35;
constexpr double kCellWidth = 28, kCellHeight = 20;
constexpr int kColumns = 24, kRows = 4;
constexpr double kWindowWidth = 762, kWindowHeight = 150;

json definition(platform::CGPoint origin)
{
    return json { { "role", "AXWindow" }, { "key", kColorsWindowKey }, { "title", "Colors" }, { "subrole", "AXFloatingWindow" },
        { "position", { origin.x, origin.y } }, { "size", { kWindowWidth, kWindowHeight } },
        { "children",
            json::array({ json { { "role", "AXGroup" }, { "key", kColorsGridKey }, { "description", "Color Palette" },
                { "position", { origin.x + kGridLeft, origin.y + kGridTop } }, { "size", { kColumns * kCellWidth, kRows * kCellHeight } } } }) } };
}

std::optional<platform::CGPoint> positionOf(const Element& e)
{
    auto position = e.find("AXPosition");
    auto boxed = position && *position ? (*position)->get<platform::AXValue>() : nullptr;
    auto point = boxed ? std::get_if<platform::CGPoint>(boxed) : nullptr;
    return point ? std::optional(*point) : std::nullopt;
}

} // namespace

std::optional<int> colorCellAt(platform::CGPoint grid, double x, double y)
{
    double column = std::floor((x - grid.x) / kCellWidth), row = std::floor((y - grid.y) / kCellHeight);
    if (column < 0 || column >= kColumns || row < 0 || row >= kRows)
        return std::nullopt;
    return static_cast<int>(row) * kColumns + static_cast<int>(column);
}

bool colorsWindowOpen(World& world) { return world.tree.byKey(kColorsWindowKey) != nullptr; }

bool toggleColorsWindow(World& world)
{
    Application* logic = world.workspace.logic();
    if (!logic)
        return false;
    if (cancelOpening(world, kColorsWindowKey))
        return false;
    if (Element* w = world.tree.byKey(kColorsWindowKey)) {
        if (auto origin = positionOf(*w))
            world.colorsPanel.origin = *origin;
        removeWindow(world, w->token);
        return false;
    }
    return openWindowAfterDelay(world, *logic, definition(world.colorsPanel.origin));
}

bool openColorsWindowNow(World& world, std::optional<platform::CGPoint> origin)
{
    Application* logic = world.workspace.logic();
    if (!logic)
        return false;
    if (origin)
        world.colorsPanel.origin = *origin;
    if (Element* w = world.tree.byKey(kColorsWindowKey))
        moveWindow(world, *w, world.colorsPanel.origin);
    else
        addWindow(world, *logic, definition(world.colorsPanel.origin), true);
    return true;
}

void colorsGridMouse(World& world, const Element& grid, bool down, double x, double y, std::uint64_t flags)
{
    auto origin = positionOf(grid);
    auto cell = origin ? colorCellAt(*origin, x, y) : std::nullopt;
    if (down) {
        world.desktop.pressedCell = cell;
        return;
    }
    auto pressed = std::exchange(world.desktop.pressedCell, std::nullopt);
    if (!cell || pressed != cell)
        return;
    bool command = flags & platform::eventflags::command;
    bool colored = colorSelection(world.document, *cell, command);
    world.record({ { "type", "colorClick" }, { "cell", *cell }, { "command", command }, { "colored", colored } });
}

} // namespace mq::sim
