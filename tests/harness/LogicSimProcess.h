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

class LogicSimProcess {
public:
    /// Starts `logicsim serve` in `runtimeDir` (with `scenarioFile`, or the default
    /// scenario) and waits (bounded) until it listens. Throws when it does not.
    explicit LogicSimProcess(const TempRuntimeDir& runtimeDir, std::optional<std::string> scenarioFile = std::nullopt);
    /// Ends logicsim with SIGTERM (bounded), or kills it.
    ~LogicSimProcess();

    ChildProcess& process() { return *m_process; }
    std::string socketPath() const { return m_socketPath; }

    /// Runs one control command; the reply object, or {"error": ...} when there is none.
    nlohmann::json ctlRaw(const std::string& command, const nlohmann::json& args = nlohmann::json::object()) const;
    /// The same, failing the calling test when the reply carries an error.
    nlohmann::json ctl(const std::string& command, const nlohmann::json& args = nlohmann::json::object()) const;
    /// The whole simulated world, as `logicsim ctl state` prints it.
    nlohmann::json state() const { return ctl("state"); }

private:
    std::string m_socketPath;
    std::unique_ptr<ChildProcess> m_process;
};

} // namespace mq::test
