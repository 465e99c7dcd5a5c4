// logicsim's control commands: a map from command name to handler. Each part of
// the world adds its own commands; tests, demos and people use them, the helper
// never does.
#pragma once

#include "sim/Element.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace mq::sim {

struct World;
struct Application;

using CommandHandler = std::function<nlohmann::json(World&, const nlohmann::json& args)>;

class CommandMap {
public:
    /// Adds `name`; a name can be added once.
    void add(const std::string& name, CommandHandler handler);
    /// The handler of `name`, or nullptr.
    const CommandHandler* find(const std::string& name) const;
    std::vector<std::string> names() const;

private:
    std::map<std::string, CommandHandler> m_handlers;
};

// Each part's commands (sim/README.md lists them).
void addWorkspaceCommands(CommandMap& commands);
void addTreeCommands(CommandMap& commands);
void addDesktopCommands(CommandMap& commands);
void addPermissionCommands(CommandMap& commands);
void addTransportCommands(CommandMap& commands);
void addLogicCommands(CommandMap& commands);
void addFaultCommands(CommandMap& commands);
void addLatencyCommands(CommandMap& commands);
void addDialogCommands(CommandMap& commands);
void addBounceCommands(CommandMap& commands);

// Reading arguments; each throws std::runtime_error naming what is missing.
std::string stringArgument(const nlohmann::json& args, const char* name);
bool boolArgument(const nlohmann::json& args, const char* name);
/// The element named by its scenario key in `args[name]`.
Element& elementArgument(World& world, const nlohmann::json& args, const char* name);
/// The application named by `args["app"]` (key or bundle identifier; default "logic").
Application& applicationArgument(World& world, const nlohmann::json& args);

inline nlohmann::json okReply() { return nlohmann::json { { "ok", true } }; }

} // namespace mq::sim
