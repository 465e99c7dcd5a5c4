// Permission status and prompts against the scripted platform: the mapping of the
// system's answers, starting System Events quietly, asking for each kind, the
// targets and the settings panes, with their log lines.
#include "permissions/Permissions.h"
#include "tests/support/ScriptedPlatform.h"

#include <gtest/gtest.h>

#include <thread>

namespace mq::permissions {
namespace {

using namespace std::chrono_literals;
using platform::osstatus::errAEEventNotPermitted;
using platform::osstatus::errAEEventWouldRequireUserConsent;
using platform::osstatus::noErr;
using platform::osstatus::procNotFound;

const std::string kSystemEvents(kSystemEventsBundleIdentifier);
constexpr platform::FourCharCode kWildCard = 0x2A2A2A2A;

platform::RunningApplication runningApplication(std::string bundleIdentifier, platform::pid_type pid)
{
    platform::RunningApplication application;
    application.bundleIdentifier = std::move(bundleIdentifier);
    application.pid = pid;
    return application;
}

class PermissionsTest : public ::testing::Test {
protected:
    PermissionsTest()
    {
        // System Events runs unless a test says otherwise, so that its checks do not wait.
        scripted.workspace.addRunningApplication(runningApplication(kSystemEvents, 300));
        scripted.workspace.setApplicationURL(kSystemEvents, URL::fileURLWithPath("/System/Library/CoreServices/System Events.app"));
    }

    std::size_t errorLines() const
    {
        std::size_t count = 0;
        for (const auto& line : capture.lines())
            count += line.level == log::Level::error;
        return count;
    }

    log::LogCapture capture;
    test::ScriptedPlatform scripted;
    Permissions permissions { scripted.platform };
};

TEST_F(PermissionsTest, TheSystemsAnswersMapToStatusesAndOnlyUnexpectedOnesAreLogged)
{
    struct Row {
        std::int32_t answer;
        PermissionStatus status;
        bool logged;
    };
    const Row rows[] = {
        { noErr, PermissionStatus::granted, false },
        { errAEEventWouldRequireUserConsent, PermissionStatus::undetermined, false },
        { procNotFound, PermissionStatus::undetermined, false },
        { errAEEventNotPermitted, PermissionStatus::denied, false },
        { -1712, PermissionStatus::denied, true },
        { -50, PermissionStatus::denied, true },
        { 1, PermissionStatus::denied, true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        scripted.scripting.permissionStatusByTarget["com.apple.logic10"] = row.answer;
        auto errorsBefore = errorLines();
        EXPECT_EQ(permissions.automationStatus("com.apple.logic10", false), row.status);
        EXPECT_EQ(errorLines() - errorsBefore, row.logged ? 1u : 0u);
        if (row.logged) {
            EXPECT_TRUE(capture.contains("AEDeterminePermissionToAutomateTarget(com.apple.logic10) returned " + std::to_string(row.answer),
                "helper.permissions"));
        }
    }
    // Every check asks about all events of the target ('****' class and ID), without a prompt.
    for (const auto& check : scripted.scripting.permissionChecks) {
        EXPECT_EQ(check.bundleIdentifier, "com.apple.logic10");
        EXPECT_EQ(check.eventClass, kWildCard);
        EXPECT_EQ(check.eventID, kWildCard);
        EXPECT_FALSE(check.askUserIfNeeded);
    }
}

TEST_F(PermissionsTest, SystemEventsNotRunningIsStartedQuietlyAndAnsweredOnceItRuns)
{
    scripted.workspace.setRunningApplications({});
    std::thread starting;
    scripted.workspace.setOnOpenApplication([this, &starting](const URL&) {
        // It takes a moment to start, as an application does.
        starting = std::thread([this] {
            std::this_thread::sleep_for(200ms);
            scripted.workspace.addRunningApplication(runningApplication(kSystemEvents, 301));
        });
    });
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(permissions.automationStatus(kSystemEvents, false), PermissionStatus::granted);
    auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(starting.joinable());
    starting.join();
    EXPECT_GE(took, 200ms);
    // Answered once it ran, not when the start time-out ran out.
    EXPECT_FALSE(capture.contains("ensureTargetRunning: com.apple.systemevents did not start within 1.500000s", "helper.permissions"));

    auto opened = scripted.workspace.openedApplications();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first.path(), "/System/Library/CoreServices/System Events.app");
    EXPECT_FALSE(opened[0].second.activates);
    EXPECT_FALSE(opened[0].second.addsToRecentItems);
    EXPECT_FALSE(opened[0].second.createsNewApplicationInstance);
    EXPECT_EQ(errorLines(), 0u);
    ASSERT_EQ(scripted.scripting.permissionChecks.size(), 1u);
}

TEST_F(PermissionsTest, ARunningTargetIsNotStartedAgain)
{
    permissions.ensureTargetRunning(kSystemEvents, 1.5);
    EXPECT_TRUE(scripted.workspace.openedApplications().empty());
}

TEST_F(PermissionsTest, ATargetThatDoesNotStartIsLoggedAfterTheTimeOutAndTheCheckGoesOn)
{
    scripted.workspace.setRunningApplications({});
    scripted.scripting.permissionStatusByTarget[kSystemEvents] = procNotFound;
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(permissions.automationStatus(kSystemEvents, false), PermissionStatus::undetermined);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1500ms);
    EXPECT_TRUE(capture.contains("ensureTargetRunning: com.apple.systemevents did not start within 1.500000s", "helper.permissions"));
    EXPECT_EQ(scripted.scripting.permissionChecks.size(), 1u);
}

TEST_F(PermissionsTest, ATargetWithoutAnApplicationURLIsLoggedAndTheCheckGoesOn)
{
    scripted.workspace.setRunningApplications({});
    test::ScriptedPlatform bare; // Knows no application URLs.
    Permissions checks(bare.platform);
    bare.scripting.permissionStatus = procNotFound;
    EXPECT_EQ(checks.automationStatus(kSystemEvents, false), PermissionStatus::undetermined);
    EXPECT_TRUE(capture.contains("ensureTargetRunning: no app URL for com.apple.systemevents", "helper.permissions"));
    EXPECT_TRUE(bare.workspace.openedApplications().empty());
    EXPECT_EQ(bare.scripting.permissionChecks.size(), 1u);
}

TEST_F(PermissionsTest, ATargetNeverAskedAboutIsUndeterminedWithoutAPromptAndAskedOnRequest)
{
    scripted.scripting.permissionStatusByTarget["com.apple.logic10"] = errAEEventWouldRequireUserConsent;
    scripted.scripting.permissionStatusAfterPrompt["com.apple.logic10"] = noErr;

    EXPECT_EQ(permissions.status(PermissionKind::automationLogic), PermissionStatus::undetermined);
    ASSERT_EQ(scripted.scripting.permissionChecks.size(), 1u);
    EXPECT_FALSE(scripted.scripting.permissionChecks[0].askUserIfNeeded);

    EXPECT_EQ(permissions.requestPermission(PermissionKind::automationLogic), PermissionStatus::granted);
    ASSERT_EQ(scripted.scripting.permissionChecks.size(), 2u);
    EXPECT_TRUE(scripted.scripting.permissionChecks[1].askUserIfNeeded);
    EXPECT_TRUE(capture.contains("requested Automation for com.apple.logic10 → granted", "helper.permissions"));
}

TEST_F(PermissionsTest, AccessibilityIsRequestedWithAPromptThenReadWithout)
{
    struct Row {
        bool trusted;
        PermissionStatus status;
        const char* line;
    };
    const Row rows[] = {
        { true, PermissionStatus::granted, "requested Accessibility → granted" },
        { false, PermissionStatus::denied, "requested Accessibility → denied" },
    };
    for (const Row& row : rows) {
        test::ScriptedPlatform platform;
        platform.accessibility.setTrusted(row.trusted);
        Permissions checks(platform.platform);
        EXPECT_EQ(checks.requestPermission(PermissionKind::accessibility), row.status);
        EXPECT_EQ(platform.accessibility.trustChecks(), (std::vector<bool> { true, false }));
        EXPECT_TRUE(capture.contains(row.line, "helper.permissions"));
        EXPECT_EQ(checks.status(PermissionKind::accessibility), row.status);
    }
}

TEST_F(PermissionsTest, EachKindHasItsTarget)
{
    EXPECT_EQ(permissions.targetBundleIdentifier(PermissionKind::accessibility), std::nullopt);
    EXPECT_EQ(permissions.targetBundleIdentifier(PermissionKind::automationSystemEvents), kSystemEvents);
    // Logic: the running one's identifier, "com.apple.logic10" first, else the default.
    EXPECT_EQ(permissions.targetBundleIdentifier(PermissionKind::automationLogic), "com.apple.logic10");
    scripted.workspace.addRunningApplication(runningApplication("com.apple.mobilelogic", 401));
    EXPECT_EQ(permissions.targetBundleIdentifier(PermissionKind::automationLogic), "com.apple.mobilelogic");
    scripted.workspace.addRunningApplication(runningApplication("com.apple.logic10", 402));
    EXPECT_EQ(permissions.targetBundleIdentifier(PermissionKind::automationLogic), "com.apple.logic10");
}

TEST_F(PermissionsTest, EachKindOpensItsSettingsPane)
{
    for (auto kind : kAllPermissionKinds)
        EXPECT_TRUE(permissions.openSettingsPane(kind));
    auto opened = scripted.workspace.openedURLs();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0].absoluteString(), "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    EXPECT_EQ(opened[1].absoluteString(), "x-apple.systempreferences:com.apple.preference.security?Privacy_Automation");
    EXPECT_EQ(opened[2], opened[1]);
    // Made once: the same object on every call.
    EXPECT_EQ(&accessibilitySettingsURL(), &accessibilitySettingsURL());
}

} // namespace
} // namespace mq::permissions
