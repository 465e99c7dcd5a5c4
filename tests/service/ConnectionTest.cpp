// The request channel with a service in this process: ordering on one connection,
// concurrency across connections, shared state, disconnects, protocol violations
// and resource limits, all through real sockets.
#include "app/MQHelperService.h"
#include "app/MQHelperXPCListener.h"
#include "protocol/Frame.h"
#include "marquee/HelperConnection.h"
#include "platform/Log.h"
#include "tests/support/Eventually.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/support/SocketTimeouts.h"
#include "tests/support/TempRuntimeDir.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::eventually;

// A service whose move request takes `frameRate` milliseconds and records when it
// ran, tagged with `seconds`.
class TimedService final : public MQHelperService {
public:
    using MQHelperService::MQHelperService;

    struct Run {
        double tag;
        Clock::time_point start;
        Clock::time_point end;
    };

    void goToLogicPlayheadSMPTESeconds(double seconds, double frameRate, bool,
        Reply<void(double, double, bool, OptionalError)> reply) override
    {
        ++started;
        auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(frameRate));
        {
            std::lock_guard lock(mutex);
            runs.push_back({ seconds, start, Clock::now() });
        }
        reply(seconds, 0.0, true, std::nullopt);
    }

    std::vector<Run> recordedRuns()
    {
        std::lock_guard lock(mutex);
        return runs;
    }

    std::atomic<int> started { 0 };

private:
    std::mutex mutex;
    std::vector<Run> runs;
};

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_faultsBefore = replyFaultCount();
        service = std::make_shared<TimedService>(ServiceEnvironment { mainLoop, userInitiated, scripted.platform, [] { } });
        // The helper's own listener, so that the log lines checked below are the product's.
        listener = std::make_unique<MQHelperXPCListener>(socketPath(), service);
        ASSERT_TRUE(listener->start());
        mainThread = std::thread([this] { mainLoop.run(); });
    }

    void TearDown() override
    {
        if (listener)
            listener->invalidate();
        mainLoop.stop();
        if (mainThread.joinable())
            mainThread.join();
        EXPECT_EQ(replyFaultCount(), m_faultsBefore) << "a reply was dropped or sent twice";
    }

    std::string socketPath() const { return runtimeDir.file("com.quillmoor.marquee.helper"); }

    std::unique_ptr<client::HelperConnection> connect()
    {
        auto connection = client::HelperConnection::connect(socketPath());
        EXPECT_TRUE(connection.hasValue());
        return connection ? std::move(connection.value()) : nullptr;
    }

    // A raw socket for sending bytes the client library would never send.
    int rawConnect()
    {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath().c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        return fd;
    }

    // True when the helper closes `fd` within the time-out.
    static bool closedByPeer(int fd, std::chrono::milliseconds timeout)
    {
        if (!test::setReceiveTimeout(fd, timeout))
            return false;
        char byte;
        auto got = ::recv(fd, &byte, 1, 0);
        return got == 0;
    }

    bool stillServes()
    {
        auto connection = connect();
        auto result = connection->goToLogicPlayheadSMPTESeconds({ 5.0, 0.0, false }, 2s);
        return result.hasValue() && std::get<0>(result.value()) == 5.0;
    }

    log::LogCapture capture;
    test::TempRuntimeDir runtimeDir;
    /// A desktop without Logic: these tests go at the request channel.
    test::ScriptedPlatform scripted;
    RunLoop mainLoop;
    ConcurrentDispatchQueue userInitiated { "test.user-initiated", 2 };
    std::shared_ptr<TimedService> service;
    std::unique_ptr<MQHelperXPCListener> listener;
    std::thread mainThread;

private:
    std::uint64_t m_faultsBefore { 0 };
};

TEST_F(ConnectionTest, RequestsOnOneConnectionRunInArrivalOrder)
{
    auto connection = connect();
    std::atomic<int> replies { 0 };
    for (double tag : { 1.0, 2.0, 3.0 })
        connection->goToLogicPlayheadSMPTESecondsAsync({ tag, 60.0, false }, [&](auto) { ++replies; });
    auto last = connection->goToLogicPlayheadSMPTESeconds({ 4.0, 1.0, false }, 5s);
    ASSERT_TRUE(last.hasValue());
    EXPECT_EQ(replies.load(), 3);

    auto runs = service->recordedRuns();
    ASSERT_EQ(runs.size(), 4u);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].tag, double(i + 1));
        if (i > 0) {
            EXPECT_GE(runs[i].start, runs[i - 1].end) << "request " << i + 1 << " overlapped its predecessor";
        }
    }
}

TEST_F(ConnectionTest, RequestsOnTwoConnectionsRunAtTheSameTime)
{
    auto first = connect();
    auto second = connect();
    std::atomic<int> replies { 0 };
    first->goToLogicPlayheadSMPTESecondsAsync({ 1.0, 300.0, false }, [&](auto) { ++replies; });
    second->goToLogicPlayheadSMPTESecondsAsync({ 2.0, 300.0, false }, [&](auto) { ++replies; });
    ASSERT_TRUE(eventually([&] { return replies.load() == 2; }, 5s));
    auto runs = service->recordedRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_LT(runs[0].start, runs[1].end);
    EXPECT_LT(runs[1].start, runs[0].end);
}

TEST_F(ConnectionTest, TwoClientsShareOneService)
{
    auto first = connect();
    auto second = connect();
    ASSERT_TRUE(first->setColorsWindowAvoidRectX({ 10, 20, 300, 400 }, 2s).hasValue());
    EXPECT_EQ(service->colorWindowAvoidRectAppKit(), (platform::CGRect { { 10, 20 }, { 300, 400 } }));
    ASSERT_TRUE(second->bounceAlignMovieRegionWithPacingSeconds({ 0.25 }, 2s).hasValue());
    EXPECT_EQ(service->operationPacingSeconds(), 0.25);
    // A zero width stores the null rectangle, and still replies.
    ASSERT_TRUE(second->setColorsWindowAvoidRectX({ 10, 20, 0, 400 }, 2s).hasValue());
    EXPECT_TRUE(std::isinf(service->colorWindowAvoidRectAppKit().origin.x));
}

TEST_F(ConnectionTest, ClientThatLeavesMidRequestDisturbsNothing)
{
    {
        auto leaving = connect();
        leaving->goToLogicPlayheadSMPTESecondsAsync({ 1.0, 200.0, false }, [](auto) { });
        ASSERT_TRUE(eventually([&] { return service->started.load() == 1; }, 2s)) << "the request never started";
    }
    EXPECT_TRUE(stillServes());
    // The abandoned request still ran to its end; its reply went nowhere.
    EXPECT_TRUE(eventually([&] { return service->recordedRuns().size() == 2; }, 2s));
    EXPECT_EQ(service->recordedRuns().size(), 2u);
    EXPECT_TRUE(eventually([&] {
        return capture.contains("client connection invalidated", "helper.xpc") || capture.contains("client connection interrupted", "helper.xpc");
    }, 2s));
}

TEST_F(ConnectionTest, ProtocolViolationsCloseOnlyThatConnection)
{
    auto bystander = connect();
    auto frameHeader = [](std::uint32_t length) {
        return std::vector<std::uint8_t> { std::uint8_t(length >> 24), std::uint8_t(length >> 16), std::uint8_t(length >> 8),
            std::uint8_t(length) };
    };
    auto withBody = [&](std::vector<std::uint8_t> bodyBytes) {
        auto bytes = frameHeader(static_cast<std::uint32_t>(bodyBytes.size()));
        for (auto byte : bodyBytes)
            bytes.push_back(byte);
        return bytes;
    };
    auto request = [](std::string selector, std::vector<WireValue> values) {
        return ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, 1, std::move(selector), std::move(values) });
    };

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool closeAfterSending;
        const char* logged;
    };
    const Case cases[] = {
        { "garbage", withBody({ 0xc1, 0xc1, 0xc1 }), false, "not a MessagePack message" },
        { "zero length", frameHeader(0), false, "frame of 0 bytes" },
        { "oversized", frameHeader(ipc::kMaxRequestFrameBytes + 1), false, "frame of 65537 bytes" },
        { "truncated", [&] { auto b = frameHeader(100); b.push_back(0x93); return b; }(), true, "in the middle of a frame" },
        { "unknown selector", request("formatDisk:", {}), false, "unknown selector 'formatDisk:'" },
        { "wrong argument type", request(std::string(protocol::runActionWithCode::selector), { std::string("21") }), false,
            "runActionWithCode:withReply:: value 0 is not a uint32" },
        { "missing argument", request(std::string(protocol::goToLogicPlayheadSMPTESeconds::selector), { 1.0 }), false,
            "expected 3 values, got 1" },
    };
    for (const auto& c : cases) {
        int fd = rawConnect();
        ASSERT_EQ(::send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.bytes.size())) << c.name;
        if (c.closeAfterSending)
            ::shutdown(fd, SHUT_WR);
        else
            EXPECT_TRUE(closedByPeer(fd, 2s)) << c.name << ": the helper kept the connection open";
        ::close(fd);
        EXPECT_TRUE(eventually([&] { return capture.contains(c.logged, "helper.xpc"); }, 2s)) << c.name;
        auto served = bystander->goToLogicPlayheadSMPTESeconds({ 7.0, 0.0, false }, 2s);
        EXPECT_TRUE(served.hasValue()) << c.name << ": the bystander was not served";
    }
    EXPECT_EQ(capture.count("protocol violation"), std::size(cases));
}

TEST_F(ConnectionTest, FullRequestQueuePausesReadingAndLosesNothing)
{
    auto connection = connect();
    constexpr int requests = static_cast<int>(ipc::kMaxQueuedRequestsPerConnection) + 16;
    std::atomic<int> replies { 0 };
    for (int i = 0; i < requests; ++i)
        connection->goToLogicPlayheadSMPTESecondsAsync({ double(i), 2.0, false }, [&](auto result) {
            if (result.hasValue())
                ++replies;
        });
    EXPECT_TRUE(eventually([&] { return replies.load() == requests; }, 10s));
    EXPECT_EQ(replies.load(), requests);
    EXPECT_TRUE(capture.contains("requests waiting, the limit; reading paused"));
    auto runs = service->recordedRuns();
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].tag, double(i));
}

// At the cap a newcomer takes the place of the longest-idle connection; when
// every connection has started a monitor (which keeps it), the newcomer is refused.
TEST_F(ConnectionTest, ConnectionsBeyondTheLimitAreRefused)
{
    std::vector<std::unique_ptr<client::HelperConnection>> connections;
    for (std::size_t i = 0; i < ipc::kMaxConnections; ++i)
        connections.push_back(connect());
    ASSERT_TRUE(eventually([&] { return listener->connectionCount() == ipc::kMaxConnections; }, 2s));
    auto newcomer = connect();
    EXPECT_TRUE(newcomer->permissionsStatusWithReply({}, 2s).hasValue());
    EXPECT_TRUE(connections.front()->waitUntilClosed(2s)) << "the longest-idle connection made no room";
    EXPECT_TRUE(capture.contains("clients connected, the limit: closing the connection from pid"));
    connections.front() = std::move(newcomer);
    for (auto& connection : connections)
        ASSERT_TRUE(connection->startProjectCloseWatchForShmPath({ "/nonexistent/watch.shm" }, 2s).hasValue());

    auto extra = connect();
    EXPECT_TRUE(extra->waitUntilClosed(2s));
    EXPECT_TRUE(capture.contains("refused connection from pid"));

    connections.pop_back();
    EXPECT_TRUE(eventually([&] { return listener->connectionCount() < ipc::kMaxConnections; }, 2s));
    EXPECT_TRUE(stillServes());
}

} // namespace
} // namespace mq
