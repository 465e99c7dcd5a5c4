// Control commands on the running applications and their windows.
#include "sim/Commands.h"
#include "sim/FocusThief.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include <functional>
#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

namespace {

std::optional<std::string> optionalString(const json& value)
{
    return value.is_null() ? std::nullopt : std::optional<std::string>(value.get<std::string>());
}

json addApplication(World& world, const json& args)
{
    json definition = args.at("application");
    Application app = Workspace::fromDefinition(definition, world.workspace.applications.size());
    if (world.workspace.named(app.key))
        throw std::runtime_error("an application '" + app.key + "' exists already");
    world.workspace.applications.push_back(std::move(app));
    Application& added = world.workspace.applications.back();
    if (definition.value("running", true))
        launch(world, added, definition.contains("pid") ? std::optional<pid_type>(definition["pid"].get<pid_type>()) : std::nullopt);
    added.terminated = definition.value("terminated", false);
    return json { { "pid", added.pid } };
}

json setApplication(World& world, const json& args)
{
    Application& app = applicationArgument(world, args);
    if (args.contains("terminated"))
        app.terminated = args["terminated"].get<bool>();
    if (args.contains("localizedName"))
        app.localizedName = optionalString(args["localizedName"]);
    if (args.contains("bundleIdentifier"))
        app.bundleIdentifier = optionalString(args["bundleIdentifier"]);
    if (args.contains("activationPolicy"))
        app.activationPolicy = args["activationPolicy"].get<std::string>();
    if (args.contains("launchDelaySeconds"))
        app.definition["launchDelaySeconds"] = args["launchDelaySeconds"].get<double>();
    return okReply();
}

/// A window of `count` elements in all (the window included): groups of
/// `fanout` children, filled breadth first; leaves are static texts.
json largeWindowDefinition(int count, int fanout, const std::string& key)
{
    if (count < 1 || fanout < 1)
        throw std::runtime_error("elements and fanout must be positive");
    json window { { "role", "AXWindow" }, { "key", key }, { "title", "Large Window" }, { "subrole", "AXStandardWindow" }, { "children", json::array() } };
    std::vector<json*> queue { &window };
    int made = 1;
    for (size_t i = 0; i < queue.size() && made < count; ++i) {
        json& parent = *queue[i];
        parent["children"] = json::array();
        for (int c = 0; c < fanout && made < count; ++c, ++made)
            parent["children"].push_back(json { { "role", "AXGroup" }, { "value", "item " + std::to_string(made) } });
        for (auto& child : parent["children"])
            queue.push_back(&child);
    }
    std::function<void(json&)> leavesAreTexts = [&](json& e) {
        if (e.contains("children") && !e["children"].empty()) {
            for (auto& c : e["children"])
                leavesAreTexts(c);
        } else if (e["role"] == "AXGroup") {
            e["role"] = "AXStaticText";
        }
    };
    leavesAreTexts(window);
    return window;
}

} // namespace

void addWorkspaceCommands(CommandMap& commands)
{
    commands.add("quit", [](World& world, const json& args) {
        Application& app = applicationArgument(world, args);
        pid_type pid = app.pid;
        quit(world, app);
        world.record({ { "type", "quit" }, { "app", app.key }, { "pid", pid } });
        world.notify("workspace", "NSWorkspaceDidTerminateApplicationNotification");
        return json { { "ok", true }, { "pid", pid } };
    });
    commands.add("launch", [](World& world, const json& args) {
        Application& app = applicationArgument(world, args);
        json result = launch(world, app);
        if (args.value("frontmost", true))
            activateApplication(world, app.key, "launch");
        world.record({ { "type", "launch" }, { "app", app.key }, { "pid", app.pid } });
        return result;
    });
    // Cmd-H, and showing it again: a hidden application's windows leave AXWindows
    // and it is no longer in front.
    commands.add("hide", [](World& world, const json& args) {
        Application& app = applicationArgument(world, args);
        app.hidden = args.value("hidden", true);
        if (app.hidden && world.workspace.frontmost == app.key)
            world.workspace.frontmost.clear();
        world.record({ { "type", app.hidden ? "hidden" : "unhidden" }, { "app", app.key } });
        return okReply();
    });
    // The application's full-screen window on another Space than the user's
    // ("otherSpace": true), or back on the user's Space.
    commands.add("full-screen", [](World& world, const json& args) {
        Application& app = applicationArgument(world, args);
        app.onOtherSpace = args.value("otherSpace", true);
        world.record({ { "type", "fullScreen" }, { "app", app.key }, { "otherSpace", app.onOtherSpace } });
        return okReply();
    });
    commands.add("add-app", addApplication);
    commands.add("set-app", setApplication);
    commands.add("frontmost", [](World& world, const json& args) {
        activateApplication(world, applicationArgument(world, args).key, "ctl");
        return okReply();
    });
    commands.add("focus-thief", [](World& world, const json& args) {
        if (args.value("stop", false)) {
            stopFocusThief(world);
            return okReply();
        }
        stringArgument(args, "app"); // a thief must be named
        Application& app = applicationArgument(world, args);
        int everyMs = args.value("everyMs", 20);
        if (everyMs < 1)
            throw std::runtime_error("everyMs must be at least 1");
        startFocusThief(world, app.key, std::chrono::milliseconds(everyMs));
        return okReply();
    });
    commands.add("add-window", [](World& world, const json& args) {
        Application& app = applicationArgument(world, args);
        if (!app.running)
            throw std::runtime_error("application '" + app.key + "' is not running");
        return json { { "element", addWindow(world, app, args.at("window"), args.value("front", true)) } };
    });
    commands.add("remove-window", [](World& world, const json& args) {
        removeWindow(world, elementArgument(world, args, "window").token);
        return okReply();
    });
    for (const char* name : { "set-main-window", "set-focused-window" }) {
        bool main = std::string(name) == "set-main-window";
        commands.add(name, [main](World& world, const json& args) {
            Application& app = applicationArgument(world, args);
            Token t = args.contains("window") && !args["window"].is_null() ? elementArgument(world, args, "window").token : 0;
            (main ? app.mainWindow : app.focusedWindow) = t;
            return okReply();
        });
    }
    commands.add("build-large-window", [](World& world, const json& args) {
        json window = largeWindowDefinition(args.value("elements", 6000), args.value("fanout", 8), args.value("key", "large-window"));
        return json { { "element", addWindow(world, applicationArgument(world, args), window, false) } };
    });
}

} // namespace mq::sim
