// Scripting: keystroke scripts to "System Events" in the dialect of
// sim/systemevents, carried out with their delays (the keys go to the frontmost
// application; the process a script addresses only has to exist); Apple Events;
// the Automation permission.
#pragma once

#include "platform/linux/LogicSimOps.h"
#include "platform/CoreTypes.h"
#include "sim/systemevents/SystemEventsScript.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mq::sim {

struct World;

/// A keystroke script on its way: the steps still to carry out against one
/// process. The server carries them out in turn and waits out the delays on timers.
struct ScriptRun {
    std::string processName;
    std::string application; // the addressed application's key
    std::vector<systemevents::Step> steps;
    std::size_t next { 0 };
    /// Set when the process went away during the run.
    std::optional<nlohmann::json> errorInfo;
};

/// What a script.run request leads to: the reply at once, or a run to carry out.
struct ScriptStart {
    nlohmann::json reply;
    std::shared_ptr<ScriptRun> run;
};

/// script.run: compiles the source and checks what it addresses. A script that
/// cannot run is answered at once; otherwise its run is returned.
ScriptStart startScript(World& world, const nlohmann::json& request, platform::pid_type client);
/// Carries out the run's steps up to the next delay, whose seconds it returns;
/// nothing when the run is over.
std::optional<double> continueScript(World& world, ScriptRun& run);
/// The reply to a finished run.
nlohmann::json finishScript(const ScriptRun& run);

/// script.sendAppleEvent and script.automationPermission.
nlohmann::json answerScripting(World& world, platform::wire::Op op, const nlohmann::json& request);

} // namespace mq::sim
