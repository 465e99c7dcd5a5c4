// Focus contention: another application that makes itself frontmost every few
// milliseconds (a chat client, a notification's window, another program's
// dialog), so that whatever the helper sends next may reach it instead of Logic.
#pragma once

#include <chrono>
#include <string>

namespace mq::sim {

struct World;

/// From `every` from now on, and every `every` after that, the application
/// `key` makes itself frontmost, until stopFocusThief or another scenario.
/// Replaces a thief already running.
void startFocusThief(World& world, const std::string& key, std::chrono::milliseconds every);
/// Stops the thief; the frontmost application stays as it is.
void stopFocusThief(World& world);

} // namespace mq::sim
