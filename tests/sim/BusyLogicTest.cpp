// A busy, hidden or elsewhere Logic as logicsim shows it: while Logic's main
// thread is busy, accessibility calls to it wait (and end in -25204 at a short
// messaging time-out) and keys apply afterwards; a hidden Logic and one whose
// full-screen window is on another Space list no windows; the latency profiles.
#include "tests/sim/LogicSimFixture.h"
#include "tests/support/Eventually.h"

#include "platform/InputEvents.h"

namespace mq::test {
namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;

class BusyLogic : public LogicSimTest {
protected:
    std::size_t windowCount(const AXElementRef& application)
    {
        CFValue windows;
        EXPECT_EQ(read(application, "AXWindows", windows), 0);
        return windows.get<CFArray>() ? windows.get<CFArray>()->size() : 0;
    }
};

TEST_F(BusyLogic, AccessibilityWaitsAndKeysApplyAfterwards)
{
    auto application = ax().createApplication(logicPid());
    ASSERT_EQ(ax().setMessagingTimeout(application, 0.2f), 0);
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    ctl("logic-busy", { { "ms", 800 } });
    auto started = Clock::now();
    CFValue windows;
    EXPECT_EQ(read(application, "AXWindows", windows), axerror::cannotComplete);
    EXPECT_LT(Clock::now() - started, 700ms) << "the call ends at its messaging time-out";
    // Typed while busy: taken once Logic is free, in order.
    for (char16_t c : std::u16string(u"12")) {
        m_backend->postKeyboardEvent({ keycode::ansiA, true, std::u16string(1, c), 0 });
        m_backend->postKeyboardEvent({ keycode::ansiA, false, std::u16string(1, c), 0 });
    }
    ASSERT_EQ(ax().setMessagingTimeout(application, 0), 0);
    EXPECT_EQ(read(application, "AXWindows", windows), 0) << "with the default time-out the call waits until Logic is free";
    EXPECT_GE(Clock::now() - started, 750ms);
    json fields;
    EXPECT_TRUE(eventually([&] { return ctl("state", { { "only", { "applications" } } }).dump().find("\"AXValue\":\"12\"") != std::string::npos; }, 2s))
        << "the keys typed while Logic was busy were lost";
}

TEST_F(BusyLogic, HiddenOrFullScreenElsewhereListsNoWindows)
{
    auto application = ax().createApplication(logicPid());
    ASSERT_GT(windowCount(application), 0u);
    CFValue value;
    ctl("hide", json::object());
    EXPECT_EQ(windowCount(application), 0u);
    ASSERT_EQ(read(application, "AXHidden", value), 0);
    EXPECT_EQ(value.get<bool>() ? *value.get<bool>() : false, true);
    EXPECT_EQ(read(application, "AXMainWindow", value), axerror::noValue);
    ctl("hide", { { "hidden", false } });
    EXPECT_GT(windowCount(application), 0u);

    ctl("full-screen", json::object());
    EXPECT_EQ(windowCount(application), 0u);
    EXPECT_EQ(read(application, "AXMainWindow", value), 0) << "the full-screen window is still Logic's main window";
    ctl("full-screen", { { "otherSpace", false } });
    EXPECT_GT(windowCount(application), 0u);
}

TEST_F(BusyLogic, TheSlowProfileIsNamedAndOthersAreRefused)
{
    ctl("set-latency", { { "profile", "slow" } });
    json latency = ctl("state", { { "only", { "latency" } } })["latency"];
    EXPECT_EQ(latency["profile"], "slow");
    EXPECT_EQ(latency["importMsPerSecond"], 25.0);
    EXPECT_EQ(latency["exportGapMs"], json({ 300, 1500 }));
    EXPECT_EQ(latency["windowOpenMs"], json({ 100, 500, 1500, 5 }));
    EXPECT_EQ(latency["nameEditorMs"], json({ 30, 120, 500, 10 }));
    EXPECT_EQ(latency["importBusyPercent"], 30);
    EXPECT_TRUE(ctlRaw("set-latency", { { "profile", "fast" } }).contains("error"));
    EXPECT_TRUE(ctlRaw("set-latency", { { "commitMs", { 50, 40 } } }).contains("error"));
    EXPECT_TRUE(ctlRaw("set-latency", { { "commitMs", { 10, 40, 30, 5 } } }).contains("error"));
    EXPECT_TRUE(ctlRaw("set-latency", { { "importBusyPercent", 101 } }).contains("error"));
}

} // namespace
} // namespace mq::test
