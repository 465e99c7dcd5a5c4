// The desktop around the applications: the login session dictionary, the
// screens, the pasteboard and the cursor.
#pragma once

#include "platform/CoreTypes.h"
#include "platform/linux/LogicSimOps.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>

namespace mq::sim {

struct Desktop {
    /// The session dictionary (an object), or null when there is no session.
    nlohmann::json session = nlohmann::json::object();
    /// Each screen as {"frame": [x, y, w, h], "visibleFrame": [...]} in AppKit
    /// coordinates (origin at the bottom left of the first screen, y upwards);
    /// the visible frame leaves out the menu bar and the Dock. One may say
    /// "main": true (the screen with the key window); else the first is main.
    nlohmann::json screens = nlohmann::json::array();
    /// Pasteboard items as the wire carries them (data hex-encoded).
    nlohmann::json pasteboard = nlohmann::json::array();
    platform::CGPoint cursor { 400, 300 };
    /// The element (token) a left mouse-down pressed: the mouse-up presses it
    /// only when it comes up on the same element. 0 when none.
    std::uint64_t pressedElement { 0 };
    /// The Colors grid's cell under the last left mouse-down, if it was on one.
    std::optional<int> pressedCell;
};

struct World;

/// Where a window manager lets a window with frame `requested` (top-left
/// coordinates) go: its title bar stays below the menu bar and above the
/// bottom of the screen it is on (or the nearest), with at least 40 points of
/// it on that screen horizontally.
platform::CGPoint keepWindowOnScreen(const Desktop& desktop, platform::CGRect requested);

/// Answers a desktop request (session, screens, pasteboard).
nlohmann::json answerDesktop(World& world, platform::wire::Op op, const nlohmann::json& request);

} // namespace mq::sim
