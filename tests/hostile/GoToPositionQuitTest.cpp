// Logic quits, is killed, hangs or loses the front while Go to Position has its
// dialog open. Key events go to whatever is in front, so the helper must send
// nothing more once the dialog is no longer Logic's front window, and answer the
// operation's failure instead of a success with nothing moved.
#include "tests/hostile/HostileFixture.h"
#include "tests/support/Eventually.h"

#include <cmath>
#include <future>
#include <ostream>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;
using MoveResult = client::Result<protocol::goToLogicPlayheadSMPTESeconds::ReplyValues>;

constexpr double kTarget = 3700.0;
constexpr double kStartPlayhead = 3600.0;

/// What logicsim does to Logic, and when.
struct Disruption {
    const char* name;
    /// Before typing (as the helper measures the dialog) or before confirming
    /// (while the helper waits for Logic to take the typed value).
    bool beforeTyping;
    const char* command;
    json args;
    /// The reason the reply gives; empty when the race between the disruption
    /// and the helper's checks decides which of several it is.
    const char* reason;
};

void PrintTo(const Disruption& disruption, std::ostream* out)
{
    *out << disruption.name;
}

class GoToPositionDisrupted : public test::HostileTest, public ::testing::WithParamInterface<Disruption> {
protected:
    json state() { return harness.logicSim().state(); }
    /// Only the key events: light enough to poll within the helper's 0.5 s wait.
    json keyEvents() { return harness.logicSim().ctl("state", { { "only", { "keyEvents" } } }); }
    /// The key events posted by the helper itself (not through System Events).
    std::size_t helperKeyEvents(const json& world)
    {
        std::size_t count = 0;
        for (const json& event : world["keyEvents"])
            if (!event.contains("source"))
                ++count;
        return count;
    }
    /// Tab presses the helper finished (counted by their key-up, so that a poll
    /// between a press's down and up does not count it).
    std::size_t tabsPressed(const json& world)
    {
        std::size_t count = 0;
        for (const json& event : world["keyEvents"])
            if (event.value("virtualKey", 0) == 48 && !event.value("keyDown", true) && !event.contains("source"))
                ++count;
        return count;
    }
};

TEST_P(GoToPositionDisrupted, SendsNothingMoreAndAnswersTheFailure)
{
    const Disruption& disruption = GetParam();
    bool hangs = std::string(disruption.command) == "fault" && disruption.args.value("noReply", false);

    // Warm up: one ordinary move makes the threads a move keeps.
    auto warmUp = connection->goToLogicPlayheadSMPTESeconds({ kStartPlayhead, 25.0, false }, 15s);
    ASSERT_TRUE(warmUp.hasValue() && std::get<2>(warmUp.value()));
    // A bystander's reads of a hung Logic would time out as well; the newcomer
    // checks the service after the hang.
    takeBaseline(!hangs);

    std::size_t tabsBefore = tabsPressed(state());
    if (disruption.beforeTyping) {
        // Every guard's first question (is Logic in front?) is answered late, so
        // that the disruption, sent as soon as the dialog is measured, lands while
        // the guard before the first key is still asking.
        harness.logicSim().ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXFrontmost" }, { "delayMs", 300 }, { "count", 20 } });
    }
    std::future<MoveResult> move = std::async(std::launch::async, [&] {
        return connection->goToLogicPlayheadSMPTESeconds({ kTarget, 25.0, false }, 20s);
    });

    if (disruption.beforeTyping) {
        // The warm-up measured once already; this move measures the second time.
        test::eventually([&] { return harness.countLogLines("measureViewOffset:") >= 2; }, 10s, 2ms);
        ASSERT_EQ(harness.countLogLines("measureViewOffset:"), 2u) << "the dialog was not measured";
    } else {
        // The second Tab: the helper now waits 0.5 s for Logic to take the value.
        test::eventually([&] { return tabsPressed(keyEvents()) >= tabsBefore + 2; }, 10s, 2ms);
        ASSERT_GE(tabsPressed(keyEvents()), tabsBefore + 2) << "the helper did not type";
    }
    harness.logicSim().ctl(disruption.command, disruption.args);
    std::size_t keysAtDisruption = helperKeyEvents(state());

    ASSERT_EQ(move.wait_for(20s), std::future_status::ready);
    MoveResult result = move.get();
    ASSERT_TRUE(result.hasValue());
    auto [landed, viewOffset, ok, error] = result.value();
    EXPECT_FALSE(ok) << "a move that did not happen was reported as a success";
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 82);
    // The reply says which step stopped and why; the reason is left open where
    // the race between the disruption and the helper's checks decides it.
    std::string step = disruption.beforeTyping ? "Could not type the position in Go to Position dialog (" : "Could not confirm Go to Position dialog (";
    const std::string& message = error->localizedDescription;
    EXPECT_TRUE(message.starts_with(step)) << message;
    EXPECT_TRUE(message.ends_with("; nothing more was typed)")) << message;
    if (*disruption.reason) {
        EXPECT_EQ(message, step + disruption.reason + "; nothing more was typed)");
    }
    EXPECT_EQ(landed, 0.0);
    EXPECT_TRUE(std::isnan(viewOffset));
    EXPECT_TRUE(helperLogged("goToLogicPlayheadSMPTESeconds failed: " + message));

    if (hangs)
        harness.logicSim().ctl("clear-faults");
    json world = state();
    EXPECT_EQ(helperKeyEvents(world), keysAtDisruption) << "keys were sent after the dialog stopped being Logic's front window";
    if (disruption.beforeTyping) {
        EXPECT_EQ(tabsPressed(world), tabsBefore) << "nothing is typed once Logic is gone";
    }
    EXPECT_EQ(world["transport"]["playheadSeconds"].get<double>(), kStartPlayhead) << "the playhead moved";
    expectRecovered();
}

INSTANTIATE_TEST_SUITE_P(Disruptions, GoToPositionDisrupted,
    ::testing::Values(
        // Gone from the running applications, or its element already invalid.
        Disruption { "QuitBeforeTyping", true, "quit", { { "app", "logic" } }, "" },
        Disruption { "QuitBeforeConfirming", false, "quit", { { "app", "logic" } }, "Logic is not running" },
        Disruption { "KilledBeforeConfirming", false, "set-app", { { "app", "logic" }, { "terminated", true } }, "Logic is not running" },
        Disruption { "HungBeforeConfirming", false, "fault", { { "op", "ax.*" }, { "noReply", true } }, "Logic does not answer" },
        Disruption { "AnotherAppInFrontBeforeConfirming", false, "frontmost", { { "app", "finder" } }, "Logic is not the frontmost application" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace mq
