#include "sim/Faults.h"

#include "sim/Commands.h"
#include "sim/World.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

FaultRule FaultRule::fromArguments(const json& args)
{
    FaultRule rule;
    rule.op = args.value("op", "*");
    if (args.contains("attribute"))
        rule.attribute = stringArgument(args, "attribute");
    if (args.contains("action"))
        rule.action = stringArgument(args, "action");
    if (args.contains("client"))
        rule.client = args["client"].get<platform::pid_type>();
    rule.delayMs = args.value("delayMs", 0);
    rule.noReply = args.value("noReply", false);
    if (args.contains("error"))
        rule.error = args["error"].get<std::int32_t>();
    rule.remaining = args.value("count", -1);
    if (rule.delayMs < 0 || rule.remaining == 0)
        throw std::runtime_error("delayMs must be >= 0 and count > 0 (or -1)");
    return rule;
}

bool FaultRule::matches(const std::string& requestOp, const json& request, platform::pid_type requestClient) const
{
    bool opMatches = op == "*" || op == requestOp
        || (op.size() > 1 && op.back() == '*' && requestOp.compare(0, op.size() - 1, op, 0, op.size() - 1) == 0);
    if (!opMatches)
        return false;
    if (attribute && request.value("attr", "") != *attribute)
        return false;
    if (action && request.value("action", "") != *action)
        return false;
    return !client || *client == requestClient;
}

json FaultRule::describe() const
{
    return json { { "op", op }, { "attribute", attribute ? json(*attribute) : json(nullptr) }, { "action", action ? json(*action) : json(nullptr) },
        { "delayMs", delayMs }, { "noReply", noReply }, { "error", error ? json(*error) : json(nullptr) }, { "remaining", remaining } };
}

std::optional<FaultRule> Faults::take(const std::string& op, const json& request, platform::pid_type client)
{
    for (auto it = rules.begin(); it != rules.end(); ++it) {
        if (!it->matches(op, request, client))
            continue;
        FaultRule taken = *it;
        if (it->remaining > 0 && --it->remaining == 0)
            rules.erase(it);
        return taken;
    }
    return std::nullopt;
}

void addFaultCommands(CommandMap& commands)
{
    commands.add("fault", [](World& world, const json& args) {
        world.faults.rules.push_back(FaultRule::fromArguments(args));
        return json { { "ok", true }, { "faults", world.faults.rules.size() } };
    });
    commands.add("clear-faults", [](World& world, const json&) {
        world.faults.rules.clear();
        return okReply();
    });
}

} // namespace mq::sim
