// Logic's numbered commands that the helper's stored actions run, with the
// effect each caller relies on.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>

namespace mq::sim {

struct World;
struct Dialogs;

/// Registers the behaviours of the dialogs the commands open (once, at start-up).
void registerStoredActionBehaviors(Dialogs& dialogs);

/// Logic performs its command `code`: {"ran": true}, or {"ran": false, "reason"}.
/// `request` says whom the script addresses: "application" (a bundle identifier:
/// launched when it does not run, as `tell application id` does) or
/// "firstRunningOf" (a list: the first that runs, else the script fails with
/// -600); neither means the running Logic. The script needs Automation for its
/// target.
nlohmann::json runStoredAction(World& world, std::uint32_t code, const nlohmann::json& request = nlohmann::json::object());

} // namespace mq::sim
