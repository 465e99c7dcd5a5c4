// The Automation permission per target with the user's prompts, applications
// opened quietly that start after a while, the settings application opened at a
// pane, and each client's own application state (activation policy, activation).
#include "sim/Model.h"

#include "platform/Scripting.h"
#include "platform/URL.h"

#include <stdexcept>

namespace mq::sim {

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

json Model::automationPermission(const json& request)
{
    auto bundle = request.value("bundleIdentifier", "");
    bool running = false;
    for (auto& app : m_applications)
        running = running || (app.running && !app.terminated && app.bundleIdentifier == bundle);
    if (!running)
        return json { { "status", platform::osstatus::procNotFound } };
    auto it = m_automation.find(bundle);
    std::string state = it == m_automation.end() ? "ask" : it->second;
    if (state != "ask" || !request.value("ask", false))
        return json { { "status", automationStatus(state) } };

    // The system shows its prompt; the asker waits for the user's answer.
    log({ { "type", "automationPrompt" }, { "target", bundle }, { "answer", m_automationAnswer } });
    if (m_automationAnswer == "wait") {
        std::uint64_t ticket = m_nextTicket++;
        m_pendingPrompts.push_back({ ticket, bundle });
        return json { { "deferred", ticket } };
    }
    state = m_automationAnswer == "allow" ? "allowed" : "denied";
    m_automation[bundle] = state;
    return json { { "status", automationStatus(state) } };
}

json Model::openApplication(const json& request)
{
    auto url = URL::parse(request.value("url", ""));
    for (auto& app : m_applications) {
        if (!url || app.bundlePath.empty() || standardizePath(url->path()) != standardizePath(app.bundlePath))
            continue;
        bool activates = request.value("activates", true);
        log({ { "type", "openApplication" }, { "app", app.key }, { "activates", activates },
            { "addsToRecentItems", request.value("addsToRecentItems", true) },
            { "createsNewApplicationInstance", request.value("createsNewApplicationInstance", false) } });
        bool alive = app.running && !app.terminated;
        if (!alive && !m_launchesDue.contains(app.key)) {
            // An application takes a while to start; until then it is not listed.
            double delay = app.definition.value("launchDelaySeconds", 0.0);
            m_launchesDue[app.key] = std::chrono::steady_clock::now()
                + std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(delay));
            advanceLaunches();
        }
        if (activates)
            m_frontmost = app.key;
        return json { { "ok", true } };
    }
    return json { { "ok", false } };
}

void Model::advanceLaunches()
{
    auto now = std::chrono::steady_clock::now();
    for (auto it = m_launchesDue.begin(); it != m_launchesDue.end();) {
        Application* app = application(it->first);
        if (!app) {
            it = m_launchesDue.erase(it);
            continue;
        }
        if (it->second > now) {
            ++it;
            continue;
        }
        launch(*app);
        log({ { "type", "launch" }, { "app", app->key }, { "pid", app->pid } });
        broadcastNotification("workspace", "NSWorkspaceDidLaunchApplicationNotification");
        it = m_launchesDue.erase(it);
    }
}

json Model::clientApplication(const std::string& op, const json& request, pid_type clientPid)
{
    ClientApplication& client = m_clientApplications[clientPid];
    if (op == "app.setActivationPolicy") {
        auto policy = request.value("policy", "");
        if (policy != "regular" && policy != "accessory" && policy != "prohibited")
            return json { { "ok", false } };
        client.activationPolicy = policy;
        log({ { "type", "activationPolicy" }, { "pid", clientPid }, { "policy", policy } });
        return json { { "ok", true } };
    }
    // app.activate
    ++client.activations;
    log({ { "type", "activate" }, { "pid", clientPid }, { "ignoringOtherApps", request.value("ignoringOtherApps", false) } });
    return json { { "ok", true } };
}

void Model::openSettingsPane(const std::string& url)
{
    if (url.rfind(kSettingsScheme, 0) != 0)
        return;
    m_settings = json { { "running", true }, { "pane", url } };
    log({ { "type", "settingsPane" }, { "pane", url } });
}

std::optional<json> Model::promptControl(const std::string& command, const json& args)
{
    if (command != "answer-prompt")
        return std::nullopt;
    auto answer = args.value("answer", "");
    if (answer != "allow" && answer != "deny")
        throw std::runtime_error("answer must be \"allow\" or \"deny\"");
    auto target = args.value("bundleIdentifier", "");
    for (auto it = m_pendingPrompts.begin(); it != m_pendingPrompts.end(); ++it) {
        if (!target.empty() && it->target != target)
            continue;
        std::string state = answer == "allow" ? "allowed" : "denied";
        m_automation[it->target] = state;
        m_answeredRequests.push_back({ it->ticket, json { { "status", automationStatus(state) } } });
        log({ { "type", "promptAnswered" }, { "target", it->target }, { "answer", answer } });
        json reply { { "ok", true }, { "target", it->target } };
        m_pendingPrompts.erase(it);
        return reply;
    }
    throw std::runtime_error(target.empty() ? "no prompt is shown" : "no prompt is shown for " + target);
}

std::vector<AnsweredRequest> Model::takeAnsweredRequests() { return std::exchange(m_answeredRequests, {}); }

json Model::promptState() const
{
    json pending = json::array();
    for (const auto& prompt : m_pendingPrompts)
        pending.push_back(prompt.target);
    json clients = json::object();
    for (const auto& [pid, client] : m_clientApplications)
        clients[std::to_string(pid)] = json { { "activationPolicy", client.activationPolicy }, { "activations", client.activations } };
    return json { { "pendingPrompts", pending }, { "helperClients", clients }, { "settings", m_settings } };
}

} // namespace mq::sim
