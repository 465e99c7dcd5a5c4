// Bounce step 5 at its 1800 s deadline: the helper's listener and service run in
// this process, against a real logicsim, with a clock that runs 1200 times
// faster than the steady clock, so that 30 minutes pass in about 1.5 s.
#include "platform/Log.h"
#include "tests/harness/InProcessService.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kClockSpeedUp = 1200;

class BounceDeadline : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clock::time_point start = Clock::now();
        helper.service().setBounceClock([start] { return start + (Clock::now() - start) * kClockSpeedUp; });
    }

    log::LogCapture capture;
    test::InProcessService helper;
    test::LogicSimProcess* logicSim = &helper.logicSim();
    const test::TempRuntimeDir& runtimeDir = helper.runtimeDir();
    client::HelperConnection* connection = &helper.connection();
};

TEST_F(BounceDeadline, APanelOpenPastThirtyMinutesRepliesErrorThirtyOneWithTheLastName)
{
    // The user types a name and then leaves the panel open.
    logicSim->ctl("set-export", { { "directory", runtimeDir.path() }, { "user", { { "name", "Left Open" }, { "press", "none" } } } });
    auto opened = connection->bounceOpenExportDialogWithPacingSeconds({ 0.0 }, 15s);
    ASSERT_TRUE(opened.hasValue());
    ASSERT_TRUE(std::get<0>(opened.value()));
    ASSERT_TRUE(test::eventually([&] { return capture.contains("bounce step 4: open export dialog"); }, 2s));

    auto started = Clock::now();
    auto waited = connection->bounceAwaitExportDialogsClosedWithReply({}, 60s);
    auto elapsed = Clock::now() - started;
    ASSERT_TRUE(waited.hasValue());
    auto [name, error] = waited.value();
    EXPECT_EQ(name, "Left Open");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 31);
    EXPECT_EQ(error->localizedDescription, "Timed out waiting for Logic's export dialog to close.");
    EXPECT_TRUE(capture.contains("bounce failed (31): Timed out waiting for Logic's export dialog to close.", "helper.service"));
    EXPECT_GE(elapsed, 1s) << "1800 s at this speed take 1.5 s";
    EXPECT_LT(elapsed, 20s);
    EXPECT_FALSE(logicSim->state()["applications"].dump().find("save-panel") == std::string::npos) << "the panel is still open";
}

} // namespace
} // namespace mq
