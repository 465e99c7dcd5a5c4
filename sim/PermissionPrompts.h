// The Automation permission per target with the user's prompts, applications
// opened quietly that start after a while, the settings application opened at a
// pane, and each client's own application state (activation policy, activation).
#pragma once

#include "platform/CoreTypes.h"
#include "platform/linux/LogicSimOps.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <string>

namespace mq::sim {

struct World;
class CommandMap;

/// script.automationPermission: the stored state, or a prompt. With the answer
/// "wait" the reply is {"deferred": ticket}, given once answer-prompt answers it.
nlohmann::json automationPermission(World& world, const nlohmann::json& request);

/// The Automation status of sending an Apple Event to `target` now, as the system
/// decides it at the send: a target not yet allowed or denied prompts the user
/// once (an `automationPrompt` event; the answer is `automationAnswer`, where
/// anything but "allow" denies) and keeps the answer. noErr or -1743.
std::int32_t automationStatusForSending(World& world, const std::string& target);
/// Whether sending to `target` now waits for the user: its Automation is not yet
/// decided and the scenario's answer to prompts is "wait".
bool automationPromptWaits(World& world, const std::string& target);
/// The system's prompt for `target` takes the front (nothing is frontmost
/// meanwhile) and the sending request is held back until `answer-prompt`;
/// `resume` then makes its reply (the send goes on under the answer). Returns
/// {"deferred": ticket}.
nlohmann::json holdUntilPromptAnswered(World& world, const std::string& target, std::function<nlohmann::json(World&)> resume);
/// workspace.openApplication: an application not running starts after its launchDelaySeconds.
nlohmann::json openApplication(World& world, const nlohmann::json& request);
/// Applications whose launch delay has passed start running. Every request and
/// control command starts with it.
void advanceLaunches(World& world);
/// app.setActivationPolicy and app.activate from the client `clientPid`.
nlohmann::json clientApplication(World& world, platform::wire::Op op, const nlohmann::json& request, platform::pid_type clientPid);
/// A "x-apple.systempreferences:" URL opens the settings application at that pane.
void openSettingsPane(World& world, const std::string& url);
/// The pending prompts, the clients' application state and the settings application.
nlohmann::json promptState(const World& world);
/// answer-prompt.
void addPromptCommands(CommandMap& commands);

} // namespace mq::sim
