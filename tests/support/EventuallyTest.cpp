#include "tests/support/Eventually.h"
#include "tests/support/SocketTimeouts.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using mq::test::eventually;

TEST(Eventually, HoldsAsSoonAsTheConditionDoesAndGivesUpAtTheLimit)
{
    std::atomic<bool> flag { false };
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        flag = true;
    });
    EXPECT_TRUE(eventually([&] { return flag.load(); }, 5s));
    setter.join();

    int checks = 0;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(eventually([&] { ++checks; return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
    EXPECT_GE(checks, 2) << "checked once at the start and once at the limit at least";
}

TEST(SocketTimeouts, AReceiveWithATimeoutOverASecondEndsInsteadOfBlocking)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    // 1.2 s: more microseconds than a timeval's field may hold, split correctly.
    ASSERT_TRUE(mq::test::setReceiveTimeout(fds[0], 1200ms));
    timeval tv {};
    socklen_t length = sizeof(tv);
    ASSERT_EQ(::getsockopt(fds[0], SOL_SOCKET, SO_RCVTIMEO, &tv, &length), 0);
    EXPECT_EQ(tv.tv_sec, 1);
    EXPECT_EQ(tv.tv_usec, 200000);
    ASSERT_TRUE(mq::test::setReceiveTimeout(fds[0], 30ms));
    char byte;
    EXPECT_LT(::recv(fds[0], &byte, 1, 0), 0);
    ::close(fds[0]);
    ::close(fds[1]);
}
