// Keyboard and mouse input: what a key press or a click does to an
// application's key window.
#pragma once

#include "platform/linux/LogicSimOps.h"

#include <nlohmann/json.hpp>

namespace mq::sim {

struct World;

/// A key event (an input.keyboard request, or a keystroke of "System Events"):
/// to the frontmost application's key window, whichever process the sender
/// addressed; in one of Logic's windows with no text field focused, a key
/// command. Every event is recorded with the application and window it reached.
void keyboard(World& world, const nlohmann::json& request);
/// A mouse event (an input.mouse request): moves the cursor and reaches the
/// topmost thing at its point on the whole desktop (sim/WindowStack.h); a
/// left mouse-down and -up on the same element press it. Recorded likewise.
void mouse(World& world, const nlohmann::json& request);
/// Answers an input request (keyboard, mouse, cursor, warp).
nlohmann::json answerInput(World& world, platform::wire::Op op, const nlohmann::json& request);

} // namespace mq::sim
