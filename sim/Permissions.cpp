#include "sim/Permissions.h"

#include "sim/Commands.h"
#include "sim/World.h"

namespace mq::sim {

using nlohmann::json;

json Permissions::describe() const
{
    json trusted = json::object(), asked = json::object();
    for (auto [pid, flag] : trust)
        trusted[std::to_string(pid)] = flag;
    for (auto [pid, count] : prompts)
        asked[std::to_string(pid)] = count;
    return json { { "trustedByDefault", trustedByDefault }, { "trust", trusted }, { "prompts", asked } };
}

void addPermissionCommands(CommandMap& commands)
{
    commands.add("set-trust", [](World& world, const json& args) {
        bool flag = args.at("trusted").get<bool>();
        if (args.contains("pid")) {
            world.permissions.trust[args["pid"].get<pid_type>()] = flag;
        } else {
            world.permissions.trustedByDefault = flag;
            world.permissions.trust.clear();
        }
        return okReply();
    });
    commands.add("set-automation", [](World& world, const json& args) {
        if (args.contains("bundleIdentifier")) {
            // A state is "allowed", "denied", "ask", or any status the system could answer.
            const json& state = args.at("state");
            world.permissions.automation[stringArgument(args, "bundleIdentifier")] =
                state.is_number_integer() ? std::to_string(state.get<int>()) : stringArgument(args, "state");
        }
        if (args.contains("promptAnswer"))
            world.permissions.automationAnswer = stringArgument(args, "promptAnswer");
        return okReply();
    });
}

} // namespace mq::sim
