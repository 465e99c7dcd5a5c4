// The running applications in workspace order, which one is frontmost, and the
// pids handed out to them.
#pragma once

#include "sim/Element.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace mq::sim {

struct Application {
    std::string key;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::string activationPolicy { "regular" }; // "regular", "accessory", "prohibited"
    std::string bundlePath; // where it is installed; empty when unknown
    pid_type pid { -1 };
    bool terminated { false };
    bool running { true };
    /// Hidden (Cmd-H): its windows leave AXWindows until it is shown again.
    bool hidden { false };
    /// In full screen on another Space: its windows leave AXWindows meanwhile.
    bool onOtherSpace { false };
    Token element { 0 };
    std::vector<Token> windows; // front to back
    Token mainWindow { 0 };
    Token focusedWindow { 0 };
    nlohmann::json definition; // the scenario entry, to launch it again

    bool alive() const { return running && !terminated; }
};

struct Workspace {
    std::vector<Application> applications; // workspace order
    std::string frontmost; // application key
    pid_type nextPid { 4000 };
    /// Applications opened with a launch delay: key -> when they start running.
    std::map<std::string, std::chrono::steady_clock::time_point> launchesDue;

    /// The running application with `pid`.
    Application* byPid(pid_type pid);
    /// The application with this key, else this bundle identifier.
    Application* named(const std::string& keyOrBundle);
    /// The frontmost application while it runs.
    Application* frontmostApplication();
    /// Logic Pro (or Logic for iPad's bundle) while it runs and is not terminating.
    Application* logic();
    /// An application entry of a scenario, not yet launched. Throws on a malformed one.
    static Application fromDefinition(const nlohmann::json& definition, std::size_t index);
    /// The workspace's list of running applications, as the wire reports it.
    nlohmann::json runningApplications() const;
};

} // namespace mq::sim
