// Logic's numbered commands that the helper's stored actions run, with the effect
// each caller relies on. Dialogs that later parts read in detail are minimal:
// their titles, fields and buttons, under keys that tests and behaviours can use.
#include "sim/GoToPositionDialog.h"
#include "sim/Model.h"

#include "platform/linux/LogicSimWire.h"

namespace mq::sim {

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

std::string fieldText(Model& model, const std::string& key)
{
    Element* e = model.elementByKey(key);
    if (!e)
        return "";
    auto value = e->find("AXValue");
    return value && *value && (*value)->get<std::string>() ? *(*value)->get<std::string>() : "";
}

/// The name editors: a confirmed edit names the marker or track being named.
class NameEditorBehavior final : public DialogBehavior {
public:
    void closing(Model& model, Element& window, bool confirmed) override
    {
        json& logic = model.logicState();
        json naming = logic["naming"];
        logic["naming"] = nullptr;
        if (!confirmed || !naming.is_object())
            return;
        json& list = logic[naming.value("kind", "") == "track" ? "tracks" : "markers"];
        auto index = naming.value("index", std::size_t(0));
        if (index < list.size())
            list[index]["name"] = fieldText(model, window.key + "-field");
    }
};

/// "Set Left and Right Locator": a confirmed dialog sets the locators from its
/// SMPTE fields (the second and fourth).
class LocatorsBehavior final : public DialogBehavior {
public:
    void closing(Model& model, Element&, bool confirmed) override
    {
        if (confirmed)
            model.logicState()["locators"] = json { { "left", fieldText(model, "locators-left-smpte") }, { "right", fieldText(model, "locators-right-smpte") } };
    }
};

} // namespace

void Model::registerStoredActionBehaviors()
{
    registerGoToPositionDialog(*this);
    registerBehavior("name-editor", std::make_unique<NameEditorBehavior>());
    registerBehavior("locators", std::make_unique<LocatorsBehavior>());
}

Application* Model::logicApplication()
{
    for (const char* bundle : { "com.apple.logic10", "com.apple.mobilelogic" })
        for (auto& app : m_applications)
            if (app.running && !app.terminated && app.bundleIdentifier == bundle)
                return &app;
    return nullptr;
}

json Model::runStoredAction(std::uint32_t code)
{
    Application* logic = logicApplication();
    if (!logic) {
        log({ { "type", "storedAction" }, { "code", code }, { "ran", false } });
        return json { { "ran", false }, { "reason", "Logic Pro is not running" } };
    }
    json& state = m_logic;
    auto open = [&](const json& definition) {
        // A window that is already open stays as it is (Logic does not open it twice).
        if (!elementByKey(definition["key"].get<std::string>()))
            addWindow(*logic, definition, true);
    };
    auto closeIfOpen = [&](const std::string& key, bool confirmed) {
        if (Element* w = elementByKey(key))
            closeDialog(*w, confirmed);
    };
    auto toggle = [&](const json& definition) {
        if (Element* w = elementByKey(definition["key"].get<std::string>())) {
            removeWindow(w->token);
            return false;
        }
        addWindow(*logic, definition, true);
        return true;
    };
    auto startNaming = [&](const std::string& kind, std::size_t index) {
        closeIfOpen(kind + "-name", true);
        state["naming"] = json { { "kind", kind }, { "index", index } };
        open(nameEditor(kind + "-name", kind == "track" ? "Track Name" : "Marker Name"));
    };
    auto selectLastRegion = [&] {
        json& regions = state["regions"];
        for (auto& r : regions)
            r["selected"] = false;
        if (!regions.empty())
            regions.back()["selected"] = true;
    };

    bool ran = true;
    switch (code) {
    case 5: // Stop
        m_transport["playing"] = false;
        break;
    case 21: // Go to Position…
        openGoToPositionDialog(*this);
        break;
    case 476: // Set Left and Right Locator…
        open(dialog("locators", "Set Left and Right Locator",
            json::array({ field("locators-left-bar", "Left Locator Bar"), field("locators-left-smpte", "Left Locator SMPTE"),
                field("locators-right-bar", "Right Locator Bar"), field("locators-right-smpte", "Right Locator SMPTE") }),
            "locators"));
        break;
    case 2564: // the marker steps: 2564, 480, 1192 in this order
    case 480:
        state["markerSteps"].push_back(code);
        break;
    case 1192: {
        bool inOrder = state["markerSteps"] == json::array({ 2564, 480 });
        state["markerSteps"] = json::array();
        if (!inOrder)
            break; // without the two steps before it there is no marker to name
        state["markers"].push_back(json { { "name", "" }, { "range", state["locators"] }, { "color", nullptr } });
        std::size_t index = state["markers"].size() - 1;
        state["lastCreated"] = json { { "kind", "marker" }, { "index", index } };
        startNaming("marker", index);
        break;
    }
    case 362: // ends the naming or placement step
        closeIfOpen("marker-name", true);
        closeIfOpen("track-name", true);
        state["placing"] = false;
        break;
    case 347: { // applies the colour chosen in the Colors window
        json last = state["lastCreated"];
        if (last.is_object()) {
            json& list = state[last.value("kind", "") == "track" ? "tracks" : last.value("kind", "") == "region" ? "regions" : "markers"];
            auto index = last.value("index", std::size_t(0));
            if (index < list.size())
                list[index]["color"] = state["chosenColor"];
        }
        break;
    }
    case 483: // Colors window
        state["colorsWindowOpen"] = toggle(json { { "role", "AXWindow" }, { "key", "colors-window" }, { "title", "Colors" },
            { "subrole", "AXFloatingWindow" }, { "position", { 1400, 200 } }, { "size", { 480, 160 } },
            { "children", json::array({ json { { "role", "AXGroup" }, { "key", "colors-grid" }, { "position", { 1400, 222 } }, { "size", { 480, 80 } } } }) } });
        break;
    case 888: // marker track
        state["markerTrackShown"] = !state.value("markerTrackShown", false);
        break;
    case 1795: { // new track
        std::size_t index = state["tracks"].size();
        state["tracks"].push_back(json { { "name", "Audio " + std::to_string(index + 1) }, { "color", nullptr } });
        state["lastCreated"] = json { { "kind", "track" }, { "index", index } };
        break;
    }
    case 571: // name the new track
        if (state["tracks"].empty())
            break;
        startNaming("track", state["tracks"].size() - 1);
        break;
    case 584: // select the placed region
    case 358:
        selectLastRegion();
        break;
    case 1194: // Open Movie…
        open(dialog("open-movie", "Open Movie", json::array({ field("open-movie-path", "Go to Folder", true) })));
        break;
    case 1320: { // ends the open-movie step
        closeIfOpen("open-movie", true);
        state["movie"] = json { { "open", true }, { "aligned", false } };
        state["regions"].push_back(json { { "kind", "movie" }, { "selected", false } });
        state["alignSteps"] = json::array();
        break;
    }
    case 1306: // align the movie region: 1306, then 1346
        state["alignSteps"] = json::array({ 1306 });
        break;
    case 1346:
        if (state["alignSteps"] == json::array({ 1306 }) && state["movie"].is_object())
            state["movie"]["aligned"] = true;
        state["alignSteps"] = json::array();
        break;
    case 1197: // Bounce…
        open(dialog("export-dialog", "Bounce", json::array({ field("export-dialog-name", "Save As", true) })));
        break;
    case 681: // Project Settings at Synchronization
        open(json { { "role", "AXWindow" }, { "key", "project-settings" }, { "title", "Project Settings" }, { "focusedWindow", true },
            { "children",
                json::array({ json { { "role", "AXRadioButton" }, { "key", "project-settings-synchronization" }, { "title", "Synchronization" },
                    { "value", 1 } } }) } });
        break;
    default:
        ran = false;
    }
    log({ { "type", "storedAction" }, { "code", code }, { "ran", ran } });
    if (!ran)
        return json { { "ran", false }, { "reason", "Logic has no command " + std::to_string(code) } };
    return json { { "ran", true } };
}

} // namespace mq::sim
