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

namespace mq::permissions {
namespace {

using nlohmann::json;

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

    // The user grants it in System Settings and comes back.
    logicSim.ctl("set-trust", { { "trusted", true } });
    becomeActive();
    EXPECT_TRUE(accessibility.grantButton()->isHidden());
    EXPECT_FALSE(accessibility.badge()->isHidden());
    EXPECT_EQ(closes, 0);
}

} // namespace
} // namespace mq::permissions
