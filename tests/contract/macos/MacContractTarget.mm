// The contract's target on a Mac: the macOS backend over the real frameworks and
// marquee-contract-app, started fresh for each test. The test process needs the
// Accessibility permission (System Settings › Privacy & Security › Accessibility).
#include "tests/contract/ContractTarget.h"

#include "platform/macos/MacPlatform.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>

extern char** environ;

namespace mq::test {

namespace {

using namespace std::chrono_literals;

class MacContractTarget final : public ContractTarget {
public:
    MacContractTarget()
    {
        std::string executable = std::string(MQ_CONTRACT_APP_PATH) + "/Contents/MacOS/marquee-contract-app";
        char* arguments[] = { executable.data(), nullptr };
        if (posix_spawn(&m_pid, executable.c_str(), nullptr, nullptr, arguments, environ) != 0) {
            ADD_FAILURE() << "cannot start " << executable;
            m_pid = -1;
            return;
        }
        // Ready once its window shows through accessibility.
        auto& ax = m_platform.platform().accessibility;
        auto app = ax.createApplication(m_pid);
        bool shown = eventually([&] {
            platform::CFValue windows;
            auto* list = ax.copyAttributeValue(app, "AXWindows", windows) == 0 ? windows.get<platform::CFArray>() : nullptr;
            return list && !list->empty();
        }, 10s, 50ms);
        EXPECT_TRUE(shown) << "marquee-contract-app shows no window (is the Accessibility permission granted?)";
    }
    ~MacContractTarget() override { quitApplication(); }

    platform::Platform platform() override { return m_platform.platform(); }
    platform::pid_type applicationPid() override { return m_pid; }
    std::string applicationBundleIdentifier() override { return "com.quillmoor.marquee.contract-app"; }

    void quitApplication() override
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGCONT);
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    void stallApplication() override { kill(m_pid, SIGSTOP); }
    void resumeApplication() override { kill(m_pid, SIGCONT); }

private:
    platform::macos::MacPlatform m_platform;
    pid_t m_pid { -1 };
};

} // namespace

std::unique_ptr<ContractTarget> makeContractTarget()
{
    return std::make_unique<MacContractTarget>();
}

} // namespace mq::test
