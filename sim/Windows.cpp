#include "sim/Windows.h"

#include "sim/PermissionPrompts.h"
#include "sim/World.h"

#include "platform/linux/LogicSimWire.h"

#include <functional>
#include <stdexcept>

namespace mq::sim {

void setFocusedWindow(World& world, Application& app, Token window)
{
    if (app.focusedWindow == window)
        return;
    app.focusedWindow = window;
    if (window)
        world.notifyAccessibility(window, "AXFocusedWindowChanged");
}

Token addWindow(World& world, Application& app, const nlohmann::json& definition, bool front)
{
    Token window = world.tree.build(definition, app.pid, app.element);
    Element& w = world.tree.at(window);
    if (w.role != "AXWindow") {
        world.tree.removeSubtree(window);
        throw std::runtime_error("scenario: a window needs role AXWindow");
    }
    if (front)
        app.windows.insert(app.windows.begin(), window);
    else
        app.windows.push_back(window);
    // A new dialog takes the keyboard focus; its first field is focused unless
    // the definition says otherwise.
    bool takesFocus = (w.isModalWindow() && front) || definition.value("focusedWindow", false);
    if (w.isModalWindow() && front) {
        if (w.focusedField == 0) {
            auto fields = world.tree.focusableFields(w);
            if (!fields.empty())
                w.focusedField = fields.front();
        }
    }
    if (definition.value("main", false))
        app.mainWindow = window;
    // Logic reports the new window, then that it took the focus.
    world.notifyAccessibility(window, "AXWindowCreated");
    if (takesFocus)
        setFocusedWindow(world, app, window);
    return window;
}

void moveWindow(World& world, Element& window, platform::CGPoint origin)
{
    auto pointOf = [](const Element& e) -> std::optional<platform::CGPoint> {
        auto position = e.find("AXPosition");
        auto boxed = position && *position ? (*position)->get<platform::AXValue>() : nullptr;
        auto point = boxed ? std::get_if<platform::CGPoint>(boxed) : nullptr;
        return point ? std::optional(*point) : std::nullopt;
    };
    auto from = pointOf(window);
    if (!from)
        return;
    double dx = origin.x - from->x, dy = origin.y - from->y;
    std::function<void(Element&)> shift = [&](Element& e) {
        if (auto p = pointOf(e))
            e.set("AXPosition", CFValue(platform::AXValue(platform::CGPoint { p->x + dx, p->y + dy })));
        for (Token child : e.children)
            if (Element* c = world.tree.find(child))
                shift(*c);
    };
    shift(window);
}

Token addSheet(World& world, Application& app, nlohmann::json definition)
{
    Token parent = app.mainWindow ? app.mainWindow : (app.windows.empty() ? 0 : app.windows.front());
    if (!parent)
        return addWindow(world, app, definition, true);
    definition["role"] = "AXSheet";
    definition.erase("subrole");
    definition.erase("main");
    definition.erase("focusedWindow");
    Token sheet = world.tree.build(definition, app.pid, parent);
    world.tree.at(parent).children.push_back(sheet);
    Element& s = world.tree.at(sheet);
    if (s.focusedField == 0) {
        auto fields = world.tree.focusableFields(s);
        if (!fields.empty())
            s.focusedField = fields.front();
    }
    world.notifyAccessibility(sheet, "AXSheetCreated");
    setFocusedWindow(world, app, parent);
    return sheet;
}

Token sheetOf(const World& world, Token window)
{
    const Element* w = world.tree.find(window);
    if (!w)
        return 0;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
        if (const Element* child = world.tree.find(*it); child && child->isDialogSheet())
            return *it;
    return 0;
}

void removeWindow(World& world, Token window)
{
    Element* w = world.tree.find(window);
    if (!w)
        return;
    if (w->isDialogSheet()) {
        if (Element* parent = world.tree.find(w->parent))
            std::erase(parent->children, window);
        world.notifyAccessibility(window, "AXUIElementDestroyed");
        world.tree.removeSubtree(window);
        return;
    }
    if (Application* app = world.workspace.byPid(w->pid)) {
        std::erase(app->windows, window);
        auto firstStandard = [&]() -> Token {
            for (Token t : app->windows)
                if (world.tree.at(t).string("AXSubrole") == "AXStandardWindow")
                    return t;
            return 0;
        };
        if (app->mainWindow == window)
            app->mainWindow = firstStandard();
        world.notifyAccessibility(window, "AXUIElementDestroyed");
        if (app->focusedWindow == window)
            setFocusedWindow(world, *app, app->mainWindow ? app->mainWindow : (app->windows.empty() ? 0 : app->windows.front()));
    }
    world.tree.removeSubtree(window);
}

nlohmann::json launch(World& world, Application& app, std::optional<pid_type> pid)
{
    // A launch is a new process: a new pid and a fresh set of windows from the
    // scenario, with new element identities.
    for (Token w : std::exchange(app.windows, {}))
        world.tree.removeSubtree(w);
    world.tree.removeSubtree(app.element);
    app.mainWindow = app.focusedWindow = 0;
    app.pid = pid ? *pid : world.workspace.nextPid++;
    app.terminated = false;
    app.running = true;
    app.element = world.tree.addBare("AXApplication", app.key, app.pid, 0);

    if (auto it = app.definition.find("windows"); it != app.definition.end())
        for (const auto& window : *it)
            addWindow(world, app, window, false);
    for (const char* which : { "mainWindow", "focusedWindow" }) {
        auto it = app.definition.find(which);
        if (it == app.definition.end() || !it->is_string())
            continue;
        Element* w = world.tree.byKey(it->get<std::string>());
        if (!w)
            throw std::runtime_error(std::string("scenario: ") + which + " names unknown window '" + it->get<std::string>() + "'");
        (std::string(which) == "mainWindow" ? app.mainWindow : app.focusedWindow) = w->token;
    }
    return nlohmann::json { { "pid", app.pid } };
}

void activateApplication(World& world, const std::string& key, const char* by)
{
    if (!world.workspace.activate(key))
        return;
    world.record({ { "type", "frontmost" }, { "app", key }, { "by", by } });
    world.notify("workspace", "NSWorkspaceDidActivateApplicationNotification");
}

void quit(World& world, Application& app)
{
    for (Token w : std::exchange(app.windows, {}))
        world.tree.removeSubtree(w);
    world.tree.removeSubtree(app.element);
    app.mainWindow = app.focusedWindow = 0;
    app.element = 0;
    app.running = false;
    app.hidden = app.onOtherSpace = false;
    if (world.workspace.frontmost == app.key)
        world.workspace.frontmost.clear();
}

namespace {

nlohmann::json launchApplication(World& world, const nlohmann::json& request)
{
    auto url = URL::parse(request.value("url", ""));
    for (auto& app : world.workspace.applications) {
        if (url && !app.bundlePath.empty() && standardizePath(url->path()) == standardizePath(app.bundlePath)) {
            if (!app.alive())
                launch(world, app);
            activateApplication(world, app.key, "launch");
            world.record({ { "type", "launch" }, { "app", app.key }, { "pid", app.pid } });
            return nlohmann::json { { "ok", true } };
        }
    }
    return nlohmann::json { { "ok", false } };
}

nlohmann::json urlForApplication(World& world, const nlohmann::json& request)
{
    auto bundle = request.value("bundleIdentifier", "");
    Application* app = world.workspace.named(bundle);
    if (!app || app->bundlePath.empty() || app->bundleIdentifier != bundle)
        return nlohmann::json { { "url", nullptr } };
    return nlohmann::json { { "url", platform::wire::encode(CFValue(URL::fileURLWithPath(app->bundlePath))) } };
}

} // namespace

nlohmann::json answerWorkspace(World& world, platform::wire::Op op, const nlohmann::json& request)
{
    using platform::wire::Op;
    switch (op) {
    case Op::workspaceRunningApplications:
        return nlohmann::json { { "applications", world.workspace.runningApplications() } };
    case Op::workspaceOpenURL:
        EventLog::append(world.log.openedURLs, request.value("url", ""));
        world.record({ { "type", "openURL" }, { "url", request.value("url", "") } });
        openSettingsPane(world, request.value("url", ""));
        return nlohmann::json { { "ok", true } };
    case Op::workspaceURLForApplication:
        return urlForApplication(world, request);
    case Op::workspaceLaunchApplication:
        return launchApplication(world, request);
    case Op::workspaceOpenApplication:
        return openApplication(world, request);
    default:
        return nlohmann::json { { "error", std::string("not a workspace request: ") + platform::wire::opName(op) } };
    }
}

} // namespace mq::sim
