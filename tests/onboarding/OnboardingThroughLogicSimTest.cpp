// The onboarding window wired to the platform seam as marquee-onboarding wires
// it, with a real logicsim answering the permission checks and recording what
// the window opened.
#include "app/onboarding/PlatformOnboardingPermissions.h"
#include "permissions/PermissionRowView.h"
#include "permissions/PermissionsOnboardingWindowController.h"
#include "permissions/StatusDotView.h"
#include "platform/linux/LogicSimPlatform.h"
#include "tests/harness/LogicSimProcess.h"
#include "tests/onboarding/QtTestApplication.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace mq::permissions {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

// The events of one type that logicsim recorded.
json eventsOfType(const json& state, std::string_view type)
{
    json found = json::array();
    for (const auto& event : state["events"])
        if (event.value("type", "") == type)
            found.push_back(event);
    return found;
}

class OnboardingThroughLogicSimTest : public ::testing::Test {
protected:
    void SetUp() override { test::qtTestApplication(); }

    static void becomeActive() { emit qGuiApp->applicationStateChanged(Qt::ApplicationActive); }

    test::TempRuntimeDir runtimeDir;
    test::LogicSimProcess logicSim { runtimeDir };
    platform::LogicSimPlatform desktop { platform::LogicSimOptions { logicSim.socketPath() } };
    PlatformOnboardingPermissions permissions { desktop.platform() };
};

TEST_F(OnboardingThroughLogicSimTest, AccessibilityRowFollowsTheTrustAndOpensItsPane)
{
    logicSim.ctl("set-trust", { { "trusted", false } });
    int closes = 0;
    PermissionsOnboardingWindowController controller(permissions, [&] { ++closes; });
    controller.showWindow();
    PermissionRowView& accessibility = *controller.rows()[0];
    EXPECT_FALSE(accessibility.grantButton()->isHidden());
    EXPECT_TRUE(accessibility.badge()->isHidden());

    controller.openSettingsButton()->click();
    EXPECT_EQ(logicSim.state()["openedURLs"], json::array({ std::string(kAccessibilityPaneAddress) }));
    // Opening the pane asks nothing: no prompt was shown.
    EXPECT_TRUE(logicSim.state()["accessibility"]["prompts"].empty());

    // The user grants it in System Settings and comes back; the Automation
    // permissions of the default scenario are granted, so that was the last one.
    EXPECT_EQ(closes, 0);
    logicSim.ctl("set-trust", { { "trusted", true } });
    becomeActive();
    EXPECT_TRUE(accessibility.grantButton()->isHidden());
    EXPECT_FALSE(accessibility.badge()->isHidden());
    EXPECT_EQ(closes, 1);
}

TEST_F(OnboardingThroughLogicSimTest, GrantOnARefusedAutomationOpensThePaneWithoutAPrompt)
{
    logicSim.ctl("set-automation", { { "bundleIdentifier", "com.apple.systemevents" }, { "state", "denied" } });
    PermissionsOnboardingWindowController controller(permissions);
    PermissionRowView& systemEvents = *controller.rows()[2];
    EXPECT_TRUE(controller.rows()[0]->grantButton()->isHidden());
    EXPECT_TRUE(controller.rows()[1]->grantButton()->isHidden());
    ASSERT_FALSE(systemEvents.grantButton()->isHidden());

    systemEvents.grantButton()->click();
    const json state = logicSim.state();
    EXPECT_TRUE(eventsOfType(state, "automationPrompt").empty());
    EXPECT_EQ(state["openedURLs"], json::array({ std::string(kAutomationPaneAddress) }));
    EXPECT_FALSE(systemEvents.grantButton()->isHidden());
    EXPECT_FALSE(controller.isClosed());
}

TEST_F(OnboardingThroughLogicSimTest, OpenSettingsWithOnlySystemEventsMissingOpensAutomation)
{
    logicSim.ctl("set-automation", { { "bundleIdentifier", "com.apple.systemevents" }, { "state", "ask" } });
    PermissionsOnboardingWindowController controller(permissions);
    controller.openSettingsButton()->click();
    const json state = logicSim.state();
    EXPECT_EQ(state["openedURLs"], json::array({ std::string(kAutomationPaneAddress) }));
    EXPECT_TRUE(eventsOfType(state, "automationPrompt").empty()); // status reads never prompt
}

TEST_F(OnboardingThroughLogicSimTest, AllowingTheLastPromptClosesTheWindow)
{
    logicSim.ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "ask" }, { "promptAnswer", "allow" } });
    log::LogCapture logs;
    int closes = 0;
    PermissionsOnboardingWindowController controller(permissions, [&] { ++closes; });
    controller.showWindow();
    controller.rows()[1]->grantButton()->click();
    const json prompts = eventsOfType(logicSim.state(), "automationPrompt");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0]["target"], "com.apple.logic10");
    EXPECT_TRUE(logicSim.state()["openedURLs"].empty());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(logs.count("all permissions granted \u2014 closing onboarding", "helper.onboarding"), 1u);
}

// marquee-onboarding itself: with everything granted, it shows nothing and ends.
TEST_F(OnboardingThroughLogicSimTest, HostQuitsAtOnceWhenEverythingIsGranted)
{
    test::ChildProcess host({ MQ_ONBOARDING_EXECUTABLE },
        { { "XDG_RUNTIME_DIR", runtimeDir.path() }, { "QT_QPA_PLATFORM", "offscreen" } });
    auto status = host.waitForExit(30s);
    ASSERT_TRUE(status.has_value()) << "marquee-onboarding did not quit";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    host.waitForOutputEnd(5s);
    EXPECT_TRUE(host.hasLine("[helper.onboarding] info: all permissions granted \u2014 closing onboarding"));
}

} // namespace
} // namespace mq::permissions
