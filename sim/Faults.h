// Injected faults: rules that make matching client requests fail, hang or
// answer late. Control commands and hello are never faulted.
#pragma once

#include "platform/CoreTypes.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace mq::sim {

struct FaultRule {
    std::string op { "*" }; // a wire op, "ax.*" style prefix, or "*"
    std::optional<std::string> attribute;
    std::optional<std::string> action;
    std::optional<platform::pid_type> client;
    int delayMs { 0 };
    bool noReply { false };
    std::optional<std::int32_t> error;
    int remaining { -1 }; // -1: every matching call

    /// A rule from the `fault` command's arguments. Throws on a malformed one.
    static FaultRule fromArguments(const nlohmann::json& args);
    bool matches(const std::string& op, const nlohmann::json& request, platform::pid_type client) const;
    nlohmann::json describe() const;
};

struct Faults {
    std::vector<FaultRule> rules; // tried in order

    /// The first rule that matches, counted down once (and dropped when used up).
    std::optional<FaultRule> take(const std::string& op, const nlohmann::json& request, platform::pid_type client);
};

} // namespace mq::sim
