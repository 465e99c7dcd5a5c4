// 64 connections that each send one byte of a frame and then nothing used to
// lock every other client out for as long as they stayed. A frame left incomplete
// now closes its connection after a time-out, and the cap of 64 stays.
#include "app/ipc/protocol/Frame.h"
#include "app/ipc/server/ServiceListener.h"
#include "tests/hostile/ExactAllocatorCounts.h"
#include "tests/hostile/HostileFixture.h"
#include "tests/hostile/InProcessHelper.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawConnection.h"

#include <gtest/gtest.h>

#include <vector>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::eventually;
using test::RawConnection;

const std::vector<std::uint8_t> kOneByteOfAHeader { 0x00 };

// In process, with the time-out shortened: the cap holds, the attackers are
// closed, a connection that sends nothing is left alone, and a bystander is
// served once the attackers are gone.
TEST(IdleConnections, IncompleteFramesAreClosedAfterTheTimeOutAndTheCapHolds)
{
    ipc::ConnectionLimits limits;
    limits.incompleteFrameTimeout = 500ms;
    test::InProcessHelper helper(limits);

    auto quiet = client::HelperConnection::connect(helper.socketPath());
    ASSERT_TRUE(quiet.ok());
    std::vector<RawConnection> attackers;
    for (std::size_t i = 1; i < ipc::kMaxConnections; ++i) {
        attackers.emplace_back(helper.socketPath());
        ASSERT_TRUE(attackers.back().valid());
        ASSERT_TRUE(attackers.back().sendAll(kOneByteOfAHeader, 2s));
    }
    ASSERT_TRUE(eventually([&] { return helper.listener->connectionCount() == ipc::kMaxConnections; }, 5s));
    RawConnection refused(helper.socketPath());
    ASSERT_TRUE(refused.valid());
    EXPECT_TRUE(refused.closedByPeer(5s)) << "a 65th connection was let in";
    EXPECT_TRUE(eventually([&] { return helper.capture.contains("clients connected, the limit", "helper.xpc"); }, 2s));

    for (auto& attacker : attackers)
        EXPECT_TRUE(attacker.closedByPeer(10s)) << "an incomplete frame kept its connection";
    EXPECT_EQ(helper.capture.count("a frame stayed incomplete for 500 ms; closing the connection", "helper.xpc"), attackers.size());

    // A client that connected and sent nothing is not an incomplete frame.
    auto reply = quiet.value()->permissionsStatusWithReply({}, 5s);
    EXPECT_TRUE(reply.ok()) << "the quiet client was closed or not served";
    auto bystander = client::HelperConnection::connect(helper.socketPath());
    ASSERT_TRUE(bystander.ok());
    EXPECT_TRUE(bystander.value()->permissionsStatusWithReply({}, 5s).ok()) << "a bystander was not served after the attack";
}

// A frame that arrives slowly but completely within the time-out is served.
TEST(IdleConnections, AFrameSentInPiecesWithinTheTimeOutIsServed)
{
    ipc::ConnectionLimits limits;
    limits.incompleteFrameTimeout = 2s;
    test::InProcessHelper helper(limits);
    RawConnection slow(helper.socketPath());
    ASSERT_TRUE(slow.valid());
    auto frame = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, 7, std::string(protocol::permissionsStatusWithReply::selector), {} });
    for (std::uint8_t byte : frame) {
        ASSERT_TRUE(slow.sendAll({ byte }, 2s));
        std::this_thread::sleep_for(5ms); // Arrives in pieces: one read per byte.
    }
    auto reply = slow.receiveSome(64, 5s);
    EXPECT_FALSE(reply.empty()) << "the slowly sent request got no reply";
    EXPECT_EQ(helper.capture.count("stayed incomplete", "helper.xpc"), 0u);
}

// Wherever a frame stops, in its header, right after it, or within its body, the
// clock runs from its first bytes: the connection is closed after the time-out.
TEST(IdleConnections, AFrameCutShortAnywhereIsClosedAfterTheTimeOut)
{
    auto frame = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, 7, std::string(protocol::permissionsStatusWithReply::selector), {} });
    const std::vector<std::size_t> cuts { 2, ipc::kFrameHeaderBytes, ipc::kFrameHeaderBytes + 1, frame.size() - 1 };
    for (std::size_t cut : cuts) {
        SCOPED_TRACE("first " + std::to_string(cut) + " of " + std::to_string(frame.size()) + " bytes");
        ipc::ConnectionLimits limits;
        limits.incompleteFrameTimeout = 300ms;
        test::InProcessHelper helper(limits);
        RawConnection cutShort(helper.socketPath());
        ASSERT_TRUE(cutShort.valid());
        auto sent = Clock::now();
        ASSERT_TRUE(cutShort.sendAll(std::vector<std::uint8_t>(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(cut)), 2s));
        EXPECT_TRUE(cutShort.closedByPeer(5s)) << "an incomplete frame kept its connection";
        EXPECT_GE(Clock::now() - sent, 300ms) << "closed before the time-out";
        EXPECT_EQ(helper.capture.count("a frame stayed incomplete for 300 ms; closing the connection", "helper.xpc"), 1u);
    }
}

// A header whose body follows a moment later, within the time-out, is served.
TEST(IdleConnections, ABodyThatFollowsItsHeaderWithinTheTimeOutIsServed)
{
    ipc::ConnectionLimits limits;
    limits.incompleteFrameTimeout = 2s;
    test::InProcessHelper helper(limits);
    RawConnection client(helper.socketPath());
    ASSERT_TRUE(client.valid());
    auto frame = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, 7, std::string(protocol::permissionsStatusWithReply::selector), {} });
    auto split = frame.begin() + static_cast<std::ptrdiff_t>(ipc::kFrameHeaderBytes);
    ASSERT_TRUE(client.sendAll(std::vector<std::uint8_t>(frame.begin(), split), 2s));
    std::this_thread::sleep_for(50ms); // The helper reads the header alone and finds no body yet.
    ASSERT_TRUE(client.sendAll(std::vector<std::uint8_t>(split, frame.end()), 2s));
    EXPECT_FALSE(client.receiveSome(64, 5s).empty()) << "the request got no reply";
    EXPECT_EQ(helper.capture.count("stayed incomplete", "helper.xpc"), 0u);
}

// The real helper with its real ten seconds, filling the cap beside a bystander.
class IdleConnectionsOfTheHelper : private test::ExactAllocatorCounts, public test::HostileTest {};

TEST_F(IdleConnectionsOfTheHelper, SixtyFourHeldBytesLockNobodyOutForLong)
{
    // As many well-behaved clients first, so that the thread stacks and allocator
    // arenas the C library keeps after their threads end are in the baseline.
    ASSERT_TRUE(connection->permissionsStatusWithReply({}, 10s).ok()); // Its thread runs by now.
    auto threadsBefore = test::resourcesOf(harness.helper().pid()).threads;
    {
        std::vector<std::unique_ptr<client::HelperConnection>> warmUp;
        for (std::size_t i = 2; i < ipc::kMaxConnections; ++i) {
            warmUp.push_back(harness.connect());
            ASSERT_TRUE(warmUp.back() && warmUp.back()->permissionsStatusWithReply({}, 10s).ok());
        }
    }
    ASSERT_TRUE(eventually([&] { return test::resourcesOf(harness.helper().pid()).threads <= threadsBefore; }, 10s))
        << "threads " << test::resourcesOf(harness.helper().pid()).threads << ", before " << threadsBefore;
    takeBaseline();
    // The fixture's connection and the bystander's count toward the 64.
    std::vector<RawConnection> attackers;
    auto started = Clock::now();
    for (std::size_t i = 2; i < ipc::kMaxConnections; ++i) {
        attackers.emplace_back(harness.socketPath());
        ASSERT_TRUE(attackers.back().valid());
        ASSERT_TRUE(attackers.back().sendAll(kOneByteOfAHeader, 2s));
    }
    RawConnection refused(harness.socketPath());
    ASSERT_TRUE(refused.valid());
    EXPECT_TRUE(refused.closedByPeer(5s)) << "a connection beyond the cap was let in";
    EXPECT_TRUE(helperLogged("clients connected, the limit"));

    for (auto& attacker : attackers)
        EXPECT_TRUE(attacker.closedByPeer(30s)) << "an incomplete frame kept its connection";
    EXPECT_GE(Clock::now() - started, 10s) << "closed before its ten seconds";
    EXPECT_TRUE(eventually([&] { return harness.countLogLines("a frame stayed incomplete for 10000 ms") == attackers.size(); }, 5s));
    attackers.clear();
    expectRecovered();
}

} // namespace
} // namespace mq
