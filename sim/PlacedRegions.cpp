#include "sim/PlacedRegions.h"

#include "sim/World.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace mq::sim {

namespace {

constexpr const char* kTracksAreaKey = "tracks-area";
constexpr int kAreaLeft = 500;
constexpr int kAreaTop = 150;
constexpr int kTrackHeight = 40;
constexpr double kPixelsPerSecond = 10;

Token tracksArea(World& world, const Application& logic)
{
    if (const Element* area = world.tree.byKey(kTracksAreaKey); area && world.tree.windowOf(*area) == logic.mainWindow)
        return area->token;
    json area { { "role", "AXLayoutArea" }, { "key", kTracksAreaKey }, { "description", "Tracks" }, { "position", { kAreaLeft, kAreaTop } },
        { "size", { 800, 850 } }, { "children", json::array() } };
    Token added = world.tree.build(area, logic.pid, logic.mainWindow);
    world.tree.at(logic.mainWindow).children.push_back(added);
    return added;
}

} // namespace

void showPlacedRegion(World& world, std::size_t index)
{
    Application* logic = world.workspace.logic();
    if (!logic || !logic->mainWindow || index >= world.document.regions.size())
        return;
    const Region& region = world.document.regions[index];
    int x = kAreaLeft + static_cast<int>(std::lround(std::min(region.start, 7000.0) * kPixelsPerSecond / 10));
    int y = kAreaTop + static_cast<int>(std::min<std::size_t>(region.track, 20)) * kTrackHeight;
    json item { { "role", "AXLayoutItem" }, { "key", "region-" + std::to_string(index) }, { "description", region.name },
        { "position", { x, y } }, { "size", { 60, kTrackHeight - 4 } } };
    Token area = tracksArea(world, *logic);
    Token added = world.tree.build(item, logic->pid, area);
    world.tree.at(area).children.push_back(added);
}

} // namespace mq::sim
