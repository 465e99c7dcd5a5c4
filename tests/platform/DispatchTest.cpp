// Queues and the run loop: ordering, capacity, where jobs run, timers, and the
// global pool that grows while its jobs block and shrinks when they are done.
#include "platform/Dispatch.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace mq {
namespace {

using namespace std::chrono_literals;
using test::eventually;

/// A gate that blocked jobs wait at until the test opens it (bounded, so that a
/// regression fails instead of hanging).
class Gate {
public:
    void wait()
    {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait_for(lock, 10s, [&] { return m_open; });
        --m_waiting;
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    int waiting()
    {
        std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open { false };
    int m_waiting { 0 };
};

TEST(SerialDispatchQueue, RunsJobsOneAtATimeInOrderOnItsThread)
{
    SerialDispatchQueue queue("test.serial");
    std::mutex mutex;
    std::vector<int> order;
    std::set<std::thread::id> threads;
    std::atomic<int> running { 0 };
    std::atomic<int> overlaps { 0 };
    std::atomic<int> current { 0 };
    for (int i = 0; i < 50; ++i)
        queue.async([&, i] {
            if (running.fetch_add(1) != 0)
                ++overlaps;
            if (queue.isCurrent())
                ++current;
            {
                std::lock_guard lock(mutex);
                order.push_back(i);
                threads.insert(std::this_thread::get_id());
            }
            --running;
        });
    ASSERT_TRUE(eventually([&] { std::lock_guard lock(mutex); return order.size() == 50; }, 5s));
    std::lock_guard lock(mutex);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_NE(*threads.begin(), std::this_thread::get_id());
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(current.load(), 50);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(SerialDispatchQueue, TryAsyncRefusesBeyondCapacityAndAfterClose)
{
    Gate gate;
    SerialDispatchQueue queue("test.bounded", 2);
    ASSERT_TRUE(queue.tryAsync([&] { gate.wait(); }));
    ASSERT_TRUE(eventually([&] { return gate.waiting() == 1; }, 5s)); // The first job runs, none waits.
    EXPECT_TRUE(queue.tryAsync([] { }));
    EXPECT_TRUE(queue.tryAsync([] { }));
    EXPECT_FALSE(queue.tryAsync([] { })) << "a third waiting job was taken";
    gate.open();
    queue.close();
    EXPECT_FALSE(queue.tryAsync([] { })) << "a closed queue took a job";
}

TEST(SerialDispatchQueue, DestructorRunsQueuedJobsAndAJobMayDestroyItsQueue)
{
    std::atomic<int> ran { 0 };
    {
        SerialDispatchQueue queue("test.drain");
        for (int i = 0; i < 10; ++i)
            queue.async([&] { ++ran; });
    }
    EXPECT_EQ(ran.load(), 10);

    auto queue = std::make_unique<SerialDispatchQueue>("test.self-destroying");
    std::promise<void> destroyed;
    queue->async([&] {
        queue.reset();
        destroyed.set_value();
    });
    EXPECT_EQ(destroyed.get_future().wait_for(5s), std::future_status::ready);
}

TEST(RunLoop, RunsPostedAndDelayedJobsOnTheThreadThatRunsIt)
{
    RunLoop loop;
    std::vector<std::string> seen;
    bool onLoop = false;
    loop.after(30ms, [&] {
        seen.push_back("later");
        loop.stop();
    });
    loop.async([&] {
        seen.push_back("now");
        onLoop = loop.isCurrent();
    });
    EXPECT_FALSE(loop.isCurrent());
    loop.run(); // Ends with the delayed job's stop().
    EXPECT_EQ(seen, (std::vector<std::string> { "now", "later" }));
    EXPECT_TRUE(onLoop);
}

TEST(RepeatingTimer, TicksUntilStoppedAndNeverAfter)
{
    RunLoop loop;
    int ticks = 0;
    std::unique_ptr<RepeatingTimer> timer;
    timer = std::make_unique<RepeatingTimer>(loop, 5ms, [&] {
        if (++ticks == 3) {
            timer->stop();
            loop.after(50ms, [&] { loop.stop(); });
        }
    });
    loop.run();
    EXPECT_EQ(ticks, 3) << "the timer ticked after stop()";
}

TEST(ConcurrentDispatchQueue, AJobThatBlocksNeverHoldsUpTheNextOne)
{
    ConcurrentDispatchQueue pool("test.pool", 8);
    Gate gate;
    for (int i = 0; i < 4; ++i)
        pool.async([&] { gate.wait(); });
    ASSERT_TRUE(eventually([&] { return gate.waiting() == 4; }, 5s)) << "blocked jobs did not all start";
    std::promise<bool> ran;
    pool.async([&] { ran.set_value(pool.isCurrent()); });
    auto future = ran.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready) << "a fifth job waited behind four blocked ones";
    EXPECT_TRUE(future.get());
    EXPECT_EQ(pool.threadCount(), 5u);
    gate.open();
}

TEST(ConcurrentDispatchQueue, GrowsNoFurtherThanItsBound)
{
    ConcurrentDispatchQueue pool("test.bounded-pool", 3);
    Gate gate;
    std::atomic<int> ran { 0 };
    for (int i = 0; i < 3; ++i)
        pool.async([&] { gate.wait(); });
    pool.async([&] { ++ran; });
    ASSERT_TRUE(eventually([&] { return gate.waiting() == 3; }, 5s));
    EXPECT_EQ(pool.threadCount(), 3u);
    EXPECT_EQ(ran.load(), 0) << "a job ran on a fourth thread";
    gate.open();
    EXPECT_TRUE(eventually([&] { return ran.load() == 1; }, 5s)) << "the waiting job never ran";
    EXPECT_EQ(pool.peakThreadCount(), 3u);
}

TEST(ConcurrentDispatchQueue, ReusesAnIdleThreadAndRetiresIdleThreads)
{
    ConcurrentDispatchQueue pool("test.retiring-pool", 8, 100ms);
    EXPECT_EQ(pool.threadCount(), 0u);
    for (int i = 0; i < 20; ++i) {
        std::promise<void> done;
        pool.async([&] { done.set_value(); });
        ASSERT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
        // Once the finished job's thread waits for work (or has retired), the next
        // job takes it instead of a new one.
        ASSERT_TRUE(eventually([&] { return pool.idleThreadCount() == pool.threadCount(); }, 5s));
    }
    EXPECT_EQ(pool.peakThreadCount(), 1u) << "sequential jobs made new threads";
    EXPECT_TRUE(eventually([&] { return pool.threadCount() == 0u; }, 5s)) << "an idle thread did not retire";
    std::promise<void> again;
    pool.async([&] { again.set_value(); });
    EXPECT_EQ(again.get_future().wait_for(5s), std::future_status::ready) << "no thread after the pool shrank to none";
}

TEST(ConcurrentDispatchQueue, DestructorRunsQueuedJobsAndWaitsForThem)
{
    std::atomic<int> ran { 0 };
    {
        ConcurrentDispatchQueue pool("test.draining-pool", 2);
        for (int i = 0; i < 20; ++i)
            pool.async([&] {
                std::this_thread::sleep_for(1ms);
                ++ran;
            });
    }
    EXPECT_EQ(ran.load(), 20);
}

TEST(CallingThreadRunLoop, RunsJobsFromOtherThreadsOnTheThreadThatRunsIt)
{
    CallingThreadRunLoop loop("test.wait");
    EXPECT_FALSE(loop.isCurrent());
    std::thread::id ranOn;
    bool currentInside = false;
    std::thread poster([&] {
        loop.async([&] {
            ranOn = std::this_thread::get_id();
            currentInside = loop.isCurrent();
        });
    });
    // Returns with the job run, long before the deadline.
    EXPECT_TRUE(loop.runUntil(std::chrono::steady_clock::now() + 10s));
    poster.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(currentInside);
    EXPECT_FALSE(loop.isCurrent());
}

TEST(CallingThreadRunLoop, WithoutJobsItWaitsUntilTheDeadline)
{
    CallingThreadRunLoop loop("test.wait");
    auto deadline = std::chrono::steady_clock::now() + 30ms;
    EXPECT_FALSE(loop.runUntil(deadline));
    EXPECT_GE(std::chrono::steady_clock::now(), deadline);
    // A job sent while nobody runs the loop waits for the next run.
    int runs = 0;
    loop.async([&] { ++runs; });
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(loop.runUntil(std::chrono::steady_clock::now()));
    EXPECT_EQ(runs, 1);
}

TEST(SleepForSeconds, IgnoresZeroNegativeAndNaN)
{
    for (double seconds : { 0.0, -1.0, std::nan(""), -std::numeric_limits<double>::infinity() }) {
        auto started = std::chrono::steady_clock::now();
        sleepForSeconds(seconds);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << seconds;
    }
    auto started = std::chrono::steady_clock::now();
    sleepForSeconds(0.02);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 20ms);
}

} // namespace
} // namespace mq
