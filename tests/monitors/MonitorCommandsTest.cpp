// marquee scrub and marquee watch as processes, against a real helper with no
// desktop behind it: it never finds Logic's display, so the positions are written
// into the scrub file by the test, as the helper would. The same commands against
// logicsim are in tests/e2e/MonitorsEndToEndTest.cpp.
#include "marquee/SharedMemoryBlock.h"
#include "tests/harness/HelperHarness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;

class MonitorCommands : public ::testing::Test {
public:
    std::unique_ptr<ChildProcess> marquee(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), test::marqueeExecutablePath());
        return std::make_unique<ChildProcess>(arguments, helper.environment());
    }
    static int exitCode(ChildProcess& process)
    {
        std::optional<int> status = process.waitForExit(10s);
        EXPECT_TRUE(status) << "marquee did not end within 10 s";
        EXPECT_TRUE(process.waitForOutputEnd(5s));
        return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
    static std::string output(const ChildProcess& process)
    {
        std::string text;
        for (const std::string& line : process.lines(ChildProcess::Stream::standardOutput))
            text += line + "\n";
        return text;
    }

    test::HelperHarness helper;
};

TEST_F(MonitorCommands, ScrubShowsEachNewPositionAndStopsAfterTheDuration)
{
    std::string path = helper.runtimeDir().file("scrub");
    auto scrub = marquee({ "scrub", "--shm", path, "--fps", "25", "--duration", "1.5" });
    ASSERT_TRUE(scrub->waitForLine("scrub: display not found yet", 10s));
    // The file's first state is shown before any update is counted.
    ASSERT_TRUE(scrub->waitForLine("seq 0  unknown  invalid", 10s)) << output(*scrub);

    auto opened = shm::ScrubBlock::open(path);
    ASSERT_TRUE(opened.hasValue());
    auto& block = opened.value();
    for (std::uint32_t sequence = 1; sequence <= 3; ++sequence) {
        block.storeDisplayModeWord(1);
        block.storePosition(3600.0 + sequence);
        block.storeSequence(sequence);
        block.storeValid(1);
        // Mode and validity are left out: without a display the helper itself
        // marks the file invalid once a second, and may do so between these stores
        // and the tool's read.
        std::string expected = "01:00:0" + std::to_string(sequence) + ".000  " + std::to_string(3600 + sequence) + ".000 s  seq "
            + std::to_string(sequence) + "  ";
        EXPECT_TRUE(scrub->waitForLine(expected, 5s)) << output(*scrub);
    }
    EXPECT_EQ(exitCode(*scrub), 0);
    EXPECT_TRUE(scrub->hasLine("scrub: stopped after 3 update(s)")) << output(*scrub);
}

TEST_F(MonitorCommands, ScrubStopsTheObservationOnCtrlC)
{
    std::string path = helper.runtimeDir().file("scrub");
    auto scrub = marquee({ "scrub", "--shm", path, "--fps", "25" });
    ASSERT_TRUE(scrub->waitForLine("scrub: display not found yet", 10s));
    ASSERT_TRUE(scrub->sendSignal(SIGINT));
    EXPECT_EQ(exitCode(*scrub), 0);
    EXPECT_TRUE(scrub->hasLine("scrub: stopped after 0 update(s)")) << output(*scrub);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 64);
}

struct UsageRow {
    const char* name;
    std::vector<std::string> arguments; // "{dir}" stands for the runtime directory
    int exit;
    const char* message;
};

class MonitorUsage : public MonitorCommands, public ::testing::WithParamInterface<UsageRow> {};

TEST_P(MonitorUsage, RefusesBadInput)
{
    std::vector<std::string> arguments = GetParam().arguments;
    for (std::string& argument : arguments)
        if (argument.starts_with("{dir}"))
            argument = helper.runtimeDir().path() + argument.substr(5);
    auto command = marquee(arguments);
    EXPECT_EQ(exitCode(*command), GetParam().exit);
    EXPECT_TRUE(command->hasLine(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(Cases, MonitorUsage,
    ::testing::Values(UsageRow { "ZeroFps", { "scrub", "--shm", "/tmp/x", "--fps", "0" }, 2, "'0' is not a frame rate" },
        UsageRow { "ScrubIntoADirectory", { "scrub", "--shm", "{dir}", "--fps", "25" }, 2, "open failed: Is a directory" },
        UsageRow { "WatchIntoADirectory", { "watch", "--shm", "{dir}" }, 2, "open failed: Is a directory" },
        UsageRow { "NegativeTimeout", { "watch", "--shm", "/tmp/x", "--timeout", "-1" }, 2, "--timeout must be 0 or more seconds" },
        UsageRow { "WatchTimesOutWithoutLogic", { "watch", "--shm", "{dir}/w", "--timeout", "0.2" }, 1, "watch: timed out; the project is still open" }),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace mq
