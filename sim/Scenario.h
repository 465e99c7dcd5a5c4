// Building a world from a scenario file (sim/README.md describes the format).
#pragma once

#include <nlohmann/json.hpp>

namespace mq::sim {

struct World;

/// Fills the empty `world` from `scenario`. Throws std::runtime_error with a
/// reason when the scenario is malformed.
void buildWorld(World& world, const nlohmann::json& scenario);

} // namespace mq::sim
