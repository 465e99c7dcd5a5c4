// The service's permission requests in process, over the scripted platform: the
// four flags and their log line, the prompts of prime with the activation policy,
// the two settings panes, and the relaunch that replies first.
#include "app/MQHelperService.h"
#include "app/ipc/server/Reply.h"
#include "platform/Log.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using platform::osstatus::errAEEventNotPermitted;
using platform::osstatus::errAEEventWouldRequireUserConsent;
using platform::osstatus::noErr;

/// The values of one reply, or nothing when none came within 10 s.
template<typename... Values>
struct AwaitedReply {
    std::shared_ptr<std::promise<std::tuple<Values...>>> promise = std::make_shared<std::promise<std::tuple<Values...>>>();
    std::future<std::tuple<Values...>> future = promise->get_future();

    Reply<void(Values...)> reply()
    {
        return Reply<void(Values...)>("test", [promise = promise](Values... values) { promise->set_value({ values... }); });
    }
    std::optional<std::tuple<Values...>> get()
    {
        if (future.wait_for(10s) != std::future_status::ready)
            return std::nullopt;
        return future.get();
    }
};

class PermissionService : public ::testing::Test {
protected:
    PermissionService()
    {
        platform::RunningApplication systemEvents;
        systemEvents.bundleIdentifier = "com.apple.systemevents";
        systemEvents.pid = 300;
        scripted.workspace.addRunningApplication(systemEvents);
    }
    ~PermissionService() override
    {
        service.reset();
        loop.stop();
        loopThread.join();
        EXPECT_EQ(replyFaultCount(), faultsBefore);
    }

    std::optional<std::tuple<bool, bool, bool, bool>> status()
    {
        AwaitedReply<bool, bool, bool, bool> awaited;
        service->permissionsStatusWithReply(awaited.reply());
        return awaited.get();
    }

    log::LogCapture capture;
    test::ScriptedPlatform scripted;
    RunLoop loop;
    std::thread loopThread { [this] { loop.run(); } };
    ConcurrentDispatchQueue userInitiated { "com.apple.root.user-initiated-qos", 2 };
    std::atomic<int> exits { 0 };
    std::shared_ptr<MQHelperService> service = std::make_shared<MQHelperService>(
        ServiceEnvironment { loop, userInitiated, scripted.platform, [this] { ++exits; } });
    std::uint64_t faultsBefore = replyFaultCount();
};

TEST_F(PermissionService, StatusRepliesTheThreeFlagsAndWhetherAllAreGranted)
{
    struct Row {
        bool trusted;
        std::int32_t logic;
        std::int32_t systemEvents;
        std::tuple<bool, bool, bool, bool> reply;
        const char* line;
    };
    const Row rows[] = {
        { true, noErr, noErr, { true, true, true, true }, "permissionsStatus: ax=true logic=true se=true" },
        { false, noErr, noErr, { false, true, true, false }, "permissionsStatus: ax=false logic=true se=true" },
        { true, errAEEventWouldRequireUserConsent, noErr, { true, false, true, false }, "permissionsStatus: ax=true logic=false se=true" },
        { true, noErr, errAEEventNotPermitted, { true, true, false, false }, "permissionsStatus: ax=true logic=true se=false" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        scripted.accessibility.setTrusted(row.trusted);
        scripted.scripting.permissionStatusByTarget = { { "com.apple.logic10", row.logic }, { "com.apple.systemevents", row.systemEvents } };
        EXPECT_EQ(status(), row.reply);
        EXPECT_EQ(capture.count(row.line, "helper.service"), 1u);
    }
    // A status request never prompts.
    for (const auto& check : scripted.scripting.permissionChecks)
        EXPECT_FALSE(check.askUserIfNeeded);
    EXPECT_EQ(scripted.accessibility.trustChecks(), std::vector<bool>(4, false));
}

TEST_F(PermissionService, PrimeBecomesAnAccessoryComesForwardAndAsksForBothTargetsInOrder)
{
    scripted.scripting.permissionStatus = errAEEventWouldRequireUserConsent;
    scripted.scripting.permissionStatusAfterPrompt = { { "com.apple.logic10", noErr }, { "com.apple.systemevents", errAEEventNotPermitted } };
    AwaitedReply<> awaited;
    service->primeAutomationPromptsWithReply(awaited.reply());
    ASSERT_TRUE(awaited.get());

    EXPECT_EQ(scripted.workspace.activationPolicies(), std::vector { platform::ActivationPolicy::accessory });
    EXPECT_EQ(scripted.workspace.activations(), 1);
    EXPECT_TRUE(capture.contains("primeAutomationPrompts: firing Logic + System Events consent prompts", "helper.service"));
    const auto& checks = scripted.scripting.permissionChecks;
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0].bundleIdentifier, "com.apple.logic10");
    EXPECT_EQ(checks[1].bundleIdentifier, "com.apple.systemevents");
    EXPECT_TRUE(checks[0].askUserIfNeeded && checks[1].askUserIfNeeded);
    EXPECT_TRUE(capture.contains("requested Automation for com.apple.logic10 → granted", "helper.permissions"));
    EXPECT_TRUE(capture.contains("requested Automation for com.apple.systemevents → denied", "helper.permissions"));
    EXPECT_EQ(status(), std::make_tuple(true, true, false, false));
}

TEST_F(PermissionService, TheSettingsRequestsOpenTheirPanesAndNeitherAsksNorChangesThePolicy)
{
    AwaitedReply<> accessibility;
    service->openAccessibilitySettingsWithReply(accessibility.reply());
    ASSERT_TRUE(accessibility.get());
    AwaitedReply<> automation;
    service->openAutomationSettingsWithReply(automation.reply());
    ASSERT_TRUE(automation.get());

    auto opened = scripted.workspace.openedURLs();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].absoluteString(), "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    EXPECT_EQ(opened[1].absoluteString(), "x-apple.systempreferences:com.apple.preference.security?Privacy_Automation");
    EXPECT_TRUE(capture.contains("openAccessibilitySettings: opening System Settings → Accessibility", "helper.service"));
    EXPECT_TRUE(capture.contains("openAutomationSettings: opening System Settings → Automation", "helper.service"));
    EXPECT_TRUE(scripted.workspace.activationPolicies().empty());
    EXPECT_TRUE(scripted.scripting.permissionChecks.empty());
    EXPECT_TRUE(scripted.accessibility.trustChecks().empty());
}

TEST_F(PermissionService, RelaunchRepliesFirstAndEndsTheProcessATenthOfASecondLater)
{
    AwaitedReply<> awaited;
    auto asked = std::chrono::steady_clock::now();
    service->recheckPermissionsBouncingWithReply(awaited.reply());
    // The reply is sent before the request returns, on the delivering thread.
    ASSERT_EQ(awaited.future.wait_for(0s), std::future_status::ready);
    EXPECT_EQ(exits.load(), 0);
    EXPECT_TRUE(capture.contains("recheckPermissionsBouncing: replying then exiting for a clean relaunch", "helper.service"));
    test::eventually([&] { return exits.load() > 0; }, 5s);
    EXPECT_EQ(exits.load(), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 100ms);
}

TEST_F(PermissionService, RequestsOfAServiceGoneBeforeTheirJobsRanStillReply)
{
    // The main queue is held while the requests arrive and the service goes away:
    // their jobs find no service and answer what a service that can do nothing would.
    std::promise<void> held;
    std::promise<void> release;
    loop.async([&] {
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    AwaitedReply<bool, bool, bool, bool> status;
    service->permissionsStatusWithReply(status.reply());
    AwaitedReply<> prime;
    service->primeAutomationPromptsWithReply(prime.reply());
    AwaitedReply<> pane;
    service->openAutomationSettingsWithReply(pane.reply());
    service.reset();
    release.set_value();
    EXPECT_EQ(status.get(), std::make_tuple(false, false, false, false));
    EXPECT_TRUE(prime.get());
    EXPECT_TRUE(pane.get());
    EXPECT_TRUE(scripted.scripting.permissionChecks.empty()) << "a gone service asked the system";
    EXPECT_TRUE(scripted.workspace.activationPolicies().empty());
    EXPECT_TRUE(scripted.workspace.openedURLs().empty());
}

} // namespace
} // namespace mq
