// The running applications in workspace order, which one is frontmost, and the
// pids handed out to them.
#pragma once

#include "sim/Element.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
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

/// Another application that makes itself frontmost every `every` until stopped
/// (`ctl focus-thief`), as a chat client or a dialog of another program does.
struct FocusThief {
    std::string app; // application key; empty while none steals
    std::chrono::milliseconds every { 20 };
    /// Counts starts and stops: a pending steal of an earlier run does nothing.
    std::uint64_t run { 0 };
};

/// How the workspace names a client of logicsim (the helper) that made itself
/// frontmost: it is no application of the scenario and shows no window.
inline std::string clientKey(pid_type pid) { return "client:" + std::to_string(pid); }

struct Workspace {
    std::vector<Application> applications; // workspace order
    /// The frontmost application's key; "client:PID" while a client of logicsim
    /// (the helper) made itself frontmost; empty for none.
    std::string frontmost;
    /// Application keys, the most recently active first: the desktop stacks
    /// the applications' windows in this order.
    std::vector<std::string> activationOrder;
    FocusThief focusThief;
    pid_type nextPid { 4000 };
    /// Applications opened with a launch delay: key -> when they start running.
    std::map<std::string, std::chrono::steady_clock::time_point> launchesDue;

    /// The running application with `pid`.
    Application* byPid(pid_type pid);
    /// The application with this key, else this bundle identifier.
    Application* named(const std::string& keyOrBundle);
    /// The frontmost application while it runs.
    Application* frontmostApplication();
    /// Makes `key` frontmost and its windows the front ones. True when the
    /// frontmost application changed.
    bool activate(const std::string& key);
    /// The running applications, the most recently active first (those never
    /// active after them, in workspace order).
    std::vector<Application*> inActivationOrder();
    /// Logic Pro (or Logic for iPad's bundle) while it runs and is not terminating.
    Application* logic();
    /// An application entry of a scenario, not yet launched. Throws on a malformed one.
    static Application fromDefinition(const nlohmann::json& definition, std::size_t index);
    /// The workspace's list of running applications, as the wire reports it.
    nlohmann::json runningApplications() const;
};

} // namespace mq::sim
