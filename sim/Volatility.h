// Elements that vanish in the middle of a search, as Logic's redrawn areas do:
// every so many accessibility calls, the children of one element are destroyed
// and built again with new identities, so a handle read a moment ago is invalid.
//
// Scenario: "volatile": {"element": "tracks-area", "everyCalls": 200} (off by default).
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace mq::sim {

struct World;

struct Volatility {
    std::string elementKey; // empty: nothing vanishes
    int everyCalls { 0 };
    int callsSinceRebuild { 0 };
    int rebuilds { 0 };

    /// The scenario's "volatile" object, or null for none. Throws on a malformed one.
    static Volatility fromScenario(const nlohmann::json& settings);
};

/// Counts one accessibility call; rebuilds the volatile element's children when
/// their time has come.
void noteAccessibilityCall(World& world);

} // namespace mq::sim
