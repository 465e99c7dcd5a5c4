// Stored actions end to end: the client asks the helper process, the helper runs
// the interpreter stand-in, and the stand-in asks logicsim (a fake of its socket
// in the helper's runtime directory).
#include "tests/harness/HelperHarness.h"
#include "tests/support/FakeLogicSim.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

TEST(StoredActionService, RunActionWithCodeRepliesWhetherTheActionRan)
{
    test::HelperHarness harness;
    test::FakeLogicSim logicsim(harness.runtimeDir().file("logicsim.sock"));
    auto connection = harness.connect();
    ASSERT_TRUE(connection);
    struct Row {
        std::uint32_t code;
        bool logicsimRuns;
        bool reply;
        bool reachesLogicsim;
    };
    const Row rows[] = {
        { 21, true, true, true },
        { 681, true, true, true },
        { 21, false, false, true }, // logicsim could not run it
        { 58, true, false, false }, // a prefix of 584, not listed
        { 1, true, false, false },
        { 119, true, false, false },
        { 6, true, false, false },
    };
    std::vector<std::uint32_t> expectedCodes;
    for (const Row& row : rows) {
        logicsim.setAnswer([ran = row.logicsimRuns](const json&) { return json { { "ran", ran } }; });
        auto result = connection->runActionWithCode({ row.code }, 20s);
        ASSERT_TRUE(result.ok()) << row.code;
        EXPECT_EQ(std::get<0>(result.value()), row.reply) << row.code;
        if (row.reachesLogicsim)
            expectedCodes.push_back(row.code);
        EXPECT_EQ(logicsim.actionCodes(), expectedCodes) << "after " << row.code;
    }
}

TEST(StoredActionService, SynchronizationSettingsRunAction681BeforeReplying)
{
    test::HelperHarness harness;
    test::FakeLogicSim logicsim(harness.runtimeDir().file("logicsim.sock"));
    auto connection = harness.connect();
    ASSERT_TRUE(connection);
    ASSERT_TRUE(connection->openLogicSynchronizationSettingsWithReply({}, 20s).ok());
    EXPECT_EQ(logicsim.actionCodes(), std::vector<std::uint32_t> { 681 });
    EXPECT_EQ(harness.countLogLines("openLogicSynchronizationSettings: opening Logic Project Settings → Synchronization"), 1u);
}

TEST(StoredActionService, MarqueeActionRunsTheCodeAndExitsWithTheAnswer)
{
    test::HelperHarness harness;
    test::FakeLogicSim logicsim(harness.runtimeDir().file("logicsim.sock"));
    struct Row {
        const char* code;
        int status;
        const char* line;
    };
    const Row rows[] = {
        { "1195", 1, "ok: false" }, // not listed
        { "1194", 0, "ok: true" },
        { "5", 0, "ok: true" },
    };
    for (const Row& row : rows) {
        test::ChildProcess tool({ test::marqueeExecutablePath(), "action", row.code }, harness.environment());
        auto status = tool.waitForExit(20s);
        ASSERT_TRUE(status.has_value()) << row.code;
        EXPECT_EQ(WEXITSTATUS(*status), row.status) << row.code;
        EXPECT_TRUE(tool.waitForOutputEnd(2s));
        EXPECT_TRUE(tool.hasLine(row.line)) << row.code;
    }
    EXPECT_EQ(logicsim.actionCodes(), (std::vector<std::uint32_t> { 1194, 5 }));
}

TEST(StoredActionService, WithoutLogicsimTheActionFails)
{
    test::HelperHarness harness;
    auto connection = harness.connect();
    ASSERT_TRUE(connection);
    auto result = connection->runActionWithCode({ 21 }, 20s);
    ASSERT_TRUE(result.ok());
    EXPECT_FALSE(std::get<0>(result.value()));
}

} // namespace
} // namespace mq
