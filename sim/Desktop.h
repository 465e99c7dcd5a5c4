// The desktop around the applications: the login session dictionary, the
// screens, the pasteboard and the cursor.
#pragma once

#include "platform/CoreTypes.h"
#include "platform/linux/LogicSimOps.h"

#include <nlohmann/json.hpp>

namespace mq::sim {

struct Desktop {
    /// The session dictionary (an object), or null when there is no session.
    nlohmann::json session = nlohmann::json::object();
    /// Each screen as {"frame": [x, y, w, h], "visibleFrame": [...]}.
    nlohmann::json screens = nlohmann::json::array();
    /// Pasteboard items as the wire carries them (data hex-encoded).
    nlohmann::json pasteboard = nlohmann::json::array();
    platform::CGPoint cursor { 400, 300 };
};

struct World;

/// Answers a desktop request (session, screens, pasteboard).
nlohmann::json answerDesktop(World& world, platform::wire::Op op, const nlohmann::json& request);

} // namespace mq::sim
