#include "sim/UnaskedWindows.h"

#include "sim/Windows.h"
#include "sim/World.h"

#include <chrono>

namespace mq::sim {

using nlohmann::json;

json pluginPanelDefinition(const json& args)
{
    json panel { { "role", "AXWindow" }, { "key", kPluginPanelKey }, { "title", args.value("title", "Marquee") },
        { "subrole", args.value("subrole", "AXFloatingWindow") }, { "position", args.value("position", json::array({ 300, 200 })) },
        { "size", args.value("size", json::array({ 600, 400 })) }, { "focusedWindow", args.value("focused", false) } };
    const json& position = panel["position"];
    double x = position.at(0).get<double>(), y = position.at(1).get<double>();
    panel["children"] = json::array({
        json { { "role", "AXGroup" }, { "key", "plugin-panel-view" }, { "description", "Plug-in View" }, { "position", { x, y + 22 } },
            { "size", { panel["size"].at(0), panel["size"].at(1).get<double>() - 22 } },
            { "children",
                json::array({ json { { "role", "AXButton" }, { "key", "plugin-panel-button" }, { "title", "Settings" },
                    { "position", { x + 20, y + 40 } }, { "size", { 80, 24 } } } }) } },
    });
    if (auto it = args.find("window"); it != args.end() && it->is_object())
        for (const auto& [name, value] : it->items())
            panel[name] = value;
    return panel;
}

json alertDefinition(const json& args)
{
    std::string key = args.value("key", kAlertKey);
    json position = args.value("position", json::array({ 760, 300 }));
    double x = position.at(0).get<double>(), y = position.at(1).get<double>();
    auto button = [&](const std::string& suffix, const char* title, const char* press, double left) {
        return json { { "role", "AXButton" }, { "key", key + suffix }, { "title", title }, { "press", press }, { "position", { x + left, y + 120 } },
            { "size", { 80, 24 } } };
    };
    json alert { { "role", "AXWindow" }, { "key", key }, { "title", args.value("title", "") }, { "subrole", "AXDialog" }, { "modal", true },
        { "position", position }, { "size", { 360, 160 } }, { "defaultButton", key + "-ok" },
        { "children", json::array({ json { { "role", "AXStaticText" }, { "value", args.value("message", "") } }, button("-ok", "OK", "confirm", 260) }) } };
    if (args.value("cancel", false)) {
        alert["children"].push_back(button("-cancel", "Cancel", "cancel", 170));
        alert["cancelButton"] = key + "-cancel";
    }
    return alert;
}

bool openInLogic(World& world, const json& definition, int afterMs)
{
    if (!world.workspace.logic())
        return false;
    world.later(std::chrono::milliseconds(afterMs), [definition](World& w) {
        Application* logic = w.workspace.logic();
        if (!logic || w.tree.byKey(definition.value("key", "")))
            return;
        Token window = addWindow(w, *logic, definition, true);
        w.record({ { "type", "windowOpened" }, { "window", w.tree.at(window).name() }, { "unasked", true } });
    });
    return true;
}

bool closeInLogic(World& world, const std::string& key)
{
    Element* window = world.tree.byKey(key);
    Application* logic = world.workspace.logic();
    if (!window || !logic || window->pid != logic->pid || window->role != "AXWindow")
        return false;
    removeWindow(world, window->token);
    return true;
}

} // namespace mq::sim
