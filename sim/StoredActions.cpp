// Dialogs that later parts read in detail are minimal: their titles, fields and
// buttons, under keys that tests and behaviours can use. Every window a command
// opens appears after the window-open delay (sim/Latency.h); a command that
// closes it before then cancels it.
#include "sim/StoredActions.h"

#include "sim/Dialogs.h"
#include "sim/ColorsWindow.h"
#include "sim/ExportDialog.h"
#include "sim/GoToPositionDialog.h"
#include "sim/LocatorsDialog.h"
#include "sim/MarkerTrack.h"
#include "sim/PermissionPrompts.h"
#include "sim/Movie.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/Scripting.h"
#include "platform/linux/LogicSimFields.h"

#include <functional>
#include <map>

namespace mq::sim {

namespace wire = platform::wire;

using nlohmann::json;

namespace {

json field(const std::string& key, const std::string& description, bool focused = false, const std::string& value = "")
{
    json f { { "role", "AXTextField" }, { "key", key }, { "description", description } };
    if (focused)
        f["focused"] = true;
    if (!value.empty())
        f["value"] = value;
    return f;
}

/// A small floating editor for a name, focused so that typing goes into it and
/// showing the current name (typing adds to it unless it is selected first);
/// Return (or action 362) commits the name.
json nameEditor(const std::string& key, const std::string& title, const std::string& currentName)
{
    return json { { "role", "AXWindow" }, { "key", key }, { "title", title }, { "subrole", "AXFloatingWindow" }, { "focusedWindow", true },
        { "behavior", "name-editor" }, { "children", json::array({ field(key + "-field", "Name", true, currentName) }) } };
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
        auto naming = std::exchange(world.document.naming, std::nullopt);
        if (!confirmed || !naming)
            return;
        std::string name = fieldText(world, window.key + "-field");
        LogicDocument& d = world.document;
        if (naming->kind == Naming::Kind::track && naming->index < d.tracks.size())
            d.tracks[naming->index].name = name;
        else if (naming->kind == Naming::Kind::marker && naming->index < d.markers.size())
            d.markers[naming->index].name = name;
        world.record({ { "type", "named" }, { "kind", naming->kind == Naming::Kind::track ? "track" : "marker" }, { "index", naming->index },
            { "name", name } });
    }
};

// What the commands share: Logic, its document, and opening and closing its windows.
struct Command {
    World& world;
    Application& logic;
    LogicDocument& document;

    void open(const json& definition) { openWindowAfterDelay(world, logic, definition); }
    /// A name field that Logic opens in place (in a track header, on the marker
    /// track): it shows after the name-editor delay, far sooner than a window.
    void openInPlace(const json& definition) { openWindowAfterDelay(world, logic, definition, {}, world.latency.nameEditor()); }
    void close(const std::string& key, bool confirmed)
    {
        if (cancelOpening(world, key))
            return;
        if (Element* w = world.tree.byKey(key))
            closeDialog(world, *w, confirmed);
    }
    void startNaming(Naming naming)
    {
        const char* kind = naming.kind == Naming::Kind::track ? "track" : "marker";
        close(std::string(kind) + "-name", true);
        document.naming = naming;
        // A new marker has no name yet; a track shows the one it has.
        std::string current = naming.kind == Naming::Kind::track && naming.index < document.tracks.size() ? document.tracks[naming.index].name : "";
        openInPlace(nameEditor(std::string(kind) + "-name", naming.kind == Naming::Kind::track ? "Track Name" : "Marker Name", current));
    }
};

void createMarker(Command& c)
{
    bool inOrder = c.document.markerSteps == std::vector<std::uint32_t> { 2564, 480 };
    c.document.markerSteps.clear();
    if (!inOrder)
        return; // without the two steps before it there is no marker to name
    auto index = addMarkerOverLocators(c.document, c.world.transport.settings.projectEnd());
    if (!index)
        return; // no locators, no marker
    c.startNaming(Naming { Naming::Kind::marker, *index });
}

void addTrack(Command& c)
{
    // The new track goes below the selected one and becomes the selected track.
    LogicDocument& d = c.document;
    std::size_t index = d.selectedTrack ? std::min(*d.selectedTrack + 1, d.tracks.size()) : d.tracks.size();
    d.tracks.insert(d.tracks.begin() + static_cast<std::ptrdiff_t>(index), Track { "Audio " + std::to_string(d.tracks.size() + 1), std::nullopt });
    for (Region& r : d.regions)
        if (r.track >= index)
            ++r.track;
    d.selectedTrack = index;
}

void selectLastRegion(Command& c)
{
    if (!c.document.regions.empty())
        c.document.selection = Selection { Selection::Kind::region, c.document.regions.size() - 1 };
}

const std::map<std::uint32_t, std::function<void(Command&)>>& commandTable()
{
    static const std::map<std::uint32_t, std::function<void(Command&)>> table {
        { 5, [](Command& c) { c.world.transport.settings.playing = false; } }, // Stop
        { 21, [](Command& c) { requestGoToPositionDialog(c.world); } }, // Go to Position…
        { 476, [](Command& c) { requestLocatorsDialog(c.world); } }, // Set Left and Right Locator…
        // The marker steps: 2564, 480, 1192 in this order.
        { 2564, [](Command& c) { c.document.markerSteps = { 2564 }; } },
        { 480, [](Command& c) { c.document.markerSteps.push_back(480); } },
        { 1192, createMarker },
        { 362, // ends the naming or placement step
            [](Command& c) {
                c.close("marker-name", true);
                c.close("track-name", true);
            } },
        { 347, [](Command&) {} }, // ends the colour step; the click in the Colors window coloured
        { 483, [](Command& c) { toggleColorsWindow(c.world); } },
        { 888,
            [](Command& c) {
                c.document.markerTrackShown = !c.document.markerTrackShown;
                syncMarkerTrack(c.world);
            } },
        { 1795, addTrack },
        { 571, // name the new track
            [](Command& c) {
                if (c.document.selectedTrack && *c.document.selectedTrack < c.document.tracks.size())
                    c.startNaming(Naming { Naming::Kind::track, *c.document.selectedTrack });
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
    registerLocatorsDialog(dialogs);
}

namespace {

json notRun(World& world, std::uint32_t code, const std::string& reason)
{
    world.record({ { "type", "storedAction" }, { "code", code }, { "ran", false }, { "reason", reason } });
    return json { { "ran", false }, { "reason", reason } };
}

bool runs(World& world, const std::string& bundle)
{
    for (const Application& app : world.workspace.applications)
        if (app.alive() && app.bundleIdentifier == bundle)
            return true;
    return false;
}

} // namespace

json runStoredAction(World& world, std::uint32_t code, const json& request)
{
    Application* logic = world.workspace.logic();
    if (const auto it = request.find(wire::field::application); it != request.end() || request.contains("firstRunningOf")) {
        std::string target;
        if (it != request.end()) {
            target = it->get<std::string>();
        } else {
            for (const auto& candidate : request.at("firstRunningOf"))
                if (target.empty() && runs(world, candidate.get<std::string>()))
                    target = candidate.get<std::string>();
            if (target.empty())
                return notRun(world, code, "Logic Pro is not running (-600)");
        }
        Application* app = nullptr;
        for (Application& candidate : world.workspace.applications)
            if (candidate.bundleIdentifier == target && (!app || candidate.alive()))
                app = &candidate;
        if (!app)
            return notRun(world, code, "Can't get application id \"" + target + "\" (-1728)");
        if (!app->alive()) {
            // `tell application id` starts the application it addresses.
            launch(world, *app);
            world.record({ { "type", "launch" }, { "app", app->key }, { "pid", app->pid }, { "by", "storedAction" } });
        }
        if (automationPromptWaits(world, target))
            return holdUntilPromptAnswered(world, target, [code, request](World& w) { return runStoredAction(w, code, request); });
        if (std::int32_t permission = automationStatusForSending(world, target); permission != platform::osstatus::noErr)
            return notRun(world, code, "Not authorized to send Apple events to " + target + " (" + std::to_string(permission) + ")");
        logic = world.workspace.logic() == app ? app : nullptr;
        if (!logic)
            return notRun(world, code, target + " has no command " + std::to_string(code));
    }
    if (!logic)
        return notRun(world, code, "Logic Pro is not running");
    auto it = commandTable().find(code);
    if (it == commandTable().end())
        return notRun(world, code, "Logic has no command " + std::to_string(code));
    Command command { world, *logic, world.document };
    it->second(command);
    world.record({ { "type", "storedAction" }, { "code", code }, { "ran", true } });
    return json { { "ran", true } };
}

} // namespace mq::sim
