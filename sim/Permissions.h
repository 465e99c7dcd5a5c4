// The privacy permissions: Accessibility trust per client process and the
// Automation permission per target application, with the prompts asked.
#pragma once

#include "platform/CoreTypes.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>

namespace mq::sim {

struct Permissions {
    bool trustedByDefault { true };
    std::map<platform::pid_type, bool> trust;
    std::map<platform::pid_type, int> prompts;
    std::map<std::string, std::string> automation; // bundle id -> "allowed"/"denied"/"ask"
    std::string automationAnswer { "allow" }; // the user's answer to a prompt

    bool trusted(platform::pid_type client) const
    {
        auto it = trust.find(client);
        return it == trust.end() ? trustedByDefault : it->second;
    }
    nlohmann::json describe() const;
};

} // namespace mq::sim
