#include "sim/Commands.h"

#include "sim/World.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

void CommandMap::add(const std::string& name, CommandHandler handler)
{
    if (!m_handlers.emplace(name, std::move(handler)).second)
        throw std::logic_error("control command '" + name + "' added twice");
}

const CommandHandler* CommandMap::find(const std::string& name) const
{
    auto it = m_handlers.find(name);
    return it == m_handlers.end() ? nullptr : &it->second;
}

std::vector<std::string> CommandMap::names() const
{
    std::vector<std::string> out;
    for (const auto& [name, handler] : m_handlers)
        out.push_back(name);
    return out;
}

std::string stringArgument(const json& args, const char* name)
{
    auto it = args.find(name);
    if (it == args.end() || !it->is_string())
        throw std::runtime_error(std::string("missing string argument \"") + name + "\"");
    return it->get<std::string>();
}

bool boolArgument(const json& args, const char* name)
{
    auto it = args.find(name);
    if (it == args.end() || !it->is_boolean())
        throw std::runtime_error(std::string("missing boolean argument \"") + name + "\"");
    return it->get<bool>();
}

Element& elementArgument(World& world, const json& args, const char* name)
{
    auto key = stringArgument(args, name);
    Element* e = world.tree.byKey(key);
    if (!e)
        throw std::runtime_error("no element '" + key + "'");
    return *e;
}

Application& applicationArgument(World& world, const json& args)
{
    auto name = args.value("app", "logic");
    Application* app = world.workspace.named(name);
    if (!app)
        throw std::runtime_error("no application '" + name + "'");
    return *app;
}

} // namespace mq::sim
