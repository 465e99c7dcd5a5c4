// A stored action's interpreter used to inherit the helper's listening socket and
// every client's socket. After a crash of the helper the orphaned interpreter
// still held the socket: a new helper could not take it until the orphan ended,
// and a client connecting meanwhile hung. Every descriptor of the helper is now
// close-on-exec, and the interpreter gets its three pipes and nothing else.
#include "tests/hostile/HostileFixture.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::eventually;

/// What each open descriptor of `pid` refers to ("socket:[123]", "pipe:[45]", a path).
std::map<int, std::string> descriptorsOf(pid_t pid)
{
    std::map<int, std::string> found;
    std::string directory = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            char target[256] {};
            auto length = ::readlink((directory + "/" + entry->d_name).c_str(), target, sizeof(target) - 1);
            if (length > 0)
                found[std::stoi(entry->d_name)] = std::string(target, static_cast<std::size_t>(length));
        }
        ::closedir(dir);
    }
    return found;
}

std::vector<pid_t> childrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    std::string directory = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::ifstream list(directory + "/" + entry->d_name + "/children");
            for (pid_t child; list >> child;)
                children.push_back(child);
        }
        ::closedir(dir);
    }
    return children;
}

std::size_t faultEvents(const json& world, const std::string& op)
{
    std::size_t count = 0;
    for (const auto& event : world["events"])
        if (event.value("type", "") == "fault" && event.value("op", "") == op)
            ++count;
    return count;
}

class DescriptorInheritance : public test::HostileTest {};

TEST_F(DescriptorInheritance, AHelperKilledWhileAStoredActionRunsIsReplacedAtOnce)
{
    // logicsim holds the action without answering: the interpreter waits for it.
    harness.logicSim().ctl("fault", { { "op", "logic.runStoredAction" }, { "noReply", true }, { "count", 1 } });
    connection->runActionWithCodeAsync({ 21 }, [](auto) { });
    ASSERT_TRUE(eventually([&] { return faultEvents(harness.logicSim().state(), "logic.runStoredAction") == 1; }, 10s))
        << "the interpreter never reached logicsim";

    pid_t helper = harness.helper().pid();
    auto children = childrenOf(helper);
    ASSERT_EQ(children.size(), 1u) << "one interpreter runs";
    pid_t interpreter = children.front();

    // The interpreter's own descriptors (0-2 and whatever it opened itself) are
    // none of the helper's: a descriptor the helper also holds was inherited.
    auto helperHolds = descriptorsOf(helper);
    std::set<std::string> helperTargets;
    for (const auto& [fd, target] : helperHolds)
        helperTargets.insert(target);
    for (const auto& [fd, target] : descriptorsOf(interpreter))
        if (fd > 2) {
            EXPECT_FALSE(helperTargets.contains(target)) << "the interpreter inherited descriptor " << fd << " (" << target << ")";
        }

    ASSERT_TRUE(harness.helper().sendSignal(SIGKILL));
    ASSERT_TRUE(harness.helper().waitForExit(5s).has_value());
    ASSERT_EQ(::kill(interpreter, 0), 0) << "the orphaned interpreter already ended: the case is not reproduced";

    // A new helper takes the socket at once and serves, while the orphan still waits.
    test::ChildProcess next({ test::helperExecutablePath() }, harness.environment());
    ASSERT_TRUE(next.waitForLine("XPC listener resumed on com.quillmoor.marquee.helper", 5s))
        << (next.hasLine("another helper already listens") ? "the orphan held the socket" : "the new helper did not start");
    auto client = client::HelperConnection::connect(harness.socketPath());
    ASSERT_TRUE(client.hasValue());
    EXPECT_TRUE(client.value()->evaluateControlBarStateWithFrameRate({ 25.0, false }, 5s).hasValue());
    EXPECT_EQ(::kill(interpreter, 0), 0) << "served only after the orphan ended";
    next.sendSignal(SIGTERM);
    EXPECT_TRUE(next.waitForExit(5s).has_value());
}

} // namespace
} // namespace mq
