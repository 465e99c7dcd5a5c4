// Control commands on the desktop: the session and its states, screens, the
// cursor and notifications. Each desktop state changes the session dictionary
// where the platform would, and posts the notification the platform posts.
#include "sim/Commands.h"
#include "sim/World.h"

#include "platform/Workspace.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;
namespace names = platform::notifications;

namespace {

void setSessionEntry(World& world, const char* name, bool value)
{
    if (!world.desktop.session.is_object())
        world.desktop.session = json::object();
    world.desktop.session[name] = value;
}

} // namespace

void addDesktopCommands(CommandMap& commands)
{
    commands.add("set-session", [](World& world, const json& args) {
        world.desktop.session = args.at("session");
        return okReply();
    });
    commands.add("set-screens", [](World& world, const json& args) {
        world.desktop.screens = args.at("screens");
        return okReply();
    });
    commands.add("set-pasteboard", [](World& world, const json& args) {
        // Items as the wire carries them: {"representations": [[type, hex data], ...]}.
        json items = args.at("items");
        if (!items.is_array())
            throw std::runtime_error("items must be an array");
        world.desktop.pasteboard = items;
        return okReply();
    });
    commands.add("set-cursor", [](World& world, const json& args) {
        world.desktop.cursor = { args.at("x").get<double>(), args.at("y").get<double>() };
        return okReply();
    });
    commands.add("notify", [](World& world, const json& args) {
        world.notify(args.value("center", "workspace"), stringArgument(args, "name"));
        return okReply();
    });
    commands.add("set-screen-lock", [](World& world, const json& args) {
        bool locked = boolArgument(args, "locked");
        setSessionEntry(world, "CGSSessionScreenIsLocked", locked);
        world.notify("distributed", locked ? names::screenIsLocked : names::screenIsUnlocked);
        return okReply();
    });
    commands.add("set-screens-asleep", [](World& world, const json& args) {
        world.notify("workspace", boolArgument(args, "asleep") ? names::screensDidSleep : names::screensDidWake);
        return okReply();
    });
    commands.add("set-system-asleep", [](World& world, const json& args) {
        world.notify("workspace", boolArgument(args, "asleep") ? names::willSleep : names::didWake);
        return okReply();
    });
    commands.add("set-session-active", [](World& world, const json& args) {
        bool active = boolArgument(args, "active");
        setSessionEntry(world, "kCGSSessionOnConsoleKey", active);
        world.notify("workspace", active ? names::sessionDidBecomeActive : names::sessionDidResignActive);
        return okReply();
    });
}

} // namespace mq::sim
