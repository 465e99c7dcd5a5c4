// A flood of requests that return at once (they reply there and then, or hand
// their work to the main queue, the display-search queue or the global pool)
// used to bypass every bound of the connection: 5 s of permissionsStatusWithReply:
// grew the helper to 411 MB and kept a bystander waiting more than 60 s. A flood
// of bounce step 5 queued waits that ran one after another for hours, each
// client's behind the flooder's. Every request now counts against its connection
// until it is answered, and step-5 waits are capped per connection and taken in
// turns: the helper stays small and a bystander is served promptly.
#include "protocol/Frame.h"
#include "marquee/MQHelperXPCProtocol.h"
#include "tests/hostile/ExactAllocatorCounts.h"
#include "tests/hostile/HostileFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawConnection.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::RawConnection;

constexpr auto kFloodTime = 3s;
constexpr auto kMaxBystanderP99 = 1000ms;

struct FloodCase {
    std::string_view selector;
    std::vector<WireValue> arguments;
    /// The request that undoes what the flood left (a monitor's stop), if any.
    std::string_view cleanUp;
};

std::string shmPath()
{
    return "/tmp/mq-hostile-flood-" + std::to_string(::getpid()) + ".shm";
}

std::vector<FloodCase> floodCases()
{
    std::string path = shmPath();
    return {
        { protocol::setColorsWindowAvoidRectX::selector, { 1.0, 2.0, 3.0, 4.0 }, {} },
        { protocol::evaluateControlBarStateWithFrameRate::selector, { 25.0, false }, {} },
        { protocol::startTransportScrubObservingWithFrameRate::selector, { 25.0, false, path },
            protocol::stopTransportScrubObservingForShmPath::selector },
        { protocol::stopTransportScrubObservingForShmPath::selector, { path }, {} },
        { protocol::startProjectCloseWatchForShmPath::selector, { path }, protocol::stopProjectCloseWatchForShmPath::selector },
        { protocol::stopProjectCloseWatchForShmPath::selector, { path }, {} },
        { protocol::permissionsStatusWithReply::selector, {}, {} },
        { protocol::primeAutomationPromptsWithReply::selector, {}, {} },
        { protocol::openAccessibilitySettingsWithReply::selector, {}, {} },
        { protocol::openAutomationSettingsWithReply::selector, {}, {} },
        { protocol::openLogicSynchronizationSettingsWithReply::selector, {}, {} },
        { protocol::bounceAwaitExportDialogsClosedWithReply::selector, {}, {} },
    };
}

/// Sends the request as fast as the helper takes it for `duration`, while another
/// thread reads (and drops) the replies. Returns how many requests were sent.
std::uint64_t flood(RawConnection& connection, const FloodCase& request, std::chrono::milliseconds duration, std::uint64_t& replyBytes)
{
    std::vector<std::uint8_t> batch;
    for (std::uint64_t id = 1; id <= 64; ++id) {
        auto frame = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, id, std::string(request.selector), request.arguments });
        batch.insert(batch.end(), frame.begin(), frame.end());
    }
    std::atomic<bool> sending { true };
    std::atomic<std::uint64_t> received { 0 };
    std::thread reader([&] {
        while (sending.load())
            received += connection.receiveSome(1 << 16, 50ms).size();
    });
    std::uint64_t sent = 0;
    auto end = Clock::now() + duration;
    while (Clock::now() < end && connection.sendAll(batch, 1s))
        sent += 64;
    sending.store(false);
    reader.join();
    replyBytes = received.load();
    return sent;
}

/// Sends one `selector` request on a connection of its own; true once its reply
/// has come (within 10 s).
bool answeredOnce(const std::string& socketPath, std::string_view selector, std::vector<WireValue> arguments)
{
    auto frame = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, 1, std::string(selector), std::move(arguments) });
    RawConnection connection(socketPath);
    return connection.sendAll(frame, 2s) && !connection.receiveSome(64, 10s).empty();
}

class RequestFlood : private test::ExactAllocatorCounts, public test::HostileTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(RequestFlood, TheHelperStaysSmallAndABystanderIsServed)
{
    const FloodCase request = floodCases()[GetParam()];
    SCOPED_TRACE(std::string(request.selector));
    // Undoes what a flood of monitor starts left running.
    auto cleanUp = [&] {
        if (!request.cleanUp.empty()) {
            EXPECT_TRUE(answeredOnce(harness.socketPath(), request.cleanUp, { shmPath() }));
        }
        ::unlink(shmPath().c_str());
    };
    // Warm the paths the flood takes, so that their first use is in the baseline.
    {
        RawConnection warmUp(harness.socketPath());
        ASSERT_TRUE(warmUp.valid());
        std::uint64_t ignored = 0;
        flood(warmUp, request, 300ms, ignored);
    }
    // The warm-up's last requests may still be running (an interpreter with its
    // pipes open). One more of the same, once answered, finds them ended, so that
    // what they hold is not counted in the baseline.
    ASSERT_TRUE(answeredOnce(harness.socketPath(), request.selector, request.arguments)) << "the warm-up's requests were not answered";
    cleanUp();
    takeBaseline();
    RawConnection attacker(harness.socketPath());
    ASSERT_TRUE(attacker.valid());
    std::uint64_t replyBytes = 0;
    auto sent = flood(attacker, request, kFloodTime, replyBytes);
    bystander->stop();
    auto p99 = bystander->p99();
    auto peak = test::resourcesOf(harness.helper().pid()).peakResidentKilobytes;
    std::cout << "[hostile] flood of " << request.selector << ": " << sent << " requests sent, " << replyBytes << " reply bytes read, helper peak RSS "
              << peak << " kB, bystander p99 " << p99.count() << " ms over " << bystander->replies() << " replies" << std::endl;
    test::expectPeakResidentWithinBound(peak);
    EXPECT_LT(p99, kMaxBystanderP99);
    attacker.close();
    cleanUp();
    expectRecovered();
}

std::string floodName(const ::testing::TestParamInfo<std::size_t>& param)
{
    std::string_view selector = floodCases()[param.param].selector;
    return std::string(selector.substr(0, selector.find(':')));
}

INSTANTIATE_TEST_SUITE_P(EachRequestThatReturnsAtOnce, RequestFlood, ::testing::Range<std::size_t>(0, floodCases().size()), floodName);

// 100 step-5 waits from one client: all but its share are refused at once with
// error 31's shape, another client's wait is not held behind them, and those of
// a client that closed its connection end without running.
class BounceWaitFlood : public test::HostileTest {};

TEST_F(BounceWaitFlood, OneClientsWaitsHoldNoOtherClientBack)
{
    auto flooder = harness.connect();
    std::atomic<int> refused { 0 };
    std::atomic<int> answered { 0 };
    for (int i = 0; i < 100; ++i)
        flooder->bounceAwaitExportDialogsClosedWithReplyAsync({}, [&](auto result) {
            ++answered;
            if (result.hasValue() && std::get<1>(result.value()) && std::get<1>(result.value())->code == 31)
                ++refused;
        });
    ASSERT_TRUE(test::eventually([&] { return refused.load() >= 98; }, 5s)) << refused.load() << " refused";
    EXPECT_TRUE(harness.helper().waitForLine("Too many waits for Logic's export dialog to close", 5s));

    auto started = Clock::now();
    auto other = harness.connect()->bounceAwaitExportDialogsClosedWithReply({}, 30s);
    auto took = Clock::now() - started;
    // Each wait lasts its 0.5 s of quiet, so the order tells what a time bound could
    // tell only on a quiet machine: the other client's wait ran right after the
    // flooder's first, not after both of them.
    int flooderWaitsEnded = answered.load() - refused.load();
    ASSERT_TRUE(other.hasValue());
    EXPECT_FALSE(std::get<1>(other.value())) << std::get<1>(other.value())->localizedDescription;
    std::cout << "[hostile] another client's step 5 beside 100 of one client: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms" << std::endl;
    EXPECT_EQ(flooderWaitsEnded, 1) << "the other client's wait was held behind the flooder's";

    // A client that leaves with one wait running and one queued: the running one
    // ends at its next look, the queued one without running.
    // The flooder's second wait starts as the other client's ends: once every one of
    // its hundred is answered, no wait but the leaving client's can start below.
    ASSERT_TRUE(test::eventually([&] { return answered.load() == 100; }, 5s)) << answered.load() << " of 100 answered";
    const std::string waitStarted = "bounce step 5: waiting for the export dialogs to close";
    auto startedBefore = harness.countLogLines(waitStarted);
    auto leaving = harness.connect();
    for (int i = 0; i < 2; ++i)
        leaving->bounceAwaitExportDialogsClosedWithReplyAsync({}, [](auto) {});
    ASSERT_TRUE(test::eventually([&] { return harness.countLogLines(waitStarted) > startedBefore; }, 5s));
    leaving.reset();
    started = Clock::now();
    auto after = harness.connect()->bounceAwaitExportDialogsClosedWithReply({}, 30s);
    took = Clock::now() - started;
    ASSERT_TRUE(after.hasValue());
    std::cout << "[hostile] a client's step 5 after one that left with two: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms" << std::endl;
    const std::string endedRunning = "the client closed its connection; the wait ends";
    const std::string endedQueued = "the client closed its connection before its wait ran; not waiting";
    EXPECT_TRUE(test::eventually([&] { return harness.countLogLines(endedRunning) == 1; }, 5s)) << harness.countLogLines(endedRunning);
    EXPECT_TRUE(test::eventually([&] { return harness.countLogLines(endedQueued) == 1; }, 5s)) << harness.countLogLines(endedQueued);
}

} // namespace
} // namespace mq
