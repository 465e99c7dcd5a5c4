// Bounce step 5 against a Logic that is busy bouncing: from the save panel
// closing, through the gap before its progress window shows, to the end of the
// bounce, Logic answers accessibility only when it is done, so a read with a
// short messaging time-out fails with -25204. The helper's service runs in this
// process with such a time-out (0.25 s): an unreadable window list must count as
// "still busy", and step 5 answers only once the exported file exists.
#include "ax/UIElement.h"
#include "tests/harness/InProcessService.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(BounceBusyLogic, StepFiveAnswersTheTypedNameOnlyAfterTheFileExists)
{
    test::InProcessService helper { [](platform::Platform own) {
        EXPECT_TRUE(static_cast<bool>(ax::UIElement::setGlobalMessagingTimeout(own.accessibility, 0.25f)));
        return own;
    } };
    const std::string directory = helper.runtimeDir().file("bounces");
    std::filesystem::create_directories(directory);
    helper.logicSim().ctl("set-latency", { { "profile", "slow" }, { "exportGapMs", 800 } });
    helper.logicSim().ctl("set-transport", { { "projectEndSeconds", 3604.0 } }); // 4 s from bar 1
    helper.logicSim().ctl("set-export", { { "directory", directory }, { "bounceMsPerSecond", 500 },
                                            { "user", { { "afterMs", 200 }, { "name", "Busy Mix" }, { "press", "export" }, { "pressAfterTypingMs", 200 } } } });

    auto opened = helper.connection().bounceOpenExportDialogWithPacingSeconds({ 0.0 }, 15s);
    ASSERT_TRUE(opened.hasValue());
    ASSERT_TRUE(std::get<0>(opened.value()));
    auto started = Clock::now();
    auto waited = helper.connection().bounceAwaitExportDialogsClosedWithReply({}, 60s);
    const bool fileThere = std::filesystem::exists(directory + "/Busy Mix.wav");
    ASSERT_TRUE(waited.hasValue());
    auto [name, error] = waited.value();
    EXPECT_FALSE(error);
    EXPECT_EQ(name, "Busy Mix");
    EXPECT_TRUE(fileThere) << "step 5 answered while Logic was still bouncing";
    EXPECT_GE(Clock::now() - started, 2800ms) << "the gap and the bounce take that long";
}

} // namespace
} // namespace mq
