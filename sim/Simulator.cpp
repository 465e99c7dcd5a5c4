#include "sim/Simulator.h"

#include "sim/Accessibility.h"
#include "sim/Desktop.h"
#include "sim/Input.h"
#include "sim/PermissionPrompts.h"
#include "sim/Scenario.h"
#include "sim/StoredActions.h"
#include "sim/Windows.h"

#include <algorithm>
#include <fstream>

#include "platform/Scripting.h"
#include "platform/linux/LogicSimFields.h"
#include <functional>
#include <stdexcept>

namespace mq::sim {

namespace wire = platform::wire;

using nlohmann::json;
using platform::wire::Op;
using platform::wire::OpArea;

namespace {

json applicationState(const World& world, const Application& app)
{
    json windows = json::array();
    for (Token w : app.windows)
        windows.push_back(world.tree.describe(world.tree.at(w), 64));
    auto windowName = [&](Token t) { return t ? world.tree.at(t).name() : json(nullptr); };
    return json {
        { "key", app.key },
        { "bundleIdentifier", app.bundleIdentifier ? json(*app.bundleIdentifier) : json(nullptr) },
        { "localizedName", app.localizedName ? json(*app.localizedName) : json(nullptr) },
        { "pid", app.pid },
        { "running", app.running },
        { "terminated", app.terminated },
        { "hidden", app.hidden },
        { "onOtherSpace", app.onOtherSpace },
        { "activationPolicy", app.activationPolicy },
        { "mainWindow", windowName(app.mainWindow) },
        { "focusedWindow", windowName(app.focusedWindow) },
        { "windows", windows },
    };
}

} // namespace

Simulator::Simulator()
{
    registerStoredActionBehaviors(m_world.dialogs);
    addWorkspaceCommands(m_commands);
    addTreeCommands(m_commands);
    addDesktopCommands(m_commands);
    addPermissionCommands(m_commands);
    addTransportCommands(m_commands);
    addLogicCommands(m_commands);
    addFaultCommands(m_commands);
    addLatencyCommands(m_commands);
    addDialogCommands(m_commands);
    addPromptCommands(m_commands);
    addBounceCommands(m_commands);
    m_commands.add("ping", [](World&, const json&) { return okReply(); });
    m_commands.add("state", [this](World&, const json& args) { return state(args.value("only", std::vector<std::string> {})); });
    m_commands.add("reset", [this](World&, const json&) {
        reset();
        return okReply();
    });
    m_commands.add("load", [this](World&, const json& args) {
        if (args.contains("file")) {
            std::ifstream in(stringArgument(args, "file"));
            if (!in)
                throw std::runtime_error("cannot read " + stringArgument(args, "file"));
            load(json::parse(in));
        } else {
            load(args.at("scenario"));
        }
        m_world.faults.rules.clear();
        return okReply();
    });
}

void Simulator::load(const json& scenario)
{
    // Build into a fresh world first so that a malformed scenario leaves the old one.
    World fresh;
    fresh.tree.continueAfter(m_world.tree.nextToken()); // identities never repeat across loads
    fresh.workspace.nextPid = m_world.workspace.nextPid;
    fresh.dialogs.behaviors = m_world.dialogs.behaviors;
    fresh.generation = m_world.generation + 1;
    buildWorld(fresh, scenario);
    // Keep what belongs to the server rather than the world. Prompts still shown
    // end as timed out, so that no asker waits for an answer that cannot come.
    fresh.permissions.nextTicket = m_world.permissions.nextTicket;
    fresh.permissions.answeredRequests = std::move(m_world.permissions.answeredRequests);
    for (const auto& prompt : m_world.permissions.pendingPrompts)
        fresh.permissions.answeredRequests.push_back(
            { prompt.ticket, json { { "status", platform::osstatus::errAETimeout }, { "ran", false }, { "reason", "AppleEvent timed out (-1712)" } } });
    fresh.scheduler = std::move(m_world.scheduler);
    fresh.files = std::move(m_world.files); // the file system is not the scenario's
    m_world = std::move(fresh);
    m_scenario = scenario;
}

void Simulator::reset()
{
    json scenario = m_scenario;
    load(scenario);
}

std::optional<std::chrono::steady_clock::time_point> Simulator::waitForLogic(platform::wire::Op op, const nlohmann::json& request) const
{
    using platform::wire::Op;
    const Application* logic = const_cast<Workspace&>(m_world.workspace).logic();
    if (!logic)
        return std::nullopt;
    if (op == Op::logicRunStoredAction) {
        constexpr auto kRecheck = std::chrono::milliseconds(50);
        for (Token w : logic->windows)
            if (const Element* window = m_world.tree.find(w); window && window->isModalWindow() && window->string("AXSubrole") == "AXDialog")
                return std::max(m_world.logicBusyUntil, std::chrono::steady_clock::now() + kRecheck);
    }
    if (m_world.logicBusyFor().count() <= 0)
        return std::nullopt;
    if (platform::wire::areaOf(op) == platform::wire::OpArea::accessibility) {
        const auto& element = request.value(wire::field::el, nlohmann::json::object());
        if (element.is_object() && element.value("pid", platform::pid_type(0)) == logic->pid)
            return m_world.logicBusyUntil;
        return std::nullopt;
    }
    if (op == Op::inputKeyboard || op == Op::inputMouse || op == Op::scriptRun || op == Op::logicRunStoredAction)
        return m_world.logicBusyUntil;
    return std::nullopt;
}

void Simulator::setScheduler(Scheduler scheduler) { m_world.scheduler = std::move(scheduler); }

json Simulator::handle(Op op, const json& request, platform::pid_type client)
{
    advanceTransport(m_world);
    advanceLaunches(m_world);
    switch (platform::wire::areaOf(op)) {
    case OpArea::accessibility:
        return answerAccessibility(m_world, op, request, client);
    case OpArea::input:
        return answerInput(m_world, op, request);
    case OpArea::scripting:
        if (op != Op::scriptRun)
            return answerScripting(m_world, op, request);
        break;
    case OpArea::files:
        return makeFileReference(m_world.files, request);
    case OpArea::logic:
        return runStoredAction(m_world, request.value(wire::field::code, std::uint32_t(0)), request);
    case OpArea::workspace:
        return answerWorkspace(m_world, op, request);
    case OpArea::desktop:
        return answerDesktop(m_world, op, request);
    case OpArea::application:
        return clientApplication(m_world, op, request, client);
    case OpArea::connection:
        break;
    }
    return json { { wire::field::error, std::string("not a request the world answers: ") + platform::wire::opName(op) } };
}

json Simulator::control(const std::string& command, const json& args)
{
    advanceTransport(m_world);
    advanceLaunches(m_world);
    const CommandHandler* handler = m_commands.find(command);
    if (!handler)
        throw std::runtime_error("unknown control command '" + command + "'");
    return (*handler)(m_world, args);
}

ScriptStart Simulator::startScript(const json& request, platform::pid_type client)
{
    advanceTransport(m_world);
    return sim::startScript(m_world, request, client);
}

std::optional<double> Simulator::continueScript(ScriptRun& run)
{
    advanceTransport(m_world);
    return sim::continueScript(m_world, run);
}

std::optional<FaultRule> Simulator::takeFault(const std::string& op, const json& request, platform::pid_type client)
{
    auto taken = m_world.faults.take(op, request, client);
    if (taken)
        m_world.record({ { "type", "fault" }, { "op", op }, { "delayMs", taken->delayMs }, { "noReply", taken->noReply },
            { "error", taken->error ? json(*taken->error) : json(nullptr) } });
    return taken;
}

json Simulator::state(const std::vector<std::string>& only) const
{
    const World& w = m_world;
    // Each part of the report, built only when asked for.
    const std::pair<const char*, std::function<json()>> parts[] = {
        { "applications",
            [&] {
                json applications = json::array();
                for (const auto& app : w.workspace.applications)
                    applications.push_back(applicationState(w, app));
                return applications;
            } },
        { "bundleIdentifiers",
            [&] {
                json keys = json::object();
                for (const auto& app : w.workspace.applications)
                    keys[app.key] = app.bundleIdentifier ? json(*app.bundleIdentifier) : json(nullptr);
                return keys;
            } },
        { "frontmost", [&] { return w.workspace.frontmost.empty() ? json(nullptr) : json(w.workspace.frontmost); } },
        { "accessibility", [&] { return w.permissions.describe(); } },
        { "automation", [&] { return json(w.permissions.automation); } },
        { "pendingPrompts", [&] { return promptState(w)["pendingPrompts"]; } },
        { "helperClients", [&] { return promptState(w)["helperClients"]; } },
        { "settings", [&] { return w.permissions.settings; } },
        { "transport", [&] { return w.transport.settings.describe(); } },
        { "logic",
            [&] {
                json logic = w.document.describe(w.transport.settings);
                logic["colorsWindowOpen"] = w.tree.byKey(kColorsWindowKey) != nullptr;
                return logic;
            } },
        { "movie", [&] { return w.movie.describe(); } },
        { "export",
            [&] {
                return json { { "settings", w.exportDialog.settings.describe() }, { "results", w.exportDialog.results } };
            } },
        { "language", [&] { return json(w.language); } },
        { "latency", [&] { return w.latency.describe(); } },
        { "openingWindows", [&] { return json(w.dialogs.opening); } },
        { "sheets", [&] { return json(w.dialogs.asSheets); } },
        { "elementCount", [&] { return json(w.tree.size()); } },
        { "cursor", [&] { return json { w.desktop.cursor.x, w.desktop.cursor.y }; } },
        { "keyEvents", [&] { return w.log.keyEvents; } },
        { "mouseEvents", [&] { return w.log.mouseEvents; } },
        { "dialogResults", [&] { return w.log.dialogResults; } },
        { "events", [&] { return w.log.events; } },
        { "scripts", [&] { return w.log.scripts; } },
        { "appleEvents", [&] { return w.log.appleEvents; } },
        { "openedURLs", [&] { return w.log.openedURLs; } },
        { "pasteboard", [&] { return w.desktop.pasteboard; } },
        { "session", [&] { return w.desktop.session; } },
        { "screens", [&] { return w.desktop.screens; } },
        { "faults",
            [&] {
                json faults = json::array();
                for (const auto& f : w.faults.rules)
                    faults.push_back(f.describe());
                return faults;
            } },
    };
    json report = json::object();
    for (const auto& [name, build] : parts)
        if (only.empty() || std::find(only.begin(), only.end(), name) != only.end())
            report[name] = build();
    return report;
}

} // namespace mq::sim
