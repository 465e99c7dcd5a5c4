// Keyboard and mouse input: what a key press or a click does to an
// application's key window.
#pragma once

#include "platform/linux/LogicSimOps.h"

#include <nlohmann/json.hpp>

namespace mq::sim {

struct World;
struct Application;

/// A key event (an input.keyboard request); to the frontmost application's key
/// window, or to `target`'s (keystrokes of "System Events" reach the process
/// they address). Every event is recorded.
void keyboard(World& world, const nlohmann::json& request, Application* target = nullptr);
/// A mouse event (an input.mouse request): moves the cursor; a left mouse-up
/// presses what is under it in the frontmost application.
void mouse(World& world, const nlohmann::json& request);
/// Answers an input request (keyboard, mouse, cursor, warp).
nlohmann::json answerInput(World& world, platform::wire::Op op, const nlohmann::json& request);

} // namespace mq::sim
