#include "sim/MarkerTrack.h"

#include "sim/World.h"

#include <algorithm>
#include <map>

namespace mq::sim {

using nlohmann::json;

namespace {

constexpr const char* kGlobalTracksKey = "global-tracks";
constexpr const char* kPopupKey = "marker-track-popup";
const std::map<std::string, std::string> kLabelAttributes { { "description", "AXDescription" }, { "title", "AXTitle" }, { "value", "AXValue" } };

} // namespace

std::string markerTrackWord(const std::string& language)
{
    if (language == "es")
        return "Marcador";
    if (language == "fr")
        return "Marqueur";
    if (language == "ja")
        return "マーカー";
    if (language == "ko")
        return "마커";
    if (language == "zh")
        return "标记";
    return "Marker"; // English and German
}

void syncMarkerTrack(World& world)
{
    Application* logic = world.workspace.logic();
    Element* shown = world.tree.byKey(kGlobalTracksKey);
    const std::string word = markerTrackWord(world.language);
    const Element* existing = world.tree.byKey(kPopupKey);
    bool current = existing && existing->string(kLabelAttributes.at(world.document.markerTrackLabelAttribute)) == word;
    if (shown && (!current || !world.document.markerTrackShown || !logic || world.tree.windowOf(*shown) != logic->mainWindow)) {
        if (Element* parent = world.tree.find(shown->parent))
            std::erase(parent->children, shown->token);
        world.tree.removeSubtree(shown->token);
        shown = nullptr;
    }
    if (shown || !world.document.markerTrackShown || !logic || !logic->mainWindow)
        return;
    json popup { { "role", "AXPopUpButton" }, { "key", kPopupKey }, { "position", { 10, 160 } }, { "size", { 120, 20 } } };
    popup[world.document.markerTrackLabelAttribute] = word;
    json group { { "role", "AXGroup" }, { "key", kGlobalTracksKey }, { "description", "Global Tracks" }, { "position", { 0, 150 } },
        { "size", { 1600, 30 } }, { "children", json::array({ popup }) } };
    Token window = logic->mainWindow;
    Token added = world.tree.build(group, logic->pid, window);
    // The global tracks come first in the window, above the tracks area.
    Element& w = world.tree.at(window);
    std::erase(w.children, added);
    w.children.insert(w.children.begin(), added);
}

} // namespace mq::sim
