// The permission requests through real processes: the marquee tool or the client
// library, marquee-helper, and logicsim answering as macOS would (per-target
// Automation answers, prompts that wait for the user, System Events starting after
// a while, the settings application, the helper's activation policy).
#include "permissions/Permissions.h"
#include "platform/linux/LogicSimPlatform.h"
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::HelperHarness;
using Flags = std::tuple<bool, bool, bool, bool>;

std::optional<Flags> status(HelperHarness& harness)
{
    auto connection = harness.connect();
    auto result = connection->permissionsStatusWithReply({}, 20s);
    EXPECT_TRUE(result.hasValue()) << (result.hasValue() ? "" : result.error().message);
    if (!result.hasValue())
        return std::nullopt;
    return result.value();
}

/// The events logicsim logged of `type`.
std::vector<json> events(HelperHarness& harness, const std::string& type)
{
    std::vector<json> found;
    json state = harness.logicSim().state();
    for (const auto& event : state["events"])
        if (event.value("type", "") == type)
            found.push_back(event);
    return found;
}

/// How many of the helper's lines contain `text`, once one has arrived (bounded):
/// a line is written before the reply but read from the helper's pipe afterwards.
std::size_t loggedLines(HelperHarness& harness, const std::string& text)
{
    harness.helper().waitForLine(text, 5s);
    return harness.countLogLines(text);
}

/// Waits (bounded) until at least `count` of the helper's lines contain `text`.
bool waitForLogLines(HelperHarness& harness, const std::string& text, std::size_t count)
{
    return test::eventually([&] { return harness.countLogLines(text) >= count; }, 5s, 10ms);
}

const json* application(const json& state, const std::string& key)
{
    for (const auto& app : state["applications"])
        if (app.value("key", "") == key)
            return &app;
    return nullptr;
}

TEST(PermissionsEndToEnd, SystemEventsNotRunningIsStartedQuietlyAndAnsweredOnceItRuns)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    harness.logicSim().ctl("quit", { { "app", "system-events" } });
    harness.logicSim().ctl("set-app", { { "app", "system-events" }, { "launchDelaySeconds", 0.4 } });

    auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(status(harness), Flags(true, true, true, true));
    auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_GE(took, 400ms);

    auto state = harness.logicSim().state();
    const json* systemEvents = application(state, "system-events");
    ASSERT_TRUE(systemEvents);
    EXPECT_TRUE(systemEvents->value("running", false));
    EXPECT_EQ(state["frontmost"], "logic") << "System Events came to the front";
    auto opened = events(harness, "openApplication");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]["app"], "system-events");
    EXPECT_EQ(opened[0]["activates"], false);
    EXPECT_EQ(opened[0]["addsToRecentItems"], false);
    EXPECT_EQ(opened[0]["createsNewApplicationInstance"], false);
    ASSERT_EQ(loggedLines(harness, "permissionsStatus: ax=true logic=true se=true"), 1u);
    EXPECT_EQ(harness.countLogLines("did not start within"), 0u);
}

TEST(PermissionsEndToEnd, SystemEventsThatTakesTooLongIsGivenUpAfterOneAndAHalfSeconds)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    harness.logicSim().ctl("quit", { { "app", "system-events" } });
    harness.logicSim().ctl("set-app", { { "app", "system-events" }, { "launchDelaySeconds", 5.0 } });

    auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(status(harness), Flags(true, true, false, false));
    auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, 5s);
    EXPECT_EQ(loggedLines(harness, "ensureTargetRunning: com.apple.systemevents did not start within 1.500000s"), 1u);
}

TEST(PermissionsEndToEnd, ATargetNeverAskedIsUndeterminedWithoutAPromptAndPromptedByPrime)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    harness.logicSim().ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "ask" } });
    harness.logicSim().ctl("set-automation", { { "promptAnswer", "allow" } });

    EXPECT_EQ(status(harness), Flags(true, false, true, false));
    EXPECT_TRUE(events(harness, "automationPrompt").empty()) << "a status request prompted";
    EXPECT_TRUE(waitForLogLines(harness, "permissionsStatus: ax=true logic=false se=true", 1));

    auto connection = harness.connect();
    ASSERT_TRUE(connection->primeAutomationPromptsWithReply({}, 20s).hasValue());
    auto prompts = events(harness, "automationPrompt");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0]["target"], "com.apple.logic10");
    EXPECT_EQ(loggedLines(harness, "requested Automation for com.apple.logic10 → granted"), 1u);
    EXPECT_EQ(status(harness), Flags(true, true, true, true));
}

TEST(PermissionsEndToEnd, PrimeBlocksOnEachPromptUntilTheUserAnswers)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    for (const char* target : { "com.apple.logic10", "com.apple.systemevents" })
        harness.logicSim().ctl("set-automation", { { "bundleIdentifier", target }, { "state", "ask" } });
    harness.logicSim().ctl("set-automation", { { "promptAnswer", "wait" } });

    auto connection = harness.connect();
    std::promise<bool> replied;
    auto reply = replied.get_future();
    connection->primeAutomationPromptsWithReplyAsync({}, [&replied](auto result) { replied.set_value(result.hasValue()); });

    auto waitForPrompt = [&](const std::string& target) {
        return test::eventually([&] {
            auto pending = harness.logicSim().state()["pendingPrompts"];
            return pending.size() == 1 && pending[0] == target;
        }, 10s, 20ms);
    };
    ASSERT_TRUE(waitForPrompt("com.apple.logic10"));
    EXPECT_EQ(reply.wait_for(300ms), std::future_status::timeout) << "prime replied while its prompt was shown";
    harness.logicSim().ctl("answer-prompt", { { "answer", "allow" } });
    ASSERT_TRUE(waitForPrompt("com.apple.systemevents"));
    EXPECT_EQ(reply.wait_for(300ms), std::future_status::timeout);
    harness.logicSim().ctl("answer-prompt", { { "answer", "deny" } });
    ASSERT_EQ(reply.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(reply.get());

    // The helper made itself an accessory application and came forward before asking.
    auto clients = harness.logicSim().state()["helperClients"];
    ASSERT_TRUE(clients.contains(std::to_string(harness.helper().pid()))) << clients.dump();
    auto helper = clients[std::to_string(harness.helper().pid())];
    EXPECT_EQ(helper["activationPolicy"], "accessory");
    EXPECT_EQ(helper["activations"], 1);
    EXPECT_EQ(loggedLines(harness, "primeAutomationPrompts: firing Logic + System Events consent prompts"), 1u);
    EXPECT_EQ(loggedLines(harness, "requested Automation for com.apple.logic10 → granted"), 1u);
    EXPECT_EQ(loggedLines(harness, "requested Automation for com.apple.systemevents → denied"), 1u);
    EXPECT_EQ(status(harness), Flags(true, true, false, false));
}

TEST(PermissionsEndToEnd, EachAnswerOfTheSystemIsMappedAndOnlyUnexpectedOnesAreLogged)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    struct Row {
        json state;
        bool granted;
        std::size_t errorLines;
    };
    const Row rows[] = {
        { "allowed", true, 0 },
        { "denied", false, 0 }, // -1743
        { "ask", false, 0 }, // -1744
        { -1743, false, 0 },
        { -1744, false, 0 },
        { 0, true, 0 },
        { -1712, false, 1 },
        { 1234, false, 1 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state.dump());
        harness.logicSim().ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", row.state } });
        auto before = harness.countLogLines("AEDeterminePermissionToAutomateTarget(com.apple.logic10) returned");
        auto statusLines = harness.countLogLines("permissionsStatus: ");
        auto flags = status(harness);
        ASSERT_TRUE(flags);
        EXPECT_EQ(std::get<1>(*flags), row.granted);
        // The status line comes after the checks' lines: once it is read, so are they.
        ASSERT_TRUE(waitForLogLines(harness, "permissionsStatus: ", statusLines + 1));
        EXPECT_EQ(harness.countLogLines("AEDeterminePermissionToAutomateTarget(com.apple.logic10) returned") - before, row.errorLines);
    }
    EXPECT_EQ(loggedLines(harness, "AEDeterminePermissionToAutomateTarget(com.apple.logic10) returned 1234"), 1u);
    // Logic not running: -600, undetermined, nothing logged.
    harness.logicSim().ctl("quit", { { "app", "logic" } });
    auto before = harness.countLogLines("] error: ");
    auto statusLines = harness.countLogLines("permissionsStatus: ");
    EXPECT_EQ(status(harness), Flags(true, false, true, false));
    ASSERT_TRUE(waitForLogLines(harness, "permissionsStatus: ", statusLines + 1));
    EXPECT_EQ(harness.countLogLines("] error: "), before);
}

TEST(PermissionsEndToEnd, MarqueePermissionsTellsTheTruthAboutAccessibility)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    for (bool trusted : { true, false }) {
        harness.logicSim().ctl("set-trust", { { "trusted", trusted } });
        test::ChildProcess tool({ test::marqueeExecutablePath(), "permissions" }, harness.environment());
        auto exit = tool.waitForExit(20s);
        ASSERT_TRUE(exit && WIFEXITED(*exit));
        EXPECT_EQ(WEXITSTATUS(*exit), 0);
        tool.waitForOutputEnd(2s);
        EXPECT_TRUE(tool.hasLine(trusted ? "accessibility: true" : "accessibility: false")) << trusted;
    }
    EXPECT_EQ(harness.logicSim().state()["accessibility"]["prompts"].size(), 0u) << "a status request prompted";
}

TEST(PermissionsEndToEnd, OpenSettingsShowsThePaneWithoutAskingOrChangingThePolicy)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    struct Row {
        const char* pane;
        const char* address;
    };
    const Row rows[] = {
        { "accessibility", "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility" },
        { "automation", "x-apple.systempreferences:com.apple.preference.security?Privacy_Automation" },
    };
    for (const Row& row : rows) {
        test::ChildProcess tool({ test::marqueeExecutablePath(), "permissions", "--open", row.pane }, harness.environment());
        auto exit = tool.waitForExit(20s);
        ASSERT_TRUE(exit && WIFEXITED(*exit));
        EXPECT_EQ(WEXITSTATUS(*exit), 0);
        auto settings = harness.logicSim().state()["settings"];
        EXPECT_EQ(settings["running"], true);
        EXPECT_EQ(settings["pane"], row.address);
    }
    EXPECT_TRUE(events(harness, "automationPrompt").empty());
    EXPECT_TRUE(harness.logicSim().state()["helperClients"].empty());
}

TEST(PermissionsEndToEnd, RelaunchRepliesThenTheHelperEndsWithStatusZero)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    auto connection = harness.connect();
    ASSERT_TRUE(connection->recheckPermissionsBouncingWithReply({}, 10s).hasValue());
    auto replied = std::chrono::steady_clock::now();
    auto exit = harness.helper().waitForExit(10s);
    ASSERT_TRUE(exit);
    EXPECT_GE(std::chrono::steady_clock::now() - replied, 50ms) << "ended well before 0.1 s";
    ASSERT_TRUE(WIFEXITED(*exit));
    EXPECT_EQ(WEXITSTATUS(*exit), 0);
    EXPECT_EQ(loggedLines(harness, "recheckPermissionsBouncing: replying then exiting for a clean relaunch"), 1u);
}

TEST(PermissionsEndToEnd, MarqueePrimesThenShowsTheStateAndRelaunchWaitsForTheHelperToEnd)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    harness.logicSim().ctl("set-automation", { { "bundleIdentifier", "com.apple.systemevents" }, { "state", "ask" } });
    harness.logicSim().ctl("set-automation", { { "promptAnswer", "allow" } });
    struct Row {
        std::vector<std::string> arguments;
        const char* line;
    };
    const Row rows[] = {
        { { "permissions", "--prime" }, "automationSystemEvents: true" },
        { { "relaunch" }, "exited: true" },
    };
    for (const Row& row : rows) {
        std::vector<std::string> argv { test::marqueeExecutablePath() };
        argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
        test::ChildProcess tool(argv, harness.environment());
        auto exit = tool.waitForExit(20s);
        ASSERT_TRUE(exit && WIFEXITED(*exit)) << row.arguments[0];
        EXPECT_EQ(WEXITSTATUS(*exit), 0) << row.arguments[0];
        tool.waitForOutputEnd(2s);
        EXPECT_TRUE(tool.hasLine(row.line)) << row.arguments[0];
    }
    EXPECT_EQ(events(harness, "automationPrompt").size(), 1u);
    auto helperExit = harness.helper().waitForExit(5s);
    ASSERT_TRUE(helperExit && WIFEXITED(*helperExit));
    EXPECT_EQ(WEXITSTATUS(*helperExit), 0);
}

TEST(PermissionsEndToEnd, AccessibilityRequestedWhileTrustedIsGrantedWithoutAPrompt)
{
    // The checks themselves, in this process, against a real logicsim.
    test::TempRuntimeDir runtime;
    test::LogicSimProcess logicsim(runtime);
    platform::LogicSimOptions options;
    options.socketPath = logicsim.socketPath();
    for (bool trusted : { true, false }) {
        logicsim.ctl("set-trust", { { "trusted", trusted } });
        platform::LogicSimPlatform desktop(options);
        auto seam = desktop.platform();
        log::LogCapture capture;
        permissions::Permissions checks(seam);
        auto expected = trusted ? permissions::PermissionStatus::granted : permissions::PermissionStatus::denied;
        EXPECT_EQ(checks.requestPermission(permissions::PermissionKind::accessibility), expected);
        EXPECT_TRUE(capture.contains(trusted ? "requested Accessibility → granted" : "requested Accessibility → denied", "helper.permissions"));
        auto prompts = logicsim.state()["accessibility"]["prompts"];
        EXPECT_EQ(prompts.value(std::to_string(::getpid()), 0), trusted ? 0 : 1);
    }
}

} // namespace
} // namespace mq
