#include "app/ipc/server/Reply.h"
#include "platform/Log.h"

#include <gtest/gtest.h>

namespace mq {
namespace {

TEST(Reply, DeliversOnceWithItsValues)
{
    int calls = 0;
    double got = 0;
    auto faults = replyFaultCount();
    {
        Reply<void(bool, double)> reply("test:", [&](bool ok, double value) {
            ++calls;
            got = ok ? value : -1;
        });
        EXPECT_TRUE(reply.isPending());
        reply(true, 2.5);
        EXPECT_FALSE(reply.isPending());
    }
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got, 2.5);
    EXPECT_EQ(replyFaultCount(), faults);
}

TEST(Reply, SecondCallIsAFaultAndDeliversNothing)
{
    log::LogCapture capture;
    int calls = 0;
    auto faults = replyFaultCount();
    Reply<void()> reply("twice:", [&] { ++calls; });
    reply();
    reply();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(replyFaultCount(), faults + 1);
    EXPECT_TRUE(capture.contains("reply to twice: called more than once", "helper.xpc"));
}

TEST(Reply, DroppingWithoutACallIsAFault)
{
    log::LogCapture capture;
    auto faults = replyFaultCount();
    {
        Reply<void(bool)> reply("dropped:", [](bool) { });
    }
    EXPECT_EQ(replyFaultCount(), faults + 1);
    EXPECT_TRUE(capture.contains("reply to dropped: dropped without a reply"));
    ASSERT_FALSE(capture.lines().empty());
    EXPECT_EQ(capture.lines().back().level, log::Level::fault);
}

TEST(Reply, MovingTransfersTheObligation)
{
    auto faults = replyFaultCount();
    int calls = 0;
    Reply<void()> first("moved:", [&] { ++calls; });
    Reply<void()> second(std::move(first));
    EXPECT_FALSE(first.isPending());
    second();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(replyFaultCount(), faults); // The moved-from object owes nothing.
}

} // namespace
} // namespace mq
