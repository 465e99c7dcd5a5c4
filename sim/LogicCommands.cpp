// Control commands on Logic's document: its state, Save As, and opening a
// dialog or the Colors window at once (the control side does not wait for the
// window-open delay).
#include "sim/ColorsWindow.h"
#include "sim/Commands.h"
#include "sim/GoToPositionDialog.h"
#include "sim/MarkerTrack.h"
#include "sim/UnaskedWindows.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

void addLogicCommands(CommandMap& commands)
{
    commands.add("set-logic", [](World& world, const json& args) {
        // Sets fields of Logic's document (markers, tracks, regions, selection...).
        world.document.merge(args);
        syncMarkerTrack(world);
        return okReply();
    });
    commands.add("set-colors-window", [](World& world, const json& args) {
        // Opens the Colors window at once (optionally at `position`), or closes it.
        std::optional<platform::CGPoint> origin;
        if (auto p = args.value("position", json()); p.is_array())
            origin = platform::CGPoint { p.at(0).get<double>(), p.at(1).get<double>() };
        if (!args.value("open", true)) {
            if (Element* w = world.tree.byKey(kColorsWindowKey))
                removeWindow(world, w->token);
            return okReply();
        }
        if (!openColorsWindowNow(world, origin))
            throw std::runtime_error("Logic is not running");
        return okReply();
    });
    commands.add("open-dialog", [](World& world, const json& args) {
        auto name = stringArgument(args, "dialog");
        if (name != "goToPosition")
            throw std::runtime_error("no dialog '" + name + "'");
        Token dialog = openGoToPositionDialog(world);
        if (!dialog)
            throw std::runtime_error("Logic is not running");
        return json { { "ok", true }, { "key", world.tree.at(dialog).key } };
    });
    // Windows Logic shows without the helper asking: the plug-in's panel and an alert.
    auto unasked = [](const char* key, json (*definition)(const json&)) {
        return [key, definition](World& world, const json& args) {
            std::string windowKey = args.value("key", key);
            if (!args.value("open", true)) {
                if (!closeInLogic(world, windowKey))
                    throw std::runtime_error("Logic shows no window '" + windowKey + "'");
                return okReply();
            }
            int afterMs = args.value("afterMs", 0);
            if (afterMs < 0)
                throw std::runtime_error("afterMs must not be negative");
            if (!openInLogic(world, definition(args), afterMs))
                throw std::runtime_error("Logic is not running");
            return json { { "ok", true }, { "key", windowKey } };
        };
    };
    commands.add("plugin-panel", unasked(kPluginPanelKey, pluginPanelDefinition));
    commands.add("alert", unasked(kAlertKey, alertDefinition));
    commands.add("save-as", [](World& world, const json& args) {
        Element* window = world.tree.byKey(args.value("window", ""));
        if (!window || window->role != "AXWindow")
            throw std::runtime_error("no window '" + args.value("window", "") + "'");
        window->set("AXDocument", CFValue(args.at("document").get<std::string>()));
        if (args.contains("title"))
            window->set("AXTitle", CFValue(args["title"].get<std::string>()));
        world.record({ { "type", "saveAs" }, { "window", window->key }, { "document", args["document"] } });
        return okReply();
    });
}

} // namespace mq::sim
