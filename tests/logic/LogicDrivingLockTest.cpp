// The lock that Logic-driving operations hold: first come, first served, and a
// log line for each request that has to wait.
#include "logic/LogicDrivingLock.h"
#include "platform/Log.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mq::logic {
namespace {

using namespace std::chrono_literals;

TEST(LogicDrivingLock, AFreeLockIsTakenAtOnceWithoutALogLine)
{
    log::LogCapture capture;
    LogicDrivingLock lock;
    {
        auto held = lock.acquire("first");
    }
    auto again = lock.acquire("second");
    EXPECT_EQ(lock.waiting(), 0u);
    EXPECT_EQ(capture.count("waiting for another request driving Logic"), 0u);
}

TEST(LogicDrivingLock, WaitersAreServedInTheOrderTheyCame)
{
    log::LogCapture capture;
    LogicDrivingLock lock;
    std::optional<LogicDrivingLock::Hold> first(lock.acquire("first"));

    std::mutex orderMutex;
    std::vector<int> order;
    std::vector<std::thread> waiters;
    constexpr int kWaiters = 4;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&, i] {
            auto held = lock.acquire("waiter " + std::to_string(i));
            std::lock_guard guard(orderMutex);
            order.push_back(i);
        });
        // The next waiter comes only once this one is queued.
        ASSERT_TRUE(test::eventually([&] { return lock.waiting() == static_cast<std::uint64_t>(i + 1); }, 5s, 1ms)) << i;
    }
    {
        std::lock_guard guard(orderMutex);
        EXPECT_TRUE(order.empty()) << "nobody runs while the lock is held";
    }
    first.reset();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 3 }));
    for (int i = 0; i < kWaiters; ++i) {
        EXPECT_EQ(capture.count("waiter " + std::to_string(i) + ": waiting for another request driving Logic", "helper.service"), 1u);
        EXPECT_EQ(capture.count("waiter " + std::to_string(i) + ": driving Logic after waiting", "helper.service"), 1u);
    }
    EXPECT_EQ(lock.waiting(), 0u);
}

TEST(LogicDrivingLock, AMovedHoldReleasesOnce)
{
    static LogicDrivingLock lock; // Outlives a thread left stuck by a failure.
    {
        auto held = lock.acquire("first");
        LogicDrivingLock::Hold moved(std::move(held));
    }
    // Released twice, the next ticket would never be served; not at all, the
    // second would wait for ever.
    static std::atomic<int> served { 0 };
    std::thread([] {
        auto second = lock.acquire("second");
        ++served;
    }).detach();
    ASSERT_TRUE(test::eventually([&] { return served.load() == 1; }, 5s, 1ms));
    std::thread([] {
        auto third = lock.acquire("third");
        ++served;
    }).detach();
    ASSERT_TRUE(test::eventually([&] { return served.load() == 2; }, 5s, 1ms));
    EXPECT_TRUE(test::eventually([&] { return lock.waiting() == 0; }, 5s, 1ms));
}

TEST(LogicDrivingLock, TheProcessHasOne)
{
    EXPECT_EQ(&LogicDrivingLock::processWide(), &LogicDrivingLock::processWide());
}

} // namespace
} // namespace mq::logic
