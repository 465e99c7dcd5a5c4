#include "sim/Volatility.h"

#include "sim/World.h"

#include <stdexcept>

namespace mq::sim {

Volatility Volatility::fromScenario(const nlohmann::json& settings)
{
    Volatility volatility;
    if (settings.is_null())
        return volatility;
    if (!settings.is_object() || !settings.contains("element") || !settings["element"].is_string())
        throw std::runtime_error("volatile needs an \"element\" key");
    volatility.elementKey = settings["element"].get<std::string>();
    volatility.everyCalls = settings.value("everyCalls", 200);
    if (volatility.everyCalls < 1)
        throw std::runtime_error("volatile.everyCalls must be positive");
    return volatility;
}

void noteAccessibilityCall(World& world)
{
    Volatility& v = world.volatility;
    if (v.elementKey.empty() || ++v.callsSinceRebuild < v.everyCalls)
        return;
    v.callsSinceRebuild = 0;
    Element* element = world.tree.byKey(v.elementKey);
    if (!element)
        return;
    // The same content, new identities: whoever holds a handle into it now holds
    // a destroyed element.
    std::vector<nlohmann::json> definitions;
    for (Token child : element->children)
        definitions.push_back(world.tree.definitionOf(world.tree.at(child)));
    Token parent = element->token;
    pid_type pid = element->pid;
    world.tree.removeChildren(parent);
    for (const auto& definition : definitions) {
        Token rebuilt = world.tree.build(definition, pid, parent);
        world.tree.at(parent).children.push_back(rebuilt);
    }
    ++v.rebuilds;
    world.record({ { "type", "rebuilt" }, { "element", v.elementKey }, { "count", v.rebuilds } });
}

} // namespace mq::sim
