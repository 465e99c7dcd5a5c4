#include "logic/DialogWait.h"
#include "logic/LogicApplication.h"
#include "tests/logic/LogicFixture.h"

#include <chrono>

namespace mq::logic {
namespace {

using test::AXCall;
using testing::LogicFixture;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

using DialogWaitTest = LogicFixture;

TEST_F(DialogWaitTest, LogicNotRunningGivesNothingAtOnce)
{
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(waitForLogicModalDialog(platform, "Go to Position").has_value());
    // Not reachable is known at once: no polling until the time-out (the figure is
    // in bench/e2e/go_to_position_timing).
    EXPECT_LT(secondsSince(start), kDialogWaitTimeoutSeconds / 2);
    EXPECT_FALSE(levelOf("waitForLogicModalDialog (Go to Position) timed out").has_value());
    EXPECT_EQ(levelOf("waitForLogicModalDialog (Go to Position): Logic Pro not found via AX (not running, or Accessibility "
                      "permission denied)"),
        log::Level::error);
    EXPECT_EQ(logicWindowsSnapshot(platform), "snapshot-error: Logic not reachable via AX");
}

TEST_F(DialogWaitTest, AccessibilityDeniedGivesTheNotFoundLine)
{
    startLogic();
    scripted.accessibility.setTrusted(false);
    EXPECT_FALSE(waitForLogicModalDialog(platform, "Set Left and Right Locator", 0.5, 0.01).has_value());
    EXPECT_TRUE(levelOf("waitForLogicModalDialog (Set Left and Right Locator): Logic Pro not found via AX (not running, or "
                        "Accessibility permission denied)")
                    .has_value());
}

TEST_F(DialogWaitTest, TimesOutWithASnapshotOfTheWindows)
{
    scripted.accessibility.addWindow(startLogic(), "Untitled - Tracks");
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(waitForLogicModalDialog(platform, "Go to Position (read playhead)", 0.2, 0.02).has_value());
    EXPECT_GE(secondsSince(start), 0.2);
    EXPECT_EQ(levelOf("waitForLogicModalDialog (Go to Position (read playhead)) timed out — Logic windows snapshot: count=1 | "
                      "title=Untitled - Tracks subrole=AXStandardWindow modal=false"),
        log::Level::error);
    // Polled about every 20 ms: not once, not a busy loop.
    std::size_t looks = scripted.accessibility.count(AXCall::copyAttributeValue, "AXModal");
    EXPECT_GE(looks, 4u);
    EXPECT_LE(looks, 12u);
}

TEST_F(DialogWaitTest, ReturnsTheFirstModalWindowInWindowOrderWhateverItsKind)
{
    platform::AXElementRef app = startLogic();
    scripted.accessibility.addWindow(app, "Song - Tracks");
    platform::AXElementRef noModal = scripted.accessibility.addWindow(app, "Mixer", "AXFloatingWindow", std::nullopt);
    platform::AXElementRef failing = scripted.accessibility.addWindow(app, "Broken", "AXDialog", true);
    scripted.accessibility.failCall(AXCall::copyAttributeValue, -25202, failing, std::string("AXModal"));
    platform::AXElementRef alert = scripted.accessibility.addWindow(app, "", "AXDialog", true);
    scripted.accessibility.addWindow(app, "Go to Position", "AXDialog", true);

    std::optional<ax::UIElement> dialog = waitForLogicModalDialog(platform, "Go to Position", 0.5, 0.01);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->element(), alert);
    EXPECT_EQ(serviceLineCount(), 0u);
    (void)noModal;
}

TEST_F(DialogWaitTest, FindsADialogThatAppearsWhileWaiting)
{
    platform::AXElementRef app = startLogic();
    scripted.accessibility.addWindow(app, "Song - Tracks");
    int windowReads = 0;
    std::optional<platform::AXElementRef> opened;
    scripted.accessibility.setCallHook([&](const test::RecordedAXCall& call) {
        if (call.call == AXCall::copyAttributeValue && call.name == "AXWindows" && ++windowReads == 3)
            opened = scripted.accessibility.addWindow(app, "Go to Position", "AXDialog", true);
    });
    std::optional<ax::UIElement> dialog = waitForLogicModalDialog(platform, "Go to Position", 1.0, 0.01);
    scripted.accessibility.setCallHook({});
    ASSERT_TRUE(dialog.has_value());
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(dialog->element(), *opened);
    EXPECT_EQ(windowReads, 4);
}

// Logic reports the dialog while the wait sleeps a (long) poll interval: the wait
// looks again at once instead of at the end of the interval.
struct WakeRow {
    const char* name;
    const char* notification;
};

class DialogWaitWake : public DialogWaitTest, public ::testing::WithParamInterface<WakeRow> {};

TEST_P(DialogWaitWake, EndsTheSleepAndFindsTheDialog)
{
    platform::AXElementRef app = startLogic();
    platform::AXElementRef tracks = scripted.accessibility.addWindow(app, "Song - Tracks");
    std::optional<platform::AXElementRef> opened;
    std::size_t delivered = 0;
    // The dialog appears just after the first look has read the windows.
    scripted.accessibility.setCallHook([&](const test::RecordedAXCall& call) {
        if (opened || call.call != AXCall::copyAttributeValue || call.name != "AXModal" || call.element != tracks)
            return;
        opened = scripted.accessibility.addWindow(app, "Go to Position", "AXDialog", true);
        delivered = scripted.accessibility.postNotification(app, GetParam().notification);
    });
    // A poll interval beyond the time-out: only the notification can bring the
    // second look before the deadline.
    std::optional<ax::UIElement> dialog = waitForLogicModalDialog(platform, "Go to Position", 2.0, 60.0);
    scripted.accessibility.setCallHook({});
    ASSERT_TRUE(dialog.has_value());
    ASSERT_TRUE(opened.has_value());
    EXPECT_EQ(dialog->element(), *opened);
    EXPECT_EQ(delivered, 1u) << "the wait does not observe " << GetParam().notification;
    EXPECT_EQ(scripted.accessibility.count(AXCall::copyAttributeValue, "AXWindows"), 2u);
    EXPECT_EQ(scripted.accessibility.count(AXCall::observerRelease), scripted.accessibility.count(AXCall::observerCreate));
}

INSTANTIATE_TEST_SUITE_P(Notifications, DialogWaitWake,
    ::testing::Values(WakeRow { "WindowCreated", "AXWindowCreated" }, WakeRow { "FocusedWindowChanged", "AXFocusedWindowChanged" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogWaitTest, WithoutAnObserverItPollsAsBefore)
{
    platform::AXElementRef app = startLogic();
    scripted.accessibility.addWindow(app, "Song - Tracks");
    scripted.accessibility.failCall(AXCall::observerCreate, -25204);
    int windowReads = 0;
    scripted.accessibility.setCallHook([&](const test::RecordedAXCall& call) {
        if (call.call == AXCall::copyAttributeValue && call.name == "AXWindows" && ++windowReads == 2)
            scripted.accessibility.addWindow(app, "Go to Position", "AXDialog", true);
    });
    EXPECT_TRUE(waitForLogicModalDialog(platform, "Go to Position", 1.0, 0.01).has_value());
    scripted.accessibility.setCallHook({});
    EXPECT_EQ(windowReads, 3) << "the window added during the second look is found by the third";
    EXPECT_EQ(serviceLineCount(), 0u);
}

TEST_F(DialogWaitTest, ATimeOutOfZeroLooksAtNoWindow)
{
    scripted.accessibility.addWindow(startLogic(), "Go to Position", "AXDialog", true);
    EXPECT_FALSE(waitForLogicModalDialog(platform, "Go to Position", 0.0, 0.05).has_value());
    EXPECT_EQ(scripted.accessibility.count(AXCall::copyAttributeValue, "AXModal"), 1u); // the snapshot's read only
    EXPECT_TRUE(capture.contains("waitForLogicModalDialog (Go to Position) timed out — Logic windows snapshot: count=1 | "
                                 "title=Go to Position subrole=AXDialog modal=true"));
}

TEST_F(DialogWaitTest, WindowsThatCannotBeReadAreWaitedOut)
{
    startLogic();
    scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, std::nullopt, std::string("AXWindows"));
    EXPECT_FALSE(waitForLogicModalDialog(platform, "Open Movie in Finder", 0.1, 0.02).has_value());
    EXPECT_TRUE(levelOf("waitForLogicModalDialog (Open Movie in Finder) timed out — Logic windows snapshot: snapshot-error: "
                        "cannot read windows")
                    .has_value());
}

} // namespace
} // namespace mq::logic
