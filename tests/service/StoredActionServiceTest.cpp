// Stored actions end to end: the client asks the helper process, the helper runs
// the interpreter stand-in, and the stand-in asks logicsim (a fake of its socket
// in the helper's runtime directory).
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"
#include "tests/support/FakeLogicSim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <future>
#include <utility>
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
        ASSERT_TRUE(result.hasValue()) << row.code;
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
    ASSERT_TRUE(connection->openLogicSynchronizationSettingsWithReply({}, 20s).hasValue());
    EXPECT_EQ(logicsim.actionCodes(), std::vector<std::uint32_t> { 681 });
    EXPECT_EQ(harness.countLogLines("openLogicSynchronizationSettings: opening Logic Project Settings → Synchronization"), 1u);
}

// Twenty requests made while the action runs share one more run: a flood of them
// used to start one interpreter each, side by side, and starved other clients.
TEST(StoredActionService, SynchronizationRequestsMadeDuringARunShareTheNext)
{
    test::HelperHarness harness;
    test::FakeLogicSim logicsim(harness.runtimeDir().file("logicsim.sock"));
    // Declared after the fake, so that a failed assertion still lets its thread go.
    struct Release {
        std::promise<void> promise;
        bool given = false;
        void operator()()
        {
            if (!std::exchange(given, true))
                promise.set_value();
        }
        ~Release() { (*this)(); }
    } release;
    std::shared_future<void> released = release.promise.get_future().share();
    logicsim.setAnswer([released](const json&) {
        released.wait();
        return json { { "ran", true } };
    });
    auto connection = harness.connect();
    ASSERT_TRUE(connection);
    std::atomic<int> answered { 0 };
    connection->openLogicSynchronizationSettingsWithReplyAsync({}, [&](auto result) { answered += result.hasValue(); });
    ASSERT_TRUE(logicsim.waitForActions(1, 10s));
    for (int i = 0; i < 20; ++i)
        connection->openLogicSynchronizationSettingsWithReplyAsync({}, [&](auto result) { answered += result.hasValue(); });
    // A connection's requests are taken in order: once this one is answered, the
    // twenty have all been asked for.
    ASSERT_TRUE(connection->setColorsWindowAvoidRectX({ 0.0, 0.0, 0.0, 0.0 }, 10s).hasValue());
    EXPECT_EQ(answered.load(), 0) << "answered before a run that began after them";
    release();
    ASSERT_TRUE(test::eventually([&] { return answered.load() == 21; }, 10s)) << answered.load() << " of 21 answered";
    EXPECT_EQ(logicsim.actionCodes(), (std::vector<std::uint32_t> { 681, 681 }));
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

// The whole way: marquee, the helper, the interpreter stand-in and logicsim itself.
TEST(StoredActionService, MarqueeActionOpensGoToPositionInLogicsim)
{
    test::HelperHarness harness;
    test::ChildProcess logicsim({ MQ_LOGICSIM_PATH, "serve" }, harness.environment());
    ASSERT_TRUE(logicsim.waitForLine("listening on", 5s));
    for (const char* code : { "21", "58" }) {
        test::ChildProcess tool({ test::marqueeExecutablePath(), "action", code }, harness.environment());
        auto status = tool.waitForExit(20s);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(WEXITSTATUS(*status), std::string(code) == "21" ? 0 : 1) << code;
    }
    // Logic shows the dialog some time after the command (logicsim's window-open
    // delay): read the world until it is there, at most 3 s.
    json world;
    std::string front;
    auto deadline = std::chrono::steady_clock::now() + 3s;
    do {
        test::ChildProcess state({ MQ_LOGICSIM_PATH, "ctl", "state" }, harness.environment());
        ASSERT_TRUE(state.waitForExit(10s).has_value());
        ASSERT_TRUE(state.waitForOutputEnd(2s));
        std::string text;
        for (const auto& line : state.lines(test::ChildProcess::Stream::standardOutput))
            text += line + "\n";
        world = json::parse(text, nullptr, false);
        ASSERT_TRUE(world.is_object()) << text.substr(0, 200);
        for (const auto& app : world["applications"])
            if (app.value("bundleIdentifier", "") == "com.apple.logic10" && !app["windows"].empty())
                front = app["windows"][0].value("key", "");
    } while (front != "go-to-position" && std::chrono::steady_clock::now() < deadline);
    std::vector<std::uint32_t> ran;
    for (const auto& event : world["events"])
        if (event.value("type", "") == "storedAction")
            ran.push_back(event.value("code", 0u));
    EXPECT_EQ(ran, std::vector<std::uint32_t> { 21 });
    EXPECT_EQ(front, "go-to-position");
    logicsim.sendSignal(SIGTERM);
    EXPECT_TRUE(logicsim.waitForExit(5s).has_value());
}

// Four stored actions that logicsim never answers hold their threads for the
// interpreter's whole time-out. Go to Position's own action 21 must
// not wait behind them: it used to, the dialog wait gave up (82), and the dialog
// opened seconds later, left behind in Logic.
TEST(StoredActionService, AStalledActionNeverDelaysAnotherRequestsAction)
{
    test::HelperHarness harness(test::HelperHarness::Desktop::logicSim);
    harness.logicSim().ctl("fault", { { "op", "logic.runStoredAction" }, { "noReply", true }, { "count", 4 } });
    std::vector<std::unique_ptr<client::HelperConnection>> stalled;
    for (int i = 0; i < 4; ++i) {
        stalled.push_back(harness.connect());
        ASSERT_TRUE(stalled.back());
        // One on the global queue (the Synchronization requests share one run), the
        // others on their connections' threads.
        if (i == 0)
            stalled.back()->openLogicSynchronizationSettingsWithReplyAsync({}, [](auto) { });
        else
            stalled.back()->runActionWithCodeAsync({ 681 }, [](auto) { });
    }
    auto heldActions = [&] {
        std::size_t held = 0;
        json world = harness.logicSim().state();
        for (const auto& event : world["events"])
            held += event.value("type", "") == "fault" && event.value("op", "") == "logic.runStoredAction";
        return held;
    };
    ASSERT_TRUE(test::eventually([&] { return heldActions() == 4; }, 15s)) << "the four actions did not all reach logicsim";

    auto mover = harness.connect();
    auto result = mover->goToLogicPlayheadSMPTESeconds({ 3725.0, 25.0, false }, 20s);
    ASSERT_TRUE(result.hasValue()) << result.error().message;
    auto [landed, viewOffset, ok, error] = result.value();
    EXPECT_TRUE(ok) << (error ? error->localizedDescription : "");
    EXPECT_EQ(landed, 3725.0);
    json world = harness.logicSim().state();
    EXPECT_EQ(world["transport"]["playheadSeconds"].get<double>(), 3725.0);
    for (const auto& app : world["applications"]) {
        if (app.value("bundleIdentifier", "") != "com.apple.logic10")
            continue;
        for (const auto& window : app["windows"]) {
            EXPECT_EQ(window.value("key", ""), "project") << "a dialog was left open in Logic";
        }
    }
    EXPECT_TRUE(harness.helper().waitForLine("goToLogicPlayheadSMPTESeconds: typed 01:02:05:00", 2s));
}

TEST(StoredActionService, WithoutLogicsimTheActionFails)
{
    test::HelperHarness harness;
    auto connection = harness.connect();
    ASSERT_TRUE(connection);
    auto result = connection->runActionWithCode({ 21 }, 20s);
    ASSERT_TRUE(result.hasValue());
    EXPECT_FALSE(std::get<0>(result.value()));
}

} // namespace
} // namespace mq
