// The project close watcher with a read queue: the binding at start and every
// check read Logic on that queue, the main thread stays free meanwhile, and a
// reading taken before a suspension, a stop or a restart does not judge.
#include "marquee/ProjectWatchReader.h"
#include "monitors/ProjectCloseWatcher.h"
#include "tests/monitors/MonitorFixture.h"

#include <future>
#include <thread>

namespace mq {
namespace {

using monitors::testing::LogicGate;
using monitors::testing::MonitorFixture;
using monitors::testing::waitUntil;
using platform::AXElementRef;

constexpr const char* kWatch = "helper.projectclose";
constexpr const char* kFilm = "/Music/Film.logicx";

class ProjectCloseWatcherReadQueueTest : public MonitorFixture {
public:
    void SetUp() override
    {
        mainThread = main.sync([] { return std::this_thread::get_id(); });
        ProjectCloseWatcher::Timing timing;
        timing.checkInterval = std::chrono::hours(1);
        timing.now = [this] { return m_epoch + std::chrono::milliseconds(m_elapsedMilliseconds.load()); };
        main.sync([&] { watcher = std::make_unique<ProjectCloseWatcher>(scripted.platform, main.loop, timing, &readQueue); });
    }
    void TearDown() override
    {
        gate.release();
        main.sync([&] { watcher.reset(); });
        MonitorFixture::TearDown();
    }

    /// Starts `path`; the future holds the answer once it comes.
    std::shared_future<bool> start(const std::string& path)
    {
        auto answer = std::make_shared<std::promise<bool>>();
        std::shared_future<bool> future = answer->get_future().share();
        main.sync([&] { watcher->start(path, [answer](bool started) { answer->set_value(started); }); });
        return future;
    }
    /// Waits (bounded) until every read queued so far has been applied on the main thread.
    void settle()
    {
        std::promise<void> drained;
        readQueue.async([&] { main.loop.async([&] { drained.set_value(); }); });
        ASSERT_EQ(drained.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    }
    void checkAndSettle()
    {
        main.sync([&] { watcher->check(); });
        settle();
    }
    std::int64_t streakOf(const std::string& path)
    {
        return main.sync([&] { return watcher->target(path) ? watcher->target(path)->closedStreak : -1; });
    }
    bool flaggedInFile(const std::string& path)
    {
        auto opened = client::ProjectWatchReader::open(path);
        EXPECT_TRUE(opened.hasValue());
        return opened.value().isProjectClosed();
    }
    AXElementRef openFilm()
    {
        scene.startLogic();
        AXElementRef window = scene.addWindow("Film", std::string(kFilm));
        scene.setMainWindow(window);
        return window;
    }
    void advance(std::chrono::milliseconds by) { m_elapsedMilliseconds += by.count(); }

    LogicGate gate { scripted.accessibility };
    SerialDispatchQueue readQueue { "test.projectwatch" };
    std::unique_ptr<ProjectCloseWatcher> watcher;
    std::thread::id mainThread;

private:
    ProjectCloseWatcher::Clock::time_point m_epoch { ProjectCloseWatcher::Clock::now() };
    std::atomic<std::int64_t> m_elapsedMilliseconds { 0 };
};

TEST_F(ProjectCloseWatcherReadQueueTest, StartAnswersOnceTheBindingHasBeenReadOffTheMainThread)
{
    openFilm();
    gate.hold();
    std::shared_future<bool> answer = start(files.file("watch"));
    waitUntil([&] { return gate.called(); });
    // Logic does not answer (until the gate is released); the main queue goes on
    // with other jobs: one that waited for the read would never run.
    EXPECT_EQ(main.sync([] { return 7; }), 7);
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_FALSE(levelOf("watch start: project /Music/Film.logicx; 1 target(s)", kWatch).has_value());
    gate.release();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
    EXPECT_EQ(levelOf("watch start: project /Music/Film.logicx; 1 target(s)", kWatch), log::Level::info);
    EXPECT_TRUE(main.sync([&] { return watcher->isWatching(); }));
    EXPECT_FALSE(gate.calledOn(mainThread));
}

TEST_F(ProjectCloseWatcherReadQueueTest, ChecksReadOffTheMainThreadAndFlagAClosedProject)
{
    AXElementRef window = openFilm();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path).get());
    checkAndSettle();
    EXPECT_EQ(streakOf(path), 0);
    scene.closeWindow(window);
    checkAndSettle();
    EXPECT_EQ(streakOf(path), 1);
    EXPECT_FALSE(flaggedInFile(path));
    checkAndSettle();
    EXPECT_TRUE(flaggedInFile(path));
    EXPECT_EQ(levelOf("project closed → flagged /Music/Film.logicx", kWatch), log::Level::info);
    EXPECT_FALSE(gate.calledOn(mainThread));
}

TEST_F(ProjectCloseWatcherReadQueueTest, AHangingCheckHoldsNeitherTheMainQueueNorStartsASecondRead)
{
    openFilm();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path).get());
    std::size_t before = scripted.accessibility.calls().size();
    checkAndSettle();
    std::size_t callsOfOneCheck = scripted.accessibility.calls().size() - before;
    ASSERT_GT(callsOfOneCheck, 0u);

    before = scripted.accessibility.calls().size();
    gate.hold();
    main.sync([&] { watcher->check(); });
    waitUntil([&] { return main.sync([&] { return watcher->isReading(); }); });
    // Skipped: the first read still runs, held by the gate; a check that waited
    // for it would never return.
    main.sync([&] { watcher->check(); });
    EXPECT_TRUE(main.sync([&] { return watcher->isReading(); })) << "the held read ended early";
    gate.release();
    settle();
    EXPECT_FALSE(main.sync([&] { return watcher->isReading(); }));
    EXPECT_EQ(scripted.accessibility.calls().size() - before, callsOfOneCheck) << "the second check read as well";
}

TEST_F(ProjectCloseWatcherReadQueueTest, AReadingFromBeforeASuspensionDoesNotJudge)
{
    AXElementRef window = openFilm();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path).get());
    scene.closeWindow(window);
    checkAndSettle();
    ASSERT_EQ(streakOf(path), 1);
    gate.hold();
    main.sync([&] { watcher->check(); });
    waitUntil([&] { return gate.called(); });
    // Locked and unlocked while Logic was read, and the grace is over when the
    // reading comes back: it was taken before the suspension and does not count.
    main.sync([&] {
        watcher->suspend(SuspendReason::screenLocked);
        watcher->resume(SuspendReason::screenLocked);
    });
    advance(std::chrono::duration_cast<std::chrono::milliseconds>(ProjectCloseWatcher::kResumeGrace) + std::chrono::milliseconds(1));
    gate.release();
    settle();
    EXPECT_EQ(streakOf(path), 0);
    EXPECT_FALSE(flaggedInFile(path));
    checkAndSettle();
    checkAndSettle();
    EXPECT_TRUE(flaggedInFile(path)) << "two checks after the grace flag it";
}

TEST_F(ProjectCloseWatcherReadQueueTest, AReadingDoesNotJudgeATargetStartedAgainMeanwhile)
{
    AXElementRef window = openFilm();
    std::string path = files.file("watch");
    ASSERT_TRUE(start(path).get());
    scene.closeWindow(window);
    checkAndSettle();
    ASSERT_EQ(streakOf(path), 1);
    gate.hold();
    main.sync([&] { watcher->check(); });
    waitUntil([&] { return gate.called(); });
    std::shared_future<bool> restarted = start(path);
    gate.release();
    ASSERT_EQ(restarted.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(restarted.get());
    settle();
    EXPECT_EQ(streakOf(path), 0) << "the old reading judged the new registration";
    EXPECT_EQ(levelOf("watch start: no saved project front (unsaved/untitled) — using last-project rule; 1 target(s)", kWatch),
        log::Level::notice);
}

TEST_F(ProjectCloseWatcherReadQueueTest, AStartStoppedBeforeItsBindingStillAnswersOnceAndLogsNoStart)
{
    openFilm();
    std::string path = files.file("watch");
    gate.hold();
    std::shared_future<bool> answer = start(path);
    waitUntil([&] { return gate.called(); });
    main.sync([&] { watcher->stop(path); });
    gate.release();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
    settle();
    EXPECT_EQ(main.sync([&] { return watcher->targetCount(); }), 0u);
    EXPECT_FALSE(main.sync([&] { return watcher->isWatching(); }));
    EXPECT_EQ(capture.count("watch start", kWatch), 0u);
}

} // namespace
} // namespace mq
