// The privacy permissions: Accessibility trust per client process and the
// Automation permission per target application, with the prompts asked and
// those still waiting for the user; the clients' own application state and the
// settings application.
#pragma once

#include "platform/CoreTypes.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace mq::sim {

struct World;

/// A reply the server holds back until the world gives it (an Automation prompt
/// that waits for the user): its ticket and, once answered, its body.
struct AnsweredRequest {
    std::uint64_t ticket { 0 };
    nlohmann::json reply;
};

struct Permissions {
    bool trustedByDefault { true };
    std::map<platform::pid_type, bool> trust;
    std::map<platform::pid_type, int> prompts;
    /// Bundle id -> "allowed", "denied", "ask", or any status the system could answer, as a number.
    std::map<std::string, std::string> automation;
    /// The user's answer to a prompt: "allow", "deny" or "wait" (until answer-prompt).
    std::string automationAnswer { "allow" };

    /// Prompts on screen, oldest first: the held-back request's ticket and the target.
    struct PendingPrompt {
        std::uint64_t ticket;
        std::string target;
        /// Makes the held-back request's reply once the user answered (a send
        /// that goes on); none: the reply is the permission's status.
        std::function<nlohmann::json(World&)> resume {};
        /// What was in front before the prompt took the front.
        std::string frontmostBefore {};
    };
    std::vector<PendingPrompt> pendingPrompts;
    /// Held-back requests answered since the server last looked.
    std::vector<AnsweredRequest> answeredRequests;
    std::uint64_t nextTicket { 1 };

    /// Each client's own application state.
    struct ClientApplication {
        std::string activationPolicy { "regular" };
        int activations { 0 };
    };
    std::map<platform::pid_type, ClientApplication> clientApplications;
    /// The settings application: whether it runs and the pane it shows.
    nlohmann::json settings = nlohmann::json { { "running", false }, { "pane", nullptr } };

    bool trusted(platform::pid_type client) const
    {
        auto it = trust.find(client);
        return it == trust.end() ? trustedByDefault : it->second;
    }
    nlohmann::json describe() const;
};

} // namespace mq::sim
