// Applications' windows and processes: adding and removing windows, launching
// an application (a new process with a fresh window tree) and quitting it.
#pragma once

#include "platform/linux/LogicSimOps.h"
#include "sim/Workspace.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace mq::sim {

struct World;

/// Adds a window built from `definition` to `app`; a modal one in front takes
/// the focus, its first field (or the one marked "focused") focused.
Token addWindow(World& world, Application& app, const nlohmann::json& definition, bool front);
/// Gives `window` (0: none) `app`'s keyboard focus among its windows, and reports
/// AXFocusedWindowChanged for it when that is a change to another window.
void setFocusedWindow(World& world, Application& app, Token window);
/// Moves a window's top left to `origin`, and everything inside it with it.
void moveWindow(World& world, Element& window, platform::CGPoint origin);
/// Shows `definition` as a sheet: an AXSheet attached to `app`'s main window as
/// its last child, which takes the keyboard focus but is not one of the
/// application's windows. With no window to attach to, it becomes a window.
Token addSheet(World& world, Application& app, nlohmann::json definition);
/// The sheet shown on `window`, or 0.
Token sheetOf(const World& world, Token window);
/// Removes a window or a sheet; the application's main and focused windows move on.
void removeWindow(World& world, Token window);
/// Starts `app` as a new process: a new pid (or `pid`), windows from its definition.
nlohmann::json launch(World& world, Application& app, std::optional<pid_type> pid = std::nullopt);
/// Ends `app`'s process; its elements are destroyed.
void quit(World& world, Application& app);

/// Makes the application (or client, "client:PID") `key` frontmost, as
/// activating it does: its windows come in front of the others'. A change is
/// recorded (an event `frontmost` saying `by` what) and posted as
/// NSWorkspaceDidActivateApplicationNotification.
void activateApplication(World& world, const std::string& key, const char* by);

/// Answers a workspace request (running applications, open URL, find and launch an application).
nlohmann::json answerWorkspace(World& world, platform::wire::Op op, const nlohmann::json& request);

} // namespace mq::sim
