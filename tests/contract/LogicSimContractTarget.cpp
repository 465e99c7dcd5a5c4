// The contract's target on Linux: a logicsim process on a private runtime
// directory, the logicsim backend over it, and Logic as the application.
#include "tests/contract/ContractTarget.h"

#include "platform/linux/LogicSimPlatform.h"
#include "tests/harness/LogicSimProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <csignal>

namespace mq::test {

namespace {

using namespace std::chrono_literals;

class LogicSimContractTarget final : public ContractTarget {
public:
    LogicSimContractTarget()
        : m_sim(std::vector<std::string> { MQ_LOGICSIM_PATH, "serve" }, ChildProcess::Environment { { "XDG_RUNTIME_DIR", m_dir.path() } })
    {
        EXPECT_TRUE(m_sim.waitForLine("listening on", 5s)) << "logicsim did not start";
        platform::LogicSimOptions options;
        options.socketPath = m_dir.file("logicsim.sock");
        options.desktopTimeout = 2000ms;
        options.scriptTimeout = 2000ms;
        m_backend = std::make_unique<platform::LogicSimPlatform>(options);
    }
    ~LogicSimContractTarget() override
    {
        m_backend.reset();
        m_sim.sendSignal(SIGCONT);
        m_sim.sendSignal(SIGTERM);
        m_sim.waitForExit(5s);
    }

    platform::Platform platform() override { return m_backend->platform(); }

    platform::pid_type applicationPid() override
    {
        for (const auto& running : m_backend->runningApplications())
            if (running.bundleIdentifier == applicationBundleIdentifier() && !running.isTerminated)
                return running.pid;
        ADD_FAILURE() << "Logic is not running in logicsim";
        return -1;
    }
    std::string applicationBundleIdentifier() override { return "com.apple.logic10"; }

    void quitApplication() override
    {
        auto reply = logicSimControl(m_dir.file("logicsim.sock"), "quit", { { "app", "logic" } });
        EXPECT_FALSE(reply.contains("error")) << reply.dump();
    }
    // The simulated desktop answers from one process: stopping it stalls Logic
    // as a busy main thread would (and everything else logicsim stands for).
    void stallApplication() override { EXPECT_TRUE(m_sim.sendSignal(SIGSTOP)); }
    void resumeApplication() override { EXPECT_TRUE(m_sim.sendSignal(SIGCONT)); }

private:
    TempRuntimeDir m_dir;
    ChildProcess m_sim;
    std::unique_ptr<platform::LogicSimPlatform> m_backend;
};

} // namespace

std::unique_ptr<ContractTarget> makeContractTarget()
{
    return std::make_unique<LogicSimContractTarget>();
}

} // namespace mq::test
