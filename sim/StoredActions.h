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
nlohmann::json runStoredAction(World& world, std::uint32_t code);

} // namespace mq::sim
