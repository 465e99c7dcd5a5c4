// Runs a real marquee-helper process for end-to-end tests: a private runtime
// directory, the helper started in it with its log captured, and connections
// to it through the client library.
#pragma once

#include "marquee/HelperConnection.h"
#include "tests/harness/LogicSimProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <chrono>
#include <memory>
#include <string>

namespace mq::test {

/// Where the build put the helper and the tool. MQ_TEST_HELPER_EXECUTABLE, when
/// set, names another helper to run instead (measuring another build).
std::string helperExecutablePath();
std::string marqueeExecutablePath();

class HelperHarness {
public:
    enum class Desktop { none, logicSim };
    /// Starts logicsim (unless `desktop` is none; with `scenarioFile` or the default
    /// scenario), then the helper, and waits (bounded) until both listen. Throws when
    /// one does not. `helperEnvironment` is added to the helper's environment only.
    explicit HelperHarness(Desktop desktop = Desktop::none, std::optional<std::string> scenarioFile = std::nullopt,
        ChildProcess::Environment helperEnvironment = {});
    ~HelperHarness();

    ChildProcess& helper() { return *m_helper; }
    /// The simulated desktop; only with Desktop::logicSim.
    LogicSimProcess& logicSim() { return *m_logicSim; }
    const TempRuntimeDir& runtimeDir() const { return m_runtimeDir; }
    std::string socketPath() const;
    /// The environment that points a process at this helper (and at a configuration
    /// folder of its own, so that the user's configuration never reaches a test).
    ChildProcess::Environment environment() const;

    /// A new connection; fails the calling test when the helper does not answer.
    std::unique_ptr<client::HelperConnection> connect();

    /// The helper's standard error lines that contain `text`.
    std::size_t countLogLines(std::string_view text) const;
    /// Writes the helper's standard error so far to a file of the runtime
    /// directory, as a user's redirection would hold it; its path.
    std::string writeLogFile() const;

    /// After every test, logicsim is asked where the input went: a key command
    /// Logic ran, or a key or click that reached anything but Logic's windows,
    /// fails the test (LogicSimProcess::expectInputStayedInLogic) unless the
    /// test declares here that it expects it.
    void expectKeyCommands()
    {
        if (m_logicSim)
            m_logicSim->expectKeyCommands();
    }
    void expectInputOutsideLogic()
    {
        if (m_logicSim)
            m_logicSim->expectInputOutsideLogic();
    }

private:
    TempRuntimeDir m_runtimeDir;
    std::unique_ptr<LogicSimProcess> m_logicSim;
    std::unique_ptr<ChildProcess> m_helper;
};

} // namespace mq::test
