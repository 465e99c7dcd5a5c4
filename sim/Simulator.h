// logicsim as its server sees it: a World built from a scenario, the requests
// of the helper's backend answered from it, and the control commands.
#pragma once

#include "platform/linux/LogicSimOps.h"
#include "sim/Commands.h"
#include "sim/Scripts.h"
#include "sim/World.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace mq::sim {

class Simulator {
public:
    Simulator();

    /// Replaces the whole world with `scenario`. Throws std::runtime_error with a
    /// reason when the scenario is malformed; the world is kept then.
    void load(const nlohmann::json& scenario);
    /// Back to the last loaded scenario, without faults.
    void reset();
    /// Where delayed effects (window openings, commits) are run.
    void setScheduler(Scheduler scheduler);

    /// A client request other than hello, control and script.run. Returns the
    /// reply body without its id; `client` is what the connection said in its
    /// hello (0 if none).
    nlohmann::json handle(platform::wire::Op op, const nlohmann::json& request, platform::pid_type client);
    /// A control command. Throws std::runtime_error for an unknown command or bad arguments.
    nlohmann::json control(const std::string& command, const nlohmann::json& args);

    ScriptStart startScript(const nlohmann::json& request, platform::pid_type client);
    std::optional<double> continueScript(ScriptRun& run);
    nlohmann::json finishScript(const ScriptRun& run) const { return sim::finishScript(run); }

    /// The first fault rule that matches, consumed once and logged.
    std::optional<FaultRule> takeFault(const std::string& op, const nlohmann::json& request, platform::pid_type client);
    /// Messages to send to every client, gathered since the last call.
    std::vector<nlohmann::json> takeBroadcasts() { return std::exchange(m_world.broadcasts, {}); }
    /// Requests held back (a reply {"deferred": ticket}) that have been answered since the last call.
    std::vector<AnsweredRequest> takeAnsweredRequests() { return std::exchange(m_world.permissions.answeredRequests, {}); }
    /// What one accessibility call costs the application (sim/Latency.h).
    std::chrono::microseconds accessibilityCallCost() const { return m_world.latency.accessibilityCall(); }

    /// When to try `request` again, or nothing when it can be answered now. An
    /// accessibility call to Logic, input, a keystroke script or a stored action
    /// waits while Logic imports, loads a movie or bounces (its main thread is
    /// busy); a stored action also waits while Logic shows a modal dialog (AXModal,
    /// subrole AXDialog), as an Apple Event to an application in a modal loop does.
    std::optional<std::chrono::steady_clock::time_point> waitForLogic(platform::wire::Op op, const nlohmann::json& request) const;

    /// The whole world, as `logicsim ctl state` prints it; only the parts named
    /// in `only` when it is not empty.
    nlohmann::json state(const std::vector<std::string>& only = {}) const;

private:
    World m_world;
    nlohmann::json m_scenario;
    CommandMap m_commands;
};

} // namespace mq::sim
