// Workspace, desktop, scripting and the control command line.
#include "tests/sim/LogicSimFixture.h"

#include "platform/Dispatch.h"

namespace mq::test {
namespace {

using namespace platform;

class Desktop : public LogicSimTest { };

TEST_F(Desktop, SessionScreensAndPasteboard)
{
    auto session = m_backend->sessionDictionary();
    ASSERT_TRUE(session);
    ASSERT_TRUE(lookup(*session, "CGSSessionScreenIsLocked"));
    EXPECT_EQ(*lookup(*session, "CGSSessionScreenIsLocked"), CFValue(false));
    ctl("set-session", { { "session", { { "CGSSessionScreenIsLocked", true } } } });
    EXPECT_EQ(*lookup(*m_backend->sessionDictionary(), "CGSSessionScreenIsLocked"), CFValue(true));
    ctl("set-session", { { "session", nullptr } });
    EXPECT_FALSE(m_backend->sessionDictionary());

    auto screens = m_backend->screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].frame, (CGRect { { 0, 0 }, { 1920, 1080 } }));
    EXPECT_EQ(screens[0].visibleFrame.size.height, 1055);

    std::string binary("a\0\xff/path", 8);
    m_backend->setPasteboardItems({ PasteboardItem { { { "public.utf8-plain-text", "/Movies/Cut 3.mov" }, { "x.binary", binary } } } });
    auto items = m_backend->pasteboardItems();
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(items[0].representations.size(), 2u);
    EXPECT_EQ(items[0].representations[0].second, "/Movies/Cut 3.mov");
    EXPECT_EQ(items[0].representations[1].second, binary);
}

TEST_F(Desktop, NotificationsReachObserversOnTheirQueue)
{
    SerialDispatchQueue queue("notifications");
    std::mutex mutex;
    std::condition_variable changed;
    int locked = 0, slept = 0;
    auto t1 = m_backend->addObserver(NotificationCenterKind::distributed, notifications::screenIsLocked, queue, [&] {
        EXPECT_TRUE(queue.isCurrent());
        std::lock_guard lock(mutex);
        ++locked;
        changed.notify_all();
    });
    auto t2 = m_backend->addObserver(NotificationCenterKind::workspace, notifications::willSleep, queue, [&] {
        std::lock_guard lock(mutex);
        ++slept;
        changed.notify_all();
    });
    m_backend->runningApplications(); // connect, so that pushed notifications have somewhere to go
    ctl("notify", { { "center", "distributed" }, { "name", notifications::screenIsLocked } });
    ctl("notify", { { "center", "workspace" }, { "name", notifications::screenIsLocked } }); // wrong center: not heard
    ctl("notify", { { "center", "workspace" }, { "name", notifications::willSleep } });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 2s, [&] { return locked == 1 && slept == 1; }));
    }
    m_backend->removeObserver(t1);
    m_backend->removeObserver(t2);
    ctl("notify", { { "center", "distributed" }, { "name", notifications::screenIsLocked } });
    m_backend->runningApplications(); // a round trip after the notification was pushed
    queue.close();
    std::lock_guard lock(mutex);
    EXPECT_EQ(locked, 1);
}

TEST_F(Desktop, ScriptsAreRecorded)
{
    auto result = m_backend->runAppleScript("tell application \"System Events\"\n    tell process \"Logic Pro\"\n        key code 53\n    end tell\nend tell");
    EXPECT_TRUE(result.compiled);
    EXPECT_FALSE(result.errorInfo);
    result = m_backend->runAppleScript("display dialog \"hello\"");
    EXPECT_FALSE(result.compiled);
    ASSERT_TRUE(result.errorInfo);
    EXPECT_TRUE(lookup(*result.errorInfo, "NSAppleScriptErrorMessage"));
    auto scripts = ctl("state")["scripts"];
    ASSERT_EQ(scripts.size(), 2u);
    EXPECT_NE(scripts[0]["source"].get<std::string>().find("key code 53"), std::string::npos);
    EXPECT_EQ(scripts[1]["result"], "compile error");
}

TEST_F(Desktop, AutomationPermissionStatesAndPrompt)
{
    auto any = fourCharCode("****");
    EXPECT_EQ(m_backend->determinePermissionToAutomateTarget("com.apple.logic10", any, any, false), osstatus::noErr);
    ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "denied" } });
    EXPECT_EQ(m_backend->determinePermissionToAutomateTarget("com.apple.logic10", any, any, true), osstatus::errAEEventNotPermitted);
    ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "ask" }, { "promptAnswer", "deny" } });
    EXPECT_EQ(m_backend->determinePermissionToAutomateTarget("com.apple.logic10", any, any, false), osstatus::errAEEventWouldRequireUserConsent);
    EXPECT_EQ(m_backend->determinePermissionToAutomateTarget("com.apple.logic10", any, any, true), osstatus::errAEEventNotPermitted);
    EXPECT_EQ(m_backend->determinePermissionToAutomateTarget("com.apple.logic10", any, any, false), osstatus::errAEEventNotPermitted);
    EXPECT_EQ(m_backend->determinePermissionToAutomateTarget("com.example.absent", any, any, false), osstatus::procNotFound);
}

TEST_F(Desktop, OpenURLAndLaunchLogicAgain)
{
    EXPECT_TRUE(m_backend->openURL(*URL::parse("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility")));
    EXPECT_EQ(ctl("state")["openedURLs"][0], "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    ctl("quit", { { "app", "logic" } });
    auto url = m_backend->urlForApplication("com.apple.logic10");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->path(), "/Applications/Logic Pro.app");
    EXPECT_FALSE(m_backend->urlForApplication("com.example.nothing"));
    EXPECT_TRUE(m_backend->launchApplication(*url));
    EXPECT_GT(logicPid(), 0);
    EXPECT_FALSE(m_backend->launchApplication(*URL::parse("file:///Applications/Nothing.app")));
}

TEST_F(Desktop, ControlCommandLinePrintsStateAndReportsErrors)
{
    ChildProcess state({ MQ_LOGICSIM_PATH, "ctl", "state" }, { { "XDG_RUNTIME_DIR", m_dir.path() } });
    auto status = state.waitForExit(5s);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    ASSERT_TRUE(state.waitForOutputEnd(5s));
    std::string text;
    for (const auto& line : state.lines(ChildProcess::Stream::standardOutput))
        text += line + "\n";
    auto parsed = json::parse(text);
    EXPECT_EQ(parsed["applications"][1]["bundleIdentifier"], "com.apple.logic10");

    ChildProcess bad({ MQ_LOGICSIM_PATH, "ctl", "set-language", R"({"language":"xx"})" }, { { "XDG_RUNTIME_DIR", m_dir.path() } });
    status = bad.waitForExit(5s);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 1);
    EXPECT_TRUE(bad.waitForLine("unknown display language", 2s));
}

TEST_F(Desktop, DisplayLanguageAndPlayheadDriveTheSliders)
{
    ctl("set-language", { { "language", "de" } });
    EXPECT_EQ(readString(elementByKeyPath({ 0, kControlBar }), "AXDescription"), "Steuerungsleiste");
    EXPECT_EQ(readString(elementByKeyPath({ 0, kControlBar, 2, 0 }), "AXDescription"), "Stunden");
    ctl("set-playhead", { { "seconds", 3723.48 } });
    const char* expected[] = { "01", "02", "03", "12" };
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(readString(elementByKeyPath({ 0, kControlBar, 2, i }), "AXValueDescription"), expected[i]);
    ctl("set-display", { { "values", { "10", "20", "30", "40" } } });
    EXPECT_EQ(readString(elementByKeyPath({ 0, kControlBar, 2, 3 }), "AXValueDescription"), "40");
}

TEST_F(Desktop, LargeWindowHasTheAskedNumberOfElements)
{
    ctl("build-large-window", { { "elements", 500 }, { "fanout", 7 } });
    auto app = ax().createApplication(logicPid());
    CFValue windows;
    ASSERT_EQ(read(app, "AXWindows", windows), 0);
    std::vector<AXElementRef> stack { *windows.get<CFArray>()->back().get<AXElementRef>() };
    int visited = 0;
    while (!stack.empty()) {
        auto e = stack.back();
        stack.pop_back();
        ++visited;
        CFValue children;
        ASSERT_EQ(read(e, "AXChildren", children), 0);
        for (const auto& c : *children.get<CFArray>())
            stack.push_back(*c.get<AXElementRef>());
    }
    EXPECT_EQ(visited, 500);
}

TEST_F(Desktop, MalformedScenarioIsRefusedAndKeepsTheWorld)
{
    auto reply = ctlRaw("load", { { "scenario", { { "applications", { { { "key", "x" }, { "windows", { { { "role", 5 } } } } } } } } } });
    EXPECT_TRUE(reply.contains("error"));
    EXPECT_GT(logicPid(), 0);
    reply = ctlRaw("add-window", { { "window", { { "role", "AXWindow" }, { "defaultButton", "missing" } } } });
    EXPECT_TRUE(reply.contains("error"));
}

} // namespace
} // namespace mq::test
