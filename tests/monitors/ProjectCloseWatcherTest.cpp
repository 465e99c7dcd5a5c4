// The project close watcher against a scripted Logic and desktop, with a clock
// the tests move, real watch files, and one run on the real timer and clock.
#include "client/ProjectWatchReader.h"
#include "monitors/ProjectCloseWatcher.h"
#include "tests/monitors/MonitorFixture.h"
#include "tests/support/ChildProcess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace mq {
namespace {

using monitors::testing::MonitorFixture;
using monitors::testing::startWatch;
using platform::AXElementRef;
using platform::NotificationCenterKind;
namespace names = platform::notifications;

constexpr const char* kWatch = "helper.projectclose";
constexpr const char* kFilm = "/Music/Film.logicx";

class ProjectCloseWatcherTest : public MonitorFixture {
public:
    /// A watcher on the test's clock whose timer never fires: checks are driven by hand.
    void makeWatcher()
    {
        ProjectCloseWatcher::Timing timing;
        timing.checkInterval = std::chrono::hours(1);
        timing.now = [this] { return m_epoch + std::chrono::milliseconds(m_elapsedMilliseconds.load()); };
        main.sync([&] { watcher = std::make_unique<ProjectCloseWatcher>(scripted.platform, main.loop, timing); });
    }
    void TearDown() override
    {
        main.sync([&] { watcher.reset(); });
        MonitorFixture::TearDown();
    }

    void advance(std::chrono::milliseconds by) { m_elapsedMilliseconds += by.count(); }
    bool start(const std::string& path)
    {
        return main.sync([&] { return startWatch(*watcher, path); });
    }
    void stop(const std::string& path)
    {
        main.sync([&] { watcher->stop(path); });
    }
    void checks(int count = 1)
    {
        main.sync([&] {
            for (int i = 0; i < count; ++i)
                watcher->check();
        });
    }
    /// Posts a notification and waits until the main loop has delivered it.
    void post(NotificationCenterKind center, const char* name)
    {
        scripted.workspace.post(center, name);
        main.sync([] {});
    }
    std::int64_t streakOf(const std::string& path)
    {
        return main.sync([&] { return watcher->target(path) ? watcher->target(path)->closedStreak : -1; });
    }
    bool flaggedInFile(const std::string& path)
    {
        auto opened = client::ProjectWatchReader::open(path);
        EXPECT_TRUE(std::holds_alternative<client::ProjectWatchReader>(opened));
        return std::get<client::ProjectWatchReader>(opened).isProjectClosed();
    }

    /// Logic with the saved project kFilm in front.
    AXElementRef openFilm()
    {
        scene.startLogic();
        AXElementRef window = scene.addWindow("Film", std::string(kFilm));
        scene.setMainWindow(window);
        return window;
    }

    std::unique_ptr<ProjectCloseWatcher> watcher;

private:
    ProjectCloseWatcher::Clock::time_point m_epoch { ProjectCloseWatcher::Clock::now() };
    std::atomic<std::int64_t> m_elapsedMilliseconds { 0 };
};

TEST_F(ProjectCloseWatcherTest, AProjectSeenClosedTwiceIsFlagged)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    EXPECT_TRUE(start(path));
    EXPECT_EQ(levelOf("watch start: project /Music/Film.logicx; 1 target(s)", kWatch), log::Level::info);
    EXPECT_TRUE(main.sync([&] { return watcher->isWatching(); }));
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 64);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    checks(3);
    EXPECT_FALSE(flaggedInFile(path));
    scene.closeWindow(window);
    checks();
    EXPECT_EQ(streakOf(path), 1);
    EXPECT_FALSE(flaggedInFile(path));
    checks();
    EXPECT_TRUE(flaggedInFile(path));
    EXPECT_EQ(levelOf("project closed → flagged /Music/Film.logicx", kWatch), log::Level::info);
    EXPECT_TRUE(main.sync([&] { return watcher->target(path)->flagged; }));
    checks(3);
    EXPECT_EQ(capture.count("project closed", kWatch), 1u) << "a flagged target is not checked again";
}

TEST_F(ProjectCloseWatcherTest, TheBindingPrefersMainThenFocusedThenListedWindows)
{
    scene.startLogic();
    AXElementRef untitled = scene.addWindow("Untitled");
    AXElementRef other = scene.addWindow("Other", std::string("file:///Music/Other.logicx/"));
    AXElementRef film = scene.addWindow("Film", std::string("/Music/./Cues/../Film.logicx"));
    scripted.accessibility.setAttribute(scene.application, "AXMainWindow", untitled);
    scripted.accessibility.setAttribute(scene.application, "AXFocusedWindow", film);
    makeWatcher();
    ASSERT_TRUE(start(files.file("w")));
    EXPECT_EQ(levelOf("watch start: project /Music/Film.logicx; 1 target(s)", kWatch), log::Level::info);
    EXPECT_EQ(main.sync([&] { return watcher->target(files.file("w"))->windowElement->element(); }), film);
    (void)other;
}

struct DocumentRow {
    const char* name;
    std::optional<std::string> document;
    std::optional<std::string> path;
};

class DocumentPath : public ProjectCloseWatcherTest, public ::testing::WithParamInterface<DocumentRow> {};

TEST_P(DocumentPath, IsAFileURLOrAnAbsolutePath)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("w", GetParam().document);
    EXPECT_EQ(ProjectCloseWatcher::documentPath(ax::UIElement(scripted.accessibility, window)), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Cases, DocumentPath,
    ::testing::Values(DocumentRow { "FileURL", "file:///Users/ann/Film%20Score.logicx/", "/Users/ann/Film Score.logicx" },
        DocumentRow { "AbsolutePath", "/Users/ann/a/../Film.logicx", "/Users/ann/Film.logicx" },
        DocumentRow { "WebURL", "https://example.com/Film.logicx", std::nullopt },
        DocumentRow { "RelativePath", "Film.logicx", std::nullopt }, DocumentRow { "Empty", "", std::nullopt },
        DocumentRow { "Missing", std::nullopt, std::nullopt }),
    [](const auto& info) { return info.param.name; });

TEST_F(ProjectCloseWatcherTest, ClosedAndReopenedWithinOneCheckIsNeverFlagged)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    checks();
    for (int round = 0; round < 5; ++round) {
        scene.closeWindow(window);
        window = scene.addWindow("Film", std::string("file://" + std::string(kFilm)));
        scene.setMainWindow(window);
        checks();
        EXPECT_EQ(streakOf(path), 0);
        EXPECT_EQ(main.sync([&] { return watcher->target(path)->windowElement->element(); }), window) << "the new window takes the binding over";
    }
    // Closed across one check and reopened before the next: streak 1, then 0.
    scene.closeWindow(window);
    checks();
    EXPECT_EQ(streakOf(path), 1);
    scene.setMainWindow(scene.addWindow("Film", std::string(kFilm)));
    checks();
    EXPECT_EQ(streakOf(path), 0);
    checks(3);
    EXPECT_FALSE(flaggedInFile(path));
}

TEST_F(ProjectCloseWatcherTest, SaveAsFollowsTheWindowToItsNewPath)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    scripted.accessibility.setAttribute(window, "AXDocument", std::string("file:///Music/Film%20v2.logicx"));
    checks(3);
    EXPECT_EQ(levelOf("project renamed (Save As) → /Music/Film v2.logicx", kWatch), log::Level::info);
    EXPECT_EQ(capture.count("project renamed", kWatch), 1u);
    EXPECT_FALSE(flaggedInFile(path));

    // The old file opened elsewhere does not hold the watch; the new one does.
    scene.closeWindow(window);
    scene.addWindow("Film", std::string(kFilm));
    checks(2);
    EXPECT_TRUE(flaggedInFile(path));
    EXPECT_EQ(levelOf("project closed → flagged /Music/Film v2.logicx", kWatch), log::Level::info);
}

TEST_F(ProjectCloseWatcherTest, AnUnreadableDocumentOfTheBoundWindowCountsAsOpen)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    scripted.accessibility.failCall(test::AXCall::copyAttributeValue, -25204, window, std::string("AXDocument"));
    checks(4);
    EXPECT_EQ(streakOf(path), 0);
    EXPECT_FALSE(flaggedInFile(path));
}

struct UntitledRow {
    const char* name;
    bool keepMainWindow;
    bool keepOtherDocument;
    bool flagged;
};

class LastProjectRule : public ProjectCloseWatcherTest, public ::testing::WithParamInterface<UntitledRow> {};

TEST_P(LastProjectRule, FlagsOnlyWhenLogicShowsNoDocumentAndNoMainWindow)
{
    const UntitledRow& row = GetParam();
    scene.startLogic();
    AXElementRef untitled = scene.addWindow("Untitled");
    scene.setMainWindow(untitled);
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    EXPECT_EQ(levelOf("watch start: no saved project front (unsaved/untitled) — using last-project rule; 1 target(s)", kWatch),
        log::Level::notice);
    EXPECT_EQ(main.sync([&] { return watcher->target(path)->projectPath; }), std::nullopt);
    checks(3);
    ASSERT_FALSE(flaggedInFile(path));

    scene.closeWindow(untitled);
    if (row.keepMainWindow)
        scene.setMainWindow(scene.addWindow("Untitled 2"));
    if (row.keepOtherDocument) {
        AXElementRef other = scene.addWindow("Other", std::string("/Music/Other.logicx"));
        (void)other;
    }
    checks(2);
    EXPECT_EQ(flaggedInFile(path), row.flagged);
    if (row.flagged) {
        EXPECT_EQ(levelOf("project closed → flagged <unsaved>", kWatch), log::Level::info);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LastProjectRule,
    ::testing::Values(UntitledRow { "NothingLeft", false, false, true }, UntitledRow { "AnotherMainWindow", true, false, false },
        UntitledRow { "ADocumentWindowWithoutMain", false, true, false }),
    [](const auto& info) { return info.param.name; });

struct HiddenRow {
    const char* name;
    std::optional<std::string> document;
};

class HiddenLogic : public ProjectCloseWatcherTest, public ::testing::WithParamInterface<HiddenRow> {};

// A hidden Logic lists no windows and no main window, as one whose project closed
// does; only its hidden state tells them apart. Hidden for three seconds' worth
// of checks: nothing flagged. Its project closed while hidden, shown again: flagged.
TEST_P(HiddenLogic, IsNotAClosedProjectButAClosedDocumentStillIs)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("Film", GetParam().document);
    scene.setMainWindow(window);
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    checks();

    scripted.accessibility.setAttribute(scene.application, "AXHidden", true);
    scene.hideWindow(window);
    checks(6);
    EXPECT_EQ(streakOf(path), 0);
    EXPECT_FALSE(flaggedInFile(path));

    scene.closeWindow(window);
    scripted.accessibility.setAttribute(scene.application, "AXHidden", false);
    checks(2);
    EXPECT_TRUE(flaggedInFile(path));
}

INSTANTIATE_TEST_SUITE_P(Cases, HiddenLogic,
    ::testing::Values(HiddenRow { "SavedProject", std::string(kFilm) }, HiddenRow { "Untitled", std::nullopt }),
    [](const auto& info) { return info.param.name; });

TEST_F(ProjectCloseWatcherTest, QuittingLogicFlagsNothing)
{
    openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    checks();
    scene.quitLogic();
    checks(10);
    EXPECT_FALSE(flaggedInFile(path));
    EXPECT_EQ(streakOf(path), 0);
}

TEST_F(ProjectCloseWatcherTest, UnreadableWindowsChangeNoTarget)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    scene.closeWindow(window);
    checks();
    ASSERT_EQ(streakOf(path), 1);
    scripted.accessibility.failCall(test::AXCall::copyAttributeValue, -25204, scene.application, std::string("AXWindows"));
    checks(5);
    EXPECT_EQ(streakOf(path), 1);
    EXPECT_FALSE(flaggedInFile(path));
}

TEST_F(ProjectCloseWatcherTest, ARestartRebindsButKeepsAWrittenFlag)
{
    AXElementRef film = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    scene.closeWindow(film);
    checks(2);
    ASSERT_TRUE(flaggedInFile(path));

    AXElementRef cue = scene.addWindow("Cue", std::string("/Music/Cue.logicx"));
    scene.setMainWindow(cue);
    ASSERT_TRUE(start(path));
    EXPECT_EQ(levelOf("watch start: project /Music/Cue.logicx; 1 target(s)", kWatch), log::Level::info);
    EXPECT_TRUE(flaggedInFile(path)) << "the helper never clears the flag";
    EXPECT_EQ(main.sync([&] { return watcher->target(path)->flagged; }), false);
    EXPECT_EQ(main.sync([&] { return watcher->target(path)->projectPath; }), std::optional<std::string>("/Music/Cue.logicx"));
    EXPECT_EQ(main.sync([&] { return watcher->targetCount(); }), 1u);
}

TEST_F(ProjectCloseWatcherTest, StopIsSilentForUnknownPathsAndTheLastStopEndsTheTimer)
{
    openFilm();
    makeWatcher();
    ASSERT_TRUE(start(files.file("a")));
    ASSERT_TRUE(start(files.file("b")));
    EXPECT_EQ(levelOf("watch start: project /Music/Film.logicx; 2 target(s)", kWatch), log::Level::info);
    std::size_t linesBefore = capture.lines().size();
    stop(files.file("never"));
    EXPECT_EQ(capture.lines().size(), linesBefore);
    stop(files.file("a"));
    EXPECT_EQ(levelOf("watch target removed; 1 remain", kWatch), log::Level::info);
    EXPECT_TRUE(main.sync([&] { return watcher->isWatching(); }));
    stop(files.file("b"));
    EXPECT_EQ(levelOf("watch stopped (no targets remain)", kWatch), log::Level::info);
    EXPECT_FALSE(main.sync([&] { return watcher->isWatching(); }));
}

TEST_F(ProjectCloseWatcherTest, ClosedWhileLockedIsFlaggedOnlyAfterTheGrace)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    post(NotificationCenterKind::distributed, names::screenIsLocked);
    EXPECT_EQ(levelOf("watch suspended: screenLocked", kWatch), log::Level::notice);
    scene.closeWindow(window);
    checks(10);
    EXPECT_FALSE(flaggedInFile(path));
    EXPECT_EQ(streakOf(path), 0);

    post(NotificationCenterKind::distributed, names::screenIsUnlocked);
    EXPECT_EQ(levelOf("watch resuming after screenLocked (grace 3.000000s)", kWatch), log::Level::notice);
    advance(std::chrono::milliseconds(2999));
    checks(4);
    EXPECT_FALSE(flaggedInFile(path)) << "not within 3 s of unlocking";
    advance(std::chrono::milliseconds(1));
    checks();
    EXPECT_EQ(streakOf(path), 1);
    EXPECT_FALSE(flaggedInFile(path));
    checks();
    EXPECT_TRUE(flaggedInFile(path));
}

struct ReasonRow {
    const char* name;
    NotificationCenterKind center;
    const char* suspendName;
    const char* resumeName;
    const char* raw;
};

class SuspensionObservers : public ProjectCloseWatcherTest, public ::testing::WithParamInterface<ReasonRow> {};

TEST_P(SuspensionObservers, SuspendAndResumeWithGrace)
{
    const ReasonRow& row = GetParam();
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    scene.closeWindow(window);
    checks();
    ASSERT_EQ(streakOf(path), 1);

    post(row.center, row.suspendName);
    EXPECT_EQ(streakOf(path), 0) << "a suspension resets the streak";
    post(row.center, row.suspendName);
    EXPECT_EQ(linesExactly(std::string("watch suspended: ") + row.raw, kWatch), 1u) << "logged once per reason";
    checks(3);
    EXPECT_FALSE(flaggedInFile(path));

    post(row.center, row.resumeName);
    post(row.center, row.resumeName); // Not suspended any more: nothing.
    EXPECT_EQ(linesExactly(std::string("watch resuming after ") + row.raw + " (grace 3.000000s)", kWatch), 1u);
    checks(3);
    EXPECT_FALSE(flaggedInFile(path));
    advance(std::chrono::seconds(3));
    checks(2);
    EXPECT_TRUE(flaggedInFile(path));
}

INSTANTIATE_TEST_SUITE_P(Reasons, SuspensionObservers,
    ::testing::Values(ReasonRow { "ScreenLocked", NotificationCenterKind::distributed, names::screenIsLocked, names::screenIsUnlocked, "screenLocked" },
        ReasonRow { "ScreensAsleep", NotificationCenterKind::workspace, names::screensDidSleep, names::screensDidWake, "screensAsleep" },
        ReasonRow { "SystemAsleep", NotificationCenterKind::workspace, names::willSleep, names::didWake, "systemAsleep" },
        ReasonRow { "SessionInactive", NotificationCenterKind::workspace, names::sessionDidResignActive, names::sessionDidBecomeActive,
            "sessionInactive" }),
    [](const auto& info) { return info.param.name; });

TEST_F(ProjectCloseWatcherTest, JudgingResumesOnlyWhenEveryReasonHasEnded)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    post(NotificationCenterKind::workspace, names::screensDidSleep);
    post(NotificationCenterKind::workspace, names::willSleep);
    scene.closeWindow(window);
    post(NotificationCenterKind::workspace, names::didWake);
    EXPECT_EQ(capture.count("watch resuming", kWatch), 0u);
    advance(std::chrono::seconds(10));
    checks(3);
    EXPECT_FALSE(flaggedInFile(path)) << "the screens still sleep";
    post(NotificationCenterKind::workspace, names::screensDidWake);
    EXPECT_EQ(levelOf("watch resuming after screensAsleep (grace 3.000000s)", kWatch), log::Level::notice);
    advance(std::chrono::seconds(3));
    checks(2);
    EXPECT_TRUE(flaggedInFile(path));
}

TEST_F(ProjectCloseWatcherTest, TheEightObserversAreRegisteredAndRemoved)
{
    makeWatcher();
    for (const char* name : { names::screenIsLocked, names::screensDidSleep, names::willSleep, names::sessionDidResignActive })
        post(name == names::screenIsLocked ? NotificationCenterKind::distributed : NotificationCenterKind::workspace, name);
    EXPECT_EQ(main.sync([&] { return watcher->suspendReasons().size(); }), 4u);
    // A lock posted to the workspace centre is not the distributed notification.
    post(NotificationCenterKind::workspace, names::screenIsUnlocked);
    EXPECT_EQ(main.sync([&] { return watcher->suspendReasons().size(); }), 4u);

    main.sync([&] { watcher.reset(); });
    post(NotificationCenterKind::distributed, names::screenIsUnlocked); // Nothing left to deliver to.
    EXPECT_EQ(capture.count("watch resuming", kWatch), 0u);
}

struct SessionRow {
    const char* name;
    std::optional<platform::CFDictionary> session;
    bool mayJudge;
};

class SessionDictionary : public ProjectCloseWatcherTest, public ::testing::WithParamInterface<SessionRow> {};

TEST_P(SessionDictionary, ForbidsJudgingWhenLockedOrOffTheConsole)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    scripted.desktop.session = GetParam().session;
    EXPECT_EQ(main.sync([&] { return watcher->mayJudge(); }), GetParam().mayJudge);
    scene.closeWindow(window);
    checks(2);
    EXPECT_EQ(flaggedInFile(path), GetParam().mayJudge);
}

INSTANTIATE_TEST_SUITE_P(Cases, SessionDictionary,
    ::testing::Values(SessionRow { "NoDictionary", std::nullopt, true }, SessionRow { "EmptyDictionary", platform::CFDictionary {}, true },
        SessionRow { "Locked", platform::CFDictionary { { "CGSSessionScreenIsLocked", true } }, false },
        SessionRow { "Unlocked", platform::CFDictionary { { "CGSSessionScreenIsLocked", false } }, true },
        SessionRow { "OffConsole", platform::CFDictionary { { "kCGSSessionOnConsoleKey", false } }, false },
        SessionRow { "OnConsole", platform::CFDictionary { { "kCGSSessionOnConsoleKey", true }, { "CGSSessionScreenIsLocked", false } }, true },
        SessionRow { "LockedAsANumberIsNotABoolean", platform::CFDictionary { { "CGSSessionScreenIsLocked", 1 } }, true },
        SessionRow { "OffConsoleAsText", platform::CFDictionary { { "kCGSSessionOnConsoleKey", "false" } }, true }),
    [](const auto& info) { return info.param.name; });

TEST_F(ProjectCloseWatcherTest, InRealTimeAProjectIsFlaggedWithinASecondAndNeverDuringTheGrace)
{
    AXElementRef window = openFilm();
    main.sync([&] { watcher = std::make_unique<ProjectCloseWatcher>(scripted.platform, main.loop); });
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path));
    test::ChildProcess probe({ MQ_SHM_PROBE, "watch", path, "15000" });
    ASSERT_TRUE(probe.waitForLine("ready", std::chrono::seconds(10)));

    post(NotificationCenterKind::distributed, names::screenIsLocked);
    scene.closeWindow(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // Two checks and more, while locked.
    EXPECT_FALSE(probe.hasLine("closed"));
    post(NotificationCenterKind::distributed, names::screenIsUnlocked);
    auto unlocked = std::chrono::steady_clock::now();
    ASSERT_TRUE(probe.waitForLine("closed", std::chrono::seconds(6)));
    double afterUnlock = std::chrono::duration<double>(std::chrono::steady_clock::now() - unlocked).count();
    EXPECT_GE(afterUnlock, 3.0);
    EXPECT_LE(afterUnlock, 3.0 + 1.0 + 0.3) << "two checks after the grace, at most a second";
    std::optional<int> status = probe.waitForExit(std::chrono::seconds(5));
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST_F(ProjectCloseWatcherTest, AFileCutShortIsDroppedWhenTheProjectClosesAndTheOthersAreFlagged)
{
    AXElementRef window = openFilm();
    makeWatcher();
    std::string victimPath = files.file("victim");
    std::string otherPath = files.file("other");
    ASSERT_TRUE(start(victimPath));
    ASSERT_TRUE(start(otherPath));
    ASSERT_EQ(::truncate(victimPath.c_str(), 0), 0);
    checks(2);
    EXPECT_EQ(main.sync([&] { return watcher->targetCount(); }), 2u) << "nothing is stored until the close";

    scene.closeWindow(window);
    checks(2); // The flag store into the cut file faults.
    EXPECT_TRUE(flaggedInFile(otherPath));
    EXPECT_EQ(levelOf("watch: shared-memory file " + victimPath + " was cut short under its mapping; target dropped", kWatch),
        log::Level::error);
    EXPECT_EQ(capture.count("project closed → flagged", kWatch), 1u) << "only the flag that reached its file is reported";
    EXPECT_EQ(main.sync([&] { return watcher->target(victimPath) != nullptr; }), false);
    EXPECT_TRUE(main.sync([&] { return watcher->isWatching(); }));
}

TEST_F(ProjectCloseWatcherTest, NewPathsBeyondTheLimitAreRefused)
{
    openFilm();
    makeWatcher();
    for (std::size_t i = 0; i < ProjectCloseWatcher::kMaxTargets; ++i)
        ASSERT_TRUE(start(files.file("watch" + std::to_string(i)))) << i;
    std::string oneTooMany = files.file("one-too-many");
    EXPECT_FALSE(start(oneTooMany));
    EXPECT_EQ(levelOf("watch start refused: target limit 256 reached", kWatch), log::Level::error);
    EXPECT_NE(::access(oneTooMany.c_str(), F_OK), 0);
    EXPECT_TRUE(start(files.file("watch0"))) << "a registered path may still be restarted";
    stop(files.file("watch0"));
    EXPECT_TRUE(start(oneTooMany));
}

} // namespace
} // namespace mq
