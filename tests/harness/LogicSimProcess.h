// A real logicsim process for end-to-end tests, and its control side.
#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>

namespace mq::test {

std::string logicSimExecutablePath();

/// Sends one control command to the logicsim listening on `socketPath` and returns
/// its reply, or {"error": ...} when there is none within 5 s.
nlohmann::json logicSimControl(const std::string& socketPath, const std::string& command,
    const nlohmann::json& args = nlohmann::json::object());

class LogicSimProcess {
public:
    /// Starts `logicsim serve` in `runtimeDir` (with `scenarioFile`, or the default
    /// scenario) and waits (bounded) until it listens. Throws when it does not.
    explicit LogicSimProcess(const TempRuntimeDir& runtimeDir, std::optional<std::string> scenarioFile = std::nullopt);
    /// Checks that the input stayed in Logic (below), then ends logicsim with
    /// SIGTERM (bounded), or kills it.
    ~LogicSimProcess();

    ChildProcess& process() { return *m_process; }
    std::string socketPath() const { return m_socketPath; }

    /// Runs one control command; the reply object, or {"error": ...} when there is none.
    nlohmann::json ctlRaw(const std::string& command, const nlohmann::json& args = nlohmann::json::object()) const;
    /// The same, failing the calling test when the reply carries an error.
    nlohmann::json ctl(const std::string& command, const nlohmann::json& args = nlohmann::json::object()) const;
    /// The whole simulated world, as `logicsim ctl state` prints it.
    nlohmann::json state() const { return ctl("state"); }

    /// The test means Logic to run key commands (keys reaching its main window).
    void expectKeyCommands() { m_expectKeyCommands = true; }
    /// The test means keys or clicks to reach other applications, the menu bar or the Dock.
    void expectInputOutsideLogic() { m_expectInputOutsideLogic = true; }
    /// Fails the calling test for each key command Logic ran and each key or
    /// click that reached another application (or a client that made itself
    /// frontmost), the menu bar, the Dock or the desktop, unless the test said
    /// it expects them. Runs when the process ends, after every test.
    void expectInputStayedInLogic() const;

private:
    bool m_expectKeyCommands { false };
    bool m_expectInputOutsideLogic { false };
    std::string m_socketPath;
    std::unique_ptr<ChildProcess> m_process;
};

} // namespace mq::test
