// 64 connections that each send one byte of a frame, or nothing at all, used to
// lock every other client out for as long as they stayed. A frame left incomplete
// now closes its connection after a time-out, and at the cap of 64 the
// longest-idle connection (nothing in flight, no monitor started) is closed to
// let a newcomer in; the client library connects again on its next call.
#include "protocol/Frame.h"
#include "app/ipc/server/ServiceListener.h"
#include "tests/hostile/ExactAllocatorCounts.h"
#include "tests/hostile/HostileFixture.h"
#include "tests/hostile/InProcessHelper.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawConnection.h"

#include <gtest/gtest.h>

#include <iostream>
#include <vector>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::eventually;
using test::RawConnection;

const std::vector<std::uint8_t> kOneByteOfAHeader { 0x00 };

// In process, with the time-out shortened: at the cap, a newcomer is let in by
// closing the longest-idle connection (a client that sends nothing is as idle as
// one holding half a frame); the cap of 64 holds, the half frames are closed
// after the time-out, and the quiet client's library connects again on its next
// call.
TEST(IdleConnections, AtTheCapTheLongestIdleConnectionMakesRoomAndIncompleteFramesStillTimeOut)
{
    ipc::ConnectionLimits limits;
    limits.incompleteFrameTimeout = 500ms;
    test::InProcessHelper helper(limits);

    auto quiet = client::HelperConnection::connect(helper.socketPath());
    ASSERT_TRUE(quiet.hasValue());
    std::vector<RawConnection> attackers;
    for (std::size_t i = 1; i < ipc::kMaxConnections; ++i) {
        attackers.emplace_back(helper.socketPath());
        ASSERT_TRUE(attackers.back().valid());
        ASSERT_TRUE(attackers.back().sendAll(kOneByteOfAHeader, 2s));
    }
    ASSERT_TRUE(eventually([&] { return helper.listener->connectionCount() == ipc::kMaxConnections; }, 5s));
    auto newcomer = client::HelperConnection::connect(helper.socketPath());
    ASSERT_TRUE(newcomer.hasValue());
    EXPECT_TRUE(newcomer.value()->permissionsStatusWithReply({}, 1s).hasValue()) << "the newcomer was not served";
    EXPECT_TRUE(helper.capture.contains("clients connected, the limit: closing the connection from pid", "helper.xpc"));
    EXPECT_TRUE(quiet.value()->waitUntilClosed(2s)) << "the longest-idle connection was not the one closed";
    EXPECT_EQ(helper.listener->connectionCount(), ipc::kMaxConnections);

    for (auto& attacker : attackers)
        EXPECT_TRUE(attacker.closedByPeer(10s)) << "an incomplete frame kept its connection";
    EXPECT_GE(helper.capture.count("a frame stayed incomplete for 500 ms; closing the connection", "helper.xpc"), attackers.size() - 1);

    // The quiet client's next call connects again and is served.
    EXPECT_TRUE(quiet.value()->permissionsStatusWithReply({}, 5s).hasValue()) << "the closed idle client did not connect again";
    EXPECT_FALSE(quiet.value()->isClosed());
}

// With a cap of 3: a client that started a monitor is never the one closed, the
// longest idle of the others is, and when every connection has a monitor the
// newcomer is refused as before. A connection closed this way reconnects once on
// its next call, transparently, and that call is served.
TEST(IdleConnections, MonitorsKeepTheirConnectionAndTheClosedClientReconnectsOnce)
{
    ipc::ConnectionLimits limits;
    limits.maxConnections = 3;
    test::InProcessHelper helper(limits);
    auto connectTo = [&] {
        auto connection = client::HelperConnection::connect(helper.socketPath());
        EXPECT_TRUE(connection.hasValue());
        return std::move(connection.value());
    };
    auto watching = connectTo();
    ASSERT_TRUE(watching->startProjectCloseWatchForShmPath({ helper.runtimeDir.file("watch.shm") }, 5s).hasValue());
    auto older = connectTo();
    ASSERT_TRUE(older->permissionsStatusWithReply({}, 5s).hasValue());
    auto newer = connectTo();
    ASSERT_TRUE(newer->permissionsStatusWithReply({}, 5s).hasValue());

    auto fourth = connectTo();
    ASSERT_TRUE(fourth->permissionsStatusWithReply({}, 2s).hasValue());
    EXPECT_TRUE(older->waitUntilClosed(2s));
    EXPECT_FALSE(watching->isClosed());
    EXPECT_FALSE(newer->isClosed());

    // The closed one's next call is served on a new connection (closing `newer`,
    // now the longest idle).
    auto reply = older->permissionsStatusWithReply({}, 5s);
    EXPECT_TRUE(reply.hasValue()) << (reply.hasValue() ? "" : reply.error().message);
    EXPECT_TRUE(newer->waitUntilClosed(2s));
    EXPECT_EQ(helper.listener->connectionCount(), 3u);

    // Every connection with a monitor: nobody can be closed, the newcomer is refused.
    ASSERT_TRUE(older->startProjectCloseWatchForShmPath({ helper.runtimeDir.file("older.shm") }, 5s).hasValue());
    ASSERT_TRUE(fourth->startProjectCloseWatchForShmPath({ helper.runtimeDir.file("fourth.shm") }, 5s).hasValue());
    RawConnection refused(helper.socketPath());
    ASSERT_TRUE(refused.valid());
    EXPECT_TRUE(refused.closedByPeer(5s)) << "a connection beyond the cap was let in";
    EXPECT_TRUE(eventually([&] { return helper.capture.contains("refused connection from pid", "helper.xpc"); }, 2s));
}

// 64 connections that send nothing at all lock nobody out: the next client is
// served within a second.
TEST(IdleConnections, SixtyFourSilentConnectionsLetTheNextClientIn)
{
    test::InProcessHelper helper;
    std::vector<RawConnection> silent;
    for (std::size_t i = 0; i < ipc::kMaxConnections; ++i) {
        silent.emplace_back(helper.socketPath());
        ASSERT_TRUE(silent.back().valid());
    }
    ASSERT_TRUE(eventually([&] { return helper.listener->connectionCount() == ipc::kMaxConnections; }, 5s));
    auto started = Clock::now();
    auto client = client::HelperConnection::connect(helper.socketPath());
    ASSERT_TRUE(client.hasValue());
    auto reply = client.value()->permissionsStatusWithReply({}, 1s);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    EXPECT_TRUE(reply.hasValue()) << "the client was not served";
    EXPECT_LT(took, 1s);
    std::cout << "[hostile] 64 silent connections: the next client served in " << took.count() << " ms" << std::endl;
    EXPECT_TRUE(silent.front().closedByPeer(2s)) << "the longest-idle silent connection was not closed";
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
    ASSERT_TRUE(connection->permissionsStatusWithReply({}, 10s).hasValue()); // Its thread runs by now.
    auto threadsBefore = test::resourcesOf(harness.helper().pid()).threads;
    {
        std::vector<std::unique_ptr<client::HelperConnection>> warmUp;
        for (std::size_t i = 2; i < ipc::kMaxConnections; ++i) {
            warmUp.push_back(harness.connect());
            ASSERT_TRUE(warmUp.back() && warmUp.back()->permissionsStatusWithReply({}, 10s).hasValue());
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
    // One more is let in at once: the longest-idle connection (the fixture's) makes room.
    auto newcomer = harness.connect();
    EXPECT_TRUE(newcomer->permissionsStatusWithReply({}, 1s).hasValue());
    EXPECT_TRUE(helperLogged("clients connected, the limit: closing the connection from pid"));
    newcomer.reset();

    for (auto& attacker : attackers)
        EXPECT_TRUE(attacker.closedByPeer(30s)) << "an incomplete frame kept its connection";
    EXPECT_GE(Clock::now() - started, 10s) << "closed before its ten seconds";
    EXPECT_TRUE(eventually([&] { return harness.countLogLines("a frame stayed incomplete for 10000 ms") == attackers.size(); }, 5s));
    attackers.clear();
    // The fixture's connection was closed for the newcomer; its next call connects again.
    EXPECT_TRUE(connection->permissionsStatusWithReply({}, 5s).hasValue());
    expectRecovered();
}

} // namespace
} // namespace mq
