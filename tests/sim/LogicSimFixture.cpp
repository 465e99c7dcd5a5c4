#include "tests/sim/LogicSimFixture.h"

#include "tests/harness/LogicSimProcess.h"
#include "tests/support/Eventually.h"

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <sys/wait.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace mq::test {

void LogicSimTest::SetUp()
{
    startLogicSim();
    platform::LogicSimOptions options;
    options.socketPath = socketPath();
    options.desktopTimeout = 1000ms;
    options.scriptTimeout = 1000ms;
    m_backend = std::make_unique<platform::LogicSimPlatform>(options);
}

void LogicSimTest::TearDown()
{
    m_backend.reset();
    // logicsim ends cleanly on SIGTERM, removes its socket, and reported no
    // sanitizer finding on the way (tests that killed it have reaped it already).
    if (m_sim && !m_sim->waitForExit(0ms)) {
        m_sim->sendSignal(SIGCONT);
        m_sim->sendSignal(SIGTERM);
        auto status = m_sim->waitForExit(5s);
        ASSERT_TRUE(status) << "logicsim did not end on SIGTERM";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "status " << *status;
        EXPECT_FALSE(std::filesystem::exists(socketPath()));
        m_sim->waitForOutputEnd(2s);
        EXPECT_FALSE(m_sim->hasLine("Sanitizer"));
        EXPECT_FALSE(m_sim->hasLine("runtime error"));
    }
    m_sim.reset();
}

void LogicSimTest::startLogicSim()
{
    m_sim = std::make_unique<ChildProcess>(std::vector<std::string> { MQ_LOGICSIM_PATH, "serve" },
        ChildProcess::Environment { { "XDG_RUNTIME_DIR", m_dir.path() } });
    ASSERT_TRUE(m_sim->waitForLine("listening on", 5s)) << "logicsim did not start";
}

std::vector<json> LogicSimTest::events(const std::string& type)
{
    m_backend->cursorPosition(); // a round trip after the posted input
    std::vector<json> found;
    json log = ctl("state", { { "only", { "events" } } });
    for (const auto& e : log["events"])
        if (e.value("type", "") == type)
            found.push_back(e);
    return found;
}

json LogicSimTest::ctlRaw(const std::string& command, const json& args)
{
    return logicSimControl(socketPath(), command, args);
}

json LogicSimTest::ctl(const std::string& command, const json& args)
{
    json reply = ctlRaw(command, args);
    EXPECT_FALSE(reply.contains("error")) << command << ": " << reply.dump();
    return reply;
}

bool LogicSimTest::waitForEvent(const std::string& type)
{
    return test::eventually([&] {
        for (const auto& event : ctlRaw("state", { { "only", { "events" } } }).value("events", json::array()))
            if (event.value("type", "") == type)
                return true;
        return false;
    }, 2s, 10ms);
}

bool LogicSimTest::waitUntilWindowsOpened()
{
    return test::eventually([&] {
        return ctlRaw("state", { { "only", { "openingWindows" } } }).value("openingWindows", json::array({ "?" })).empty();
    }, 2s, 10ms);
}

platform::pid_type LogicSimTest::logicPid()
{
    for (const auto& app : m_backend->runningApplications())
        if (app.bundleIdentifier == "com.apple.logic10")
            return app.pid;
    ADD_FAILURE() << "Logic is not running";
    return -1;
}

platform::AXElementRef LogicSimTest::elementByKeyPath(const std::vector<int>& childIndexes)
{
    platform::AXElementRef current = ax().createApplication(logicPid());
    for (int index : childIndexes) {
        platform::CFValue children;
        EXPECT_EQ(read(current, "AXChildren", children), 0);
        auto array = children.get<platform::CFArray>();
        if (!array || index >= static_cast<int>(array->size())) {
            ADD_FAILURE() << "no child " << index;
            return {};
        }
        current = *(*array)[static_cast<size_t>(index)].get<platform::AXElementRef>();
    }
    return current;
}

std::optional<std::string> LogicSimTest::readString(const platform::AXElementRef& element, const std::string& attribute)
{
    platform::CFValue value;
    if (read(element, attribute, value) != 0 || !value.get<std::string>())
        return std::nullopt;
    return *value.get<std::string>();
}

} // namespace mq::test
