// The service's control-bar and monitor requests: main-queue hops that hold the
// service weakly, and their replies.
#include "app/MQHelperService.h"
#include "app/ipc/server/Reply.h"
#include "marquee/ProjectWatchReader.h"
#include "marquee/ScrubReader.h"
#include "tests/monitors/MonitorFixture.h"

#include <future>

namespace mq {
namespace {

using monitors::testing::MonitorFixture;
using monitors::testing::timeSliders;
using namespace std::chrono_literals;

/// A Reply whose values arrive in a future.
template<typename... Values>
struct AwaitedReply {
    using Tuple = std::tuple<Values...>;
    std::shared_ptr<std::promise<Tuple>> promise = std::make_shared<std::promise<Tuple>>();
    std::future<Tuple> future = promise->get_future();

    Reply<void(Values...)> reply(std::string selector = "test")
    {
        return Reply<void(Values...)>(std::move(selector), [promise = promise](Values... values) { promise->set_value(Tuple(values...)); });
    }
    /// The reply's values; fails the test when none comes within 10 s.
    std::optional<Tuple> get()
    {
        if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
            return std::nullopt;
        return future.get();
    }
};

class MonitorService : public MonitorFixture {
public:
    void makeService() { service = std::make_shared<MQHelperService>(ServiceEnvironment { main.loop, userInitiated, scripted.platform, [] {} }); }
    void TearDown() override
    {
        main.sync([&] { service.reset(); }); // The monitors' timers belong to the main thread.
        EXPECT_EQ(replyFaultCount(), m_faultsBefore);
        MonitorFixture::TearDown();
    }

    std::optional<std::int64_t> controlBarState(double fps, bool dropFrame)
    {
        AwaitedReply<std::int64_t> awaited;
        service->evaluateControlBarStateWithFrameRate(fps, dropFrame, awaited.reply());
        auto values = awaited.get();
        return values ? std::optional(std::get<0>(*values)) : std::nullopt;
    }
    std::optional<bool> startScrub(const std::string& path)
    {
        AwaitedReply<bool> awaited;
        service->startTransportScrubObservingWithFrameRate(25, false, path, awaited.reply());
        auto values = awaited.get();
        return values ? std::optional(std::get<0>(*values)) : std::nullopt;
    }
    bool stopScrub(const std::string& path)
    {
        AwaitedReply<> awaited;
        service->stopTransportScrubObservingForShmPath(path, awaited.reply());
        return awaited.get().has_value();
    }
    std::optional<bool> startWatch(const std::string& path)
    {
        AwaitedReply<bool> awaited;
        service->startProjectCloseWatchForShmPath(path, awaited.reply());
        auto values = awaited.get();
        return values ? std::optional(std::get<0>(*values)) : std::nullopt;
    }
    bool stopWatch(const std::string& path)
    {
        AwaitedReply<> awaited;
        service->stopProjectCloseWatchForShmPath(path, awaited.reply());
        return awaited.get().has_value();
    }

    ConcurrentDispatchQueue userInitiated { "test.user-initiated", 1 };
    std::shared_ptr<MQHelperService> service;

private:
    std::uint64_t m_faultsBefore { replyFaultCount() };
};

struct RateRow {
    double fps;
    bool dropFrame;
};

class ControlBarStateRequest : public MonitorService, public ::testing::WithParamInterface<RateRow> {};

TEST_P(ControlBarStateRequest, AnswersTheSameWhateverTheRate)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeService();
    EXPECT_EQ(controlBarState(GetParam().fps, GetParam().dropFrame), 0);
    EXPECT_EQ(levelOf("controlBarState: 0", "helper.service"), log::Level::info);
}

INSTANTIATE_TEST_SUITE_P(Rates, ControlBarStateRequest,
    ::testing::Values(RateRow { 25, false }, RateRow { 29.97, true }, RateRow { 0, false }, RateRow { -1, true }, RateRow { NAN, false }));

TEST_F(MonitorService, ControlBarStateWithoutLogic)
{
    makeService();
    EXPECT_EQ(controlBarState(25, false), 4);
    EXPECT_EQ(levelOf("controlBarState: 4", "helper.service"), log::Level::info);
}

TEST_F(MonitorService, ScrubRequestsDriveTheTransportReader)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "00", "00", "07", "00" }));
    makeService();
    std::string path = files.file("scrub");
    EXPECT_EQ(startScrub(path), true);

    auto opened = client::ScrubReader::open(path);
    ASSERT_TRUE(opened.hasValue());
    auto& client = opened.value();
    // The valid flag is stored after the sequence number of the same tick: wait for both.
    EXPECT_TRUE(test::eventually([&] { return client.snapshot()->sequence != 0 && client.snapshot()->valid; }, 5s));
    EXPECT_EQ(client.snapshot(), (client::ScrubSnapshot { 7.0, true, 1, 1 }));

    EXPECT_TRUE(stopScrub(path));
    EXPECT_FALSE(client.snapshot()->valid);
    EXPECT_EQ(levelOf("scrub: stopped (no targets remain)", "helper.scrub"), log::Level::info);
    EXPECT_TRUE(stopScrub(path)) << "a stop for a path not observed still replies";
    EXPECT_EQ(levelOf("scrub: stop for unregistered path; ignored", "helper.scrub"), log::Level::info);
}

TEST_F(MonitorService, WatchRequestsDriveTheCloseWatcher)
{
    scene.startLogic();
    platform::AXElementRef window = scene.addWindow("Film", std::string("/Music/Film.logicx"));
    scene.setMainWindow(window);
    makeService();
    std::string path = files.file("watch");
    EXPECT_EQ(startWatch(path), true);
    scene.closeWindow(window);

    auto opened = client::ProjectWatchReader::open(path);
    ASSERT_TRUE(opened.hasValue());
    auto& client = opened.value();
    EXPECT_TRUE(test::eventually([&] { return client.isProjectClosed(); }, 5s));
    EXPECT_TRUE(stopWatch(path));
    EXPECT_TRUE(stopWatch(files.file("never")));
}

TEST_F(MonitorService, AWatchOfAnUnusableFileAnswersFalse)
{
    makeService();
    EXPECT_EQ(startWatch(files.file("no/such/dir")), false);
    EXPECT_EQ(levelOf("open shm failed errno 2", "helper.projectclose"), log::Level::error);
    EXPECT_EQ(startScrub(files.file("no/such/dir")), false);
}

TEST_F(MonitorService, WithoutLogicAScrubStartAnswersFalseAndStopsReply)
{
    makeService();
    EXPECT_EQ(startScrub(files.file("a")), false);
    EXPECT_TRUE(stopScrub(files.file("a")));
    EXPECT_TRUE(stopWatch(files.file("b")));
}

TEST_F(MonitorService, RequestsWhoseServiceIsGoneStillReply)
{
    makeService();
    // Hold the main loop so that the jobs run only after the service is gone.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    main.loop.async([released] { released.wait_for(std::chrono::seconds(10)); });

    AwaitedReply<bool> scrubStart, watchStart;
    AwaitedReply<> scrubStop, watchStop;
    AwaitedReply<std::int64_t> controlBar;
    service->evaluateControlBarStateWithFrameRate(25, false, controlBar.reply());
    service->startTransportScrubObservingWithFrameRate(25, false, files.file("a"), scrubStart.reply());
    service->stopTransportScrubObservingForShmPath(files.file("a"), scrubStop.reply());
    service->startProjectCloseWatchForShmPath(files.file("b"), watchStart.reply());
    service->stopProjectCloseWatchForShmPath(files.file("b"), watchStop.reply());
    service.reset(); // No monitor exists yet, so nothing of the main thread's goes with it.
    release.set_value();

    EXPECT_EQ(controlBar.get(), std::tuple(std::int64_t { 4 }));
    EXPECT_EQ(scrubStart.get(), std::tuple(false));
    EXPECT_EQ(watchStart.get(), std::tuple(false));
    EXPECT_TRUE(scrubStop.get().has_value());
    EXPECT_TRUE(watchStop.get().has_value());
    EXPECT_EQ(::access(files.file("a").c_str(), F_OK), -1) << "no file was opened for a service that is gone";
}

} // namespace
} // namespace mq
