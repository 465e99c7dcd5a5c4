// Dialogs that later parts read in detail are minimal: their titles, fields and
// buttons, under keys that tests and behaviours can use. Every window a command
// opens appears after the window-open delay (sim/Latency.h); a command that
// closes it before then cancels it.
#include "sim/StoredActions.h"

#include "sim/Dialogs.h"
#include "sim/ExportDialog.h"
#include "sim/GoToPositionDialog.h"
#include "sim/Movie.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include <functional>
#include <map>

namespace mq::sim {

using nlohmann::json;

namespace {

json button(const std::string& key, const std::string& title, const std::string& press)
{
    return json { { "role", "AXButton" }, { "key", key }, { "title", title }, { "press", press } };
}

json field(const std::string& key, const std::string& description, bool focused = false)
{
    json f { { "role", "AXTextField" }, { "key", key }, { "description", description } };
    if (focused)
        f["focused"] = true;
    return f;
}

json dialog(const std::string& key, const std::string& title, json children, const std::string& behavior = "")
{
    const std::string ok = key + "-ok", cancel = key + "-cancel";
    children.push_back(button(cancel, "Cancel", "cancel"));
    children.push_back(button(ok, "OK", "confirm"));
    json d { { "role", "AXWindow" }, { "key", key }, { "title", title }, { "subrole", "AXDialog" }, { "modal", true },
        { "defaultButton", ok }, { "cancelButton", cancel }, { "children", children } };
    if (!behavior.empty())
        d["behavior"] = behavior;
    return d;
}

/// A small floating editor for a name, focused so that typing goes into it;
/// Return (or action 362) commits the name.
json nameEditor(const std::string& key, const std::string& title)
{
    return json { { "role", "AXWindow" }, { "key", key }, { "title", title }, { "subrole", "AXFloatingWindow" }, { "focusedWindow", true },
        { "behavior", "name-editor" }, { "children", json::array({ field(key + "-field", "Name", true) }) } };
}

json colorsWindow()
{
    return json { { "role", "AXWindow" }, { "key", "colors-window" }, { "title", "Colors" }, { "subrole", "AXFloatingWindow" },
        { "position", { 1400, 200 } }, { "size", { 480, 160 } },
        { "children", json::array({ json { { "role", "AXGroup" }, { "key", "colors-grid" }, { "position", { 1400, 222 } }, { "size", { 480, 80 } } } }) } };
}

json projectSettings()
{
    return json { { "role", "AXWindow" }, { "key", "project-settings" }, { "title", "Project Settings" }, { "focusedWindow", true },
        { "children",
            json::array({ json { { "role", "AXRadioButton" }, { "key", "project-settings-synchronization" }, { "title", "Synchronization" }, { "value", 1 } } }) } };
}

std::string fieldText(World& world, const std::string& key)
{
    Element* e = world.tree.byKey(key);
    return e ? e->string("AXValue").value_or("") : "";
}

/// The name editors: a confirmed edit names the marker or track being named.
class NameEditorBehavior final : public DialogBehavior {
public:
    void closing(World& world, Element& window, bool confirmed) override
    {
        json naming = std::exchange(world.logic["naming"], nullptr);
        if (!confirmed || !naming.is_object())
            return;
        json& list = world.logic[naming.value("kind", "") == "track" ? "tracks" : "markers"];
        auto index = naming.value("index", std::size_t(0));
        if (index < list.size())
            list[index]["name"] = fieldText(world, window.key + "-field");
    }
};

/// "Set Left and Right Locator": a confirmed dialog sets the locators from its
/// SMPTE fields (the second and fourth).
class LocatorsBehavior final : public DialogBehavior {
public:
    void closing(World& world, Element&, bool confirmed) override
    {
        if (confirmed)
            world.logic["locators"] = json { { "left", fieldText(world, "locators-left-smpte") }, { "right", fieldText(world, "locators-right-smpte") } };
    }
};

// What the commands share: Logic, and opening and closing its windows.
struct Command {
    World& world;
    Application& logic;
    json& state;

    void open(const json& definition) { openWindowAfterDelay(world, logic, definition); }
    void close(const std::string& key, bool confirmed)
    {
        if (cancelOpening(world, key))
            return;
        if (Element* w = world.tree.byKey(key))
            closeDialog(world, *w, confirmed);
    }
    /// Opens the window, or closes it when it is open (or opening); true when it opens.
    bool toggle(const json& definition)
    {
        std::string key = definition["key"].get<std::string>();
        if (cancelOpening(world, key))
            return false;
        if (Element* w = world.tree.byKey(key)) {
            removeWindow(world, w->token);
            return false;
        }
        open(definition);
        return true;
    }
    void startNaming(const std::string& kind, std::size_t index)
    {
        close(kind + "-name", true);
        state["naming"] = json { { "kind", kind }, { "index", index } };
        open(nameEditor(kind + "-name", kind == "track" ? "Track Name" : "Marker Name"));
    }
    json& listOf(const std::string& kind) { return state[kind == "track" ? "tracks" : kind == "region" ? "regions" : "markers"]; }
};

void createMarker(Command& c)
{
    bool inOrder = c.state["markerSteps"] == json::array({ 2564, 480 });
    c.state["markerSteps"] = json::array();
    if (!inOrder)
        return; // without the two steps before it there is no marker to name
    c.state["markers"].push_back(json { { "name", "" }, { "range", c.state["locators"] }, { "color", nullptr } });
    std::size_t index = c.state["markers"].size() - 1;
    c.state["lastCreated"] = json { { "kind", "marker" }, { "index", index } };
    c.startNaming("marker", index);
}

void applyChosenColor(Command& c)
{
    json last = c.state["lastCreated"];
    if (!last.is_object())
        return;
    json& list = c.listOf(last.value("kind", ""));
    auto index = last.value("index", std::size_t(0));
    if (index < list.size())
        list[index]["color"] = c.state["chosenColor"];
}

void addTrack(Command& c)
{
    std::size_t index = c.state["tracks"].size();
    c.state["tracks"].push_back(json { { "name", "Audio " + std::to_string(index + 1) }, { "color", nullptr } });
    c.state["lastCreated"] = json { { "kind", "track" }, { "index", index } };
}

void selectLastRegion(Command& c)
{
    json& regions = c.state["regions"];
    for (auto& r : regions)
        r["selected"] = false;
    if (!regions.empty())
        regions.back()["selected"] = true;
}

const std::map<std::uint32_t, std::function<void(Command&)>>& commandTable()
{
    static const std::map<std::uint32_t, std::function<void(Command&)>> table {
        { 5, [](Command& c) { c.world.transport.settings.playing = false; } }, // Stop
        { 21, [](Command& c) { requestGoToPositionDialog(c.world); } }, // Go to Position…
        { 476, // Set Left and Right Locator…
            [](Command& c) {
                c.open(dialog("locators", "Set Left and Right Locator",
                    json::array({ field("locators-left-bar", "Left Locator Bar"), field("locators-left-smpte", "Left Locator SMPTE"),
                        field("locators-right-bar", "Right Locator Bar"), field("locators-right-smpte", "Right Locator SMPTE") }),
                    "locators"));
            } },
        // The marker steps: 2564, 480, 1192 in this order.
        { 2564, [](Command& c) { c.state["markerSteps"].push_back(2564); } },
        { 480, [](Command& c) { c.state["markerSteps"].push_back(480); } },
        { 1192, createMarker },
        { 362, // ends the naming or placement step
            [](Command& c) {
                c.close("marker-name", true);
                c.close("track-name", true);
                c.state["placing"] = false;
            } },
        { 347, applyChosenColor }, // the colour chosen in the Colors window
        { 483, [](Command& c) { c.state["colorsWindowOpen"] = c.toggle(colorsWindow()); } },
        { 888, [](Command& c) { c.state["markerTrackShown"] = !c.state.value("markerTrackShown", false); } },
        { 1795, addTrack },
        { 571, // name the new track
            [](Command& c) {
                if (!c.state["tracks"].empty())
                    c.startNaming("track", c.state["tracks"].size() - 1);
            } },
        { 584, selectLastRegion },
        { 358, selectLastRegion },
        { 1194, [](Command& c) { requestOpenMovieDialog(c.world); } }, // Open Movie…
        { 1320, [](Command& c) { placeLoadedMovie(c.world); } }, // follows a loaded movie
        { 1306, [](Command& c) { selectMovieRegion(c.world); } },
        { 1346, [](Command& c) { alignMovieRegion(c.world); } }, // the selected movie region to the movie's start
        { 1197, [](Command& c) { requestExportDialog(c.world); } }, // Bounce…
        { 681, [](Command& c) { c.open(projectSettings()); } }, // Project Settings at Synchronization
    };
    return table;
}

} // namespace

void registerStoredActionBehaviors(Dialogs& dialogs)
{
    registerGoToPositionDialog(dialogs);
    registerMovieBehaviors(dialogs);
    registerExportBehaviors(dialogs);
    dialogs.behaviors["name-editor"] = std::make_shared<NameEditorBehavior>();
    dialogs.behaviors["locators"] = std::make_shared<LocatorsBehavior>();
}

json runStoredAction(World& world, std::uint32_t code)
{
    Application* logic = world.workspace.logic();
    if (!logic) {
        world.record({ { "type", "storedAction" }, { "code", code }, { "ran", false } });
        return json { { "ran", false }, { "reason", "Logic Pro is not running" } };
    }
    auto it = commandTable().find(code);
    bool ran = it != commandTable().end();
    if (ran) {
        Command command { world, *logic, world.logic };
        it->second(command);
    }
    world.record({ { "type", "storedAction" }, { "code", code }, { "ran", ran } });
    if (!ran)
        return json { { "ran", false }, { "reason", "Logic has no command " + std::to_string(code) } };
    return json { { "ran", true } };
}

} // namespace mq::sim
