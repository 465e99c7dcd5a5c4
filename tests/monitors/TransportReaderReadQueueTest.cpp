// The transport reader with a read queue: every read of Logic runs on that queue,
// the main thread stays free meanwhile, and a result that arrives after the
// reader's targets changed is not applied.
#include "marquee/ScrubReader.h"
#include "monitors/TransportReader.h"
#include "tests/monitors/MonitorFixture.h"

#include <atomic>
#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace mq {
namespace {

using monitors::testing::LogicGate;
using monitors::testing::MonitorFixture;
using monitors::testing::waitUntil;
using monitors::testing::timeSliders;

constexpr const char* kScrub = "helper.scrub";

class TransportReaderReadQueueTest : public MonitorFixture {
public:
    void SetUp() override
    {
        mainThread = main.sync([] { return std::this_thread::get_id(); });
        main.sync([&] { reader = std::make_unique<TransportReader>(scripted.platform, main.loop, std::chrono::hours(1), &readQueue); });
    }
    void TearDown() override
    {
        gate.release();
        main.sync([&] { reader.reset(); });
        MonitorFixture::TearDown();
    }

    /// Starts `path`; the future holds the answer once it comes.
    std::shared_future<bool> start(const std::string& path)
    {
        auto answer = std::make_shared<std::promise<bool>>();
        std::shared_future<bool> future = answer->get_future().share();
        main.sync([&] { reader->start(25, false, path, [answer](bool found) { answer->set_value(found); }); });
        return future;
    }
    /// Runs one tick and waits (bounded) until its read has come back.
    void tickAndSettle()
    {
        main.sync([&] { reader->pollTick(); });
        waitUntil([&] { return !main.sync([&] { return reader->isReading(); }); });
    }
    void hold() { gate.hold(); }
    void release() { gate.release(); }
    bool readsStarted() { return gate.called(); }
    bool readOnMainThread() { return gate.calledOn(mainThread); }

    LogicGate gate { scripted.accessibility };
    SerialDispatchQueue readQueue { "test.displaysearch" };
    std::unique_ptr<TransportReader> reader;
    std::thread::id mainThread;
};

TEST_F(TransportReaderReadQueueTest, StartAnswersOnceTheSearchOffTheMainThreadHasEnded)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "01", "00", "00", "12" }));
    hold();
    std::shared_future<bool> answer = start(files.file("scrub"));
    // Logic does not answer the search (until release()); the main thread goes on
    // with other jobs: one that waited for the search would never run.
    waitUntil([&] { return readsStarted(); });
    EXPECT_EQ(main.sync([] { return 7; }), 7);
    EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    EXPECT_FALSE(main.sync([&] { return reader->isPolling(); })) << "no tick before the first search has ended";
    release();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
    EXPECT_TRUE(main.sync([&] { return reader->isPolling(); }));
    EXPECT_FALSE(readOnMainThread());
}

TEST_F(TransportReaderReadQueueTest, ATicksReadIsPublishedFromTheMainThread)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "01", "00", "00", "12" }));
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(path).get());
    auto opened = client::ScrubReader::open(path);
    ASSERT_TRUE(opened.hasValue());
    client::ScrubReader client = std::move(opened.value());
    tickAndSettle();
    EXPECT_EQ(client.snapshot()->sequence, 1u);
    EXPECT_TRUE(client.snapshot()->valid);
    scene.showTime({ "01", "00", "00", "13" });
    tickAndSettle();
    EXPECT_EQ(client.snapshot()->sequence, 2u);
    EXPECT_DOUBLE_EQ(client.snapshot()->position, 3600 + 13.0 / 25);
    EXPECT_FALSE(readOnMainThread());
}

TEST_F(TransportReaderReadQueueTest, ATickWhileTheLastReadRunsIsSkipped)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    ASSERT_TRUE(start(files.file("scrub")).get());
    hold();
    main.sync([&] { reader->pollTick(); });
    EXPECT_TRUE(main.sync([&] { return reader->isReading(); }));
    std::uint32_t ticks = main.sync([&] { return reader->pollTickCount(); });
    main.sync([&] { reader->pollTick(); });
    EXPECT_EQ(main.sync([&] { return reader->pollTickCount(); }), ticks) << "a second read was started";
    release();
    waitUntil([&] { return !main.sync([&] { return reader->isReading(); }); });
}

TEST_F(TransportReaderReadQueueTest, AReadThatEndsAfterTheLastStopIsNotApplied)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "01", "00", "00", "12" }));
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(path).get());
    auto opened = client::ScrubReader::open(path);
    ASSERT_TRUE(opened.hasValue());
    client::ScrubReader client = std::move(opened.value());
    hold();
    main.sync([&] { reader->pollTick(); });
    main.sync([&] { reader->stop(path); });
    release();
    // The read ends and its result reaches the main thread before this job's.
    std::promise<void> drained;
    readQueue.async([&] { main.loop.async([&] { drained.set_value(); }); });
    ASSERT_EQ(drained.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(client.snapshot()->sequence, 0u);
    EXPECT_FALSE(client.snapshot()->valid);
    EXPECT_FALSE(main.sync([&] { return reader->isPolling(); }));
}

TEST_F(TransportReaderReadQueueTest, AStartOvertakenByTheLastStopStillAnswersOnce)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    std::string path = files.file("scrub");
    hold();
    std::shared_future<bool> answer = start(path);
    waitUntil([&] { return readsStarted(); });
    main.sync([&] { reader->stop(path); });
    release();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(answer.get());
    EXPECT_FALSE(main.sync([&] { return reader->isPolling(); })) << "a stopped reader started its timer";
    EXPECT_EQ(linesExactly("scrub: stopped (no targets remain)", kScrub), 1u);
}

} // namespace
} // namespace mq
