// The Automation permission per target with the user's prompts, applications
// opened quietly that start after a while, the settings application opened at a
// pane, and each client's own application state (activation policy, activation).
#include "sim/PermissionPrompts.h"

#include "sim/Commands.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/Scripting.h"
#include "marquee/URL.h"
#include "platform/linux/LogicSimFields.h"

#include <algorithm>
#include <stdexcept>

namespace mq::sim {

namespace wire = platform::wire;

using nlohmann::json;

namespace {

constexpr std::string_view kSettingsScheme = "x-apple.systempreferences:";

/// The OSStatus that a stored Automation state answers with: "allowed", "denied",
/// "ask", or any status written as a number.
int automationStatus(const std::string& state)
{
    if (state == "allowed")
        return platform::osstatus::noErr;
    if (state == "denied")
        return platform::osstatus::errAEEventNotPermitted;
    if (state == "ask")
        return platform::osstatus::errAEEventWouldRequireUserConsent;
    try {
        std::size_t used = 0;
        int status = std::stoi(state, &used);
        if (used == state.size())
            return status;
    } catch (const std::exception&) {
    }
    return platform::osstatus::errAEEventWouldRequireUserConsent;
}

} // namespace

json automationPermission(World& world, const json& request)
{
    auto bundle = request.value(wire::field::bundleIdentifier, "");
    bool running = false;
    for (auto& app : world.workspace.applications)
        running = running || (app.running && !app.terminated && app.bundleIdentifier == bundle);
    if (!running)
        return json { { wire::field::status, platform::osstatus::procNotFound } };
    auto it = world.permissions.automation.find(bundle);
    std::string state = it == world.permissions.automation.end() ? "ask" : it->second;
    if (state != "ask" || !request.value(wire::field::ask, false))
        return json { { wire::field::status, automationStatus(state) } };

    // The system shows its prompt; the asker waits for the user's answer.
    Permissions& permissions = world.permissions;
    world.record({ { "type", "automationPrompt" }, { "target", bundle }, { "answer", permissions.automationAnswer } });
    if (permissions.automationAnswer == "wait") {
        std::uint64_t ticket = permissions.nextTicket++;
        permissions.pendingPrompts.push_back({ ticket, bundle });
        return json { { "deferred", ticket } };
    }
    state = permissions.automationAnswer == "allow" ? "allowed" : "denied";
    permissions.automation[bundle] = state;
    return json { { wire::field::status, automationStatus(state) } };
}

std::int32_t automationStatusForSending(World& world, const std::string& target)
{
    std::string& permission = world.permissions.automation[target];
    if (permission != "allowed" && permission != "denied") {
        world.record({ { "type", "automationPrompt" }, { "target", target }, { "answer", world.permissions.automationAnswer } });
        permission = world.permissions.automationAnswer == "allow" ? "allowed" : "denied";
    }
    return automationStatus(permission);
}

bool automationPromptWaits(World& world, const std::string& target)
{
    auto it = world.permissions.automation.find(target);
    bool undecided = it == world.permissions.automation.end() || (it->second != "allowed" && it->second != "denied");
    return undecided && world.permissions.automationAnswer == "wait";
}

json holdUntilPromptAnswered(World& world, const std::string& target, std::function<json(World&)> resume)
{
    Permissions& permissions = world.permissions;
    std::uint64_t ticket = permissions.nextTicket++;
    bool shown = false;
    std::string before = world.workspace.frontmost;
    for (const auto& prompt : permissions.pendingPrompts)
        if (prompt.target == target) {
            shown = true; // the prompt is up already: this send waits on it too
            before = prompt.frontmostBefore;
        }
    permissions.pendingPrompts.push_back({ ticket, target, std::move(resume), before });
    world.workspace.frontmost.clear(); // the prompt is the system's, in front of every application
    if (!shown)
        world.record({ { "type", "automationPrompt" }, { "target", target }, { "answer", "wait" }, { "blocksSender", true } });
    return json { { "deferred", ticket } };
}

json openApplication(World& world, const json& request)
{
    auto url = URL::parse(request.value(wire::field::url, ""));
    for (auto& app : world.workspace.applications) {
        if (!url || app.bundlePath.empty() || standardizePath(url->path()) != standardizePath(app.bundlePath))
            continue;
        bool activates = request.value(wire::field::activates, true);
        world.record({ { "type", "openApplication" }, { "app", app.key }, { "activates", activates },
            { "addsToRecentItems", request.value(wire::field::addsToRecentItems, true) },
            { "createsNewApplicationInstance", request.value(wire::field::createsNewApplicationInstance, false) } });
        bool alive = app.running && !app.terminated;
        if (!alive && !world.workspace.launchesDue.contains(app.key)) {
            // An application takes a while to start; until then it is not listed.
            double delay = app.definition.value("launchDelaySeconds", 0.0);
            world.workspace.launchesDue[app.key] = std::chrono::steady_clock::now()
                + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(delay));
            advanceLaunches(world);
        }
        if (activates)
            activateApplication(world, app.key, "openApplication");
        return json { { wire::field::ok, true } };
    }
    return json { { wire::field::ok, false } };
}

void advanceLaunches(World& world)
{
    auto& due = world.workspace.launchesDue;
    auto now = std::chrono::steady_clock::now();
    for (auto it = due.begin(); it != due.end();) {
        Application* app = world.workspace.named(it->first);
        if (!app) {
            it = due.erase(it);
            continue;
        }
        if (it->second > now) {
            ++it;
            continue;
        }
        launch(world, *app);
        world.record({ { "type", "launch" }, { "app", app->key }, { "pid", app->pid } });
        world.notify("workspace", "NSWorkspaceDidLaunchApplicationNotification");
        it = due.erase(it);
    }
}

json clientApplication(World& world, platform::wire::Op op, const json& request, platform::pid_type clientPid)
{
    Permissions::ClientApplication& client = world.permissions.clientApplications[clientPid];
    if (op == platform::wire::Op::appSetActivationPolicy) {
        auto policy = request.value(wire::field::policy, "");
        if (policy != "regular" && policy != "accessory" && policy != "prohibited")
            return json { { wire::field::ok, false } };
        client.activationPolicy = policy;
        world.record({ { "type", "activationPolicy" }, { "pid", clientPid }, { "policy", policy } });
        return json { { wire::field::ok, true } };
    }
    // app.activate: ignoring other applications, the client takes the front
    // from whichever application has it (unless it may show no interface at all).
    ++client.activations;
    bool ignoringOtherApps = request.value(wire::field::ignoringOtherApps, false);
    world.record({ { "type", "activate" }, { "pid", clientPid }, { "ignoringOtherApps", ignoringOtherApps } });
    if (ignoringOtherApps && client.activationPolicy != "prohibited")
        activateApplication(world, clientKey(clientPid), "client");
    return json { { wire::field::ok, true } };
}

void openSettingsPane(World& world, const std::string& url)
{
    if (url.rfind(kSettingsScheme, 0) != 0)
        return;
    world.permissions.settings = json { { "running", true }, { "pane", url } };
    world.record({ { "type", "settingsPane" }, { "pane", url } });
}

namespace {

json answerPrompt(World& world, const json& args)
{
    Permissions& permissions = world.permissions;
    auto answer = args.value("answer", "");
    if (answer != "allow" && answer != "deny")
        throw std::runtime_error("answer must be \"allow\" or \"deny\"");
    auto target = args.value("bundleIdentifier", "");
    auto first = std::find_if(permissions.pendingPrompts.begin(), permissions.pendingPrompts.end(),
        [&](const Permissions::PendingPrompt& p) { return target.empty() || p.target == target; });
    if (first != permissions.pendingPrompts.end()) {
        // One prompt per target: every request waiting on it gets the answer.
        const std::string answered = first->target;
        std::string state = answer == "allow" ? "allowed" : "denied";
        std::vector<Permissions::PendingPrompt> waiting;
        for (auto it = permissions.pendingPrompts.begin(); it != permissions.pendingPrompts.end();) {
            if (it->target == answered) {
                waiting.push_back(std::move(*it));
                it = permissions.pendingPrompts.erase(it);
            } else {
                ++it;
            }
        }
        permissions.automation[answered] = state;
        world.record({ { "type", "promptAnswered" }, { "target", answered }, { "answer", answer } });
        for (Permissions::PendingPrompt& prompt : waiting) {
            if (prompt.resume && world.workspace.frontmost.empty())
                world.workspace.frontmost = prompt.frontmostBefore; // the prompt gives the front back
            json reply = prompt.resume ? prompt.resume(world) : json { { wire::field::status, automationStatus(state) } };
            world.permissions.answeredRequests.push_back({ prompt.ticket, std::move(reply) });
        }
        return json { { wire::field::ok, true }, { wire::field::target, answered } };
    }
    throw std::runtime_error(target.empty() ? "no prompt is shown" : "no prompt is shown for " + target);
}

} // namespace

void addPromptCommands(CommandMap& commands)
{
    commands.add("answer-prompt", answerPrompt);
}

json promptState(const World& world)
{
    const Permissions& permissions = world.permissions;
    json pending = json::array();
    for (const auto& prompt : permissions.pendingPrompts)
        if (std::find(pending.begin(), pending.end(), prompt.target) == pending.end())
            pending.push_back(prompt.target);
    json clients = json::object();
    for (const auto& [pid, client] : permissions.clientApplications)
        clients[std::to_string(pid)] = json { { "activationPolicy", client.activationPolicy }, { "activations", client.activations } };
    return json { { "pendingPrompts", pending }, { "helperClients", clients }, { "settings", permissions.settings } };
}

} // namespace mq::sim
