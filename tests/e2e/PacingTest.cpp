// A Logic-driving request's pacing pauses sleep that request's own value: one
// that arrives while another runs stores its pacing on entry, and must neither
// shorten nor lengthen the running request's pauses.
#include "platform/Log.h"
#include "tests/harness/InProcessService.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <atomic>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(Pacing, ARequestArrivingMeanwhileLeavesTheRunningOnesPausesAlone)
{
    log::LogCapture capture;
    test::InProcessService helper;
    auto other = client::HelperConnection::connect(helper.runtimeDir().file("com.quillmoor.marquee.helper"));
    ASSERT_TRUE(other.hasValue());

    // Bounce step 3 pauses before each of its two stored actions: 2 x 0.5 s.
    std::atomic<bool> firstReplied { false };
    std::atomic<bool> secondReplied { false };
    Clock::time_point firstEnd;
    auto started = Clock::now();
    helper.connection().bounceAlignMovieRegionWithPacingSecondsAsync({ 0.5 }, [&](auto) {
        firstEnd = Clock::now();
        firstReplied = true;
    });
    // The second request arrives during the first one's first pause.
    ASSERT_TRUE(test::eventually([&] { return capture.contains("bounce step 3: align movie region", "helper.service"); }, 5s));
    other.value()->bounceAlignMovieRegionWithPacingSecondsAsync({ 0.0 }, [&](auto) { secondReplied = true; });

    ASSERT_TRUE(test::eventually([&] { return firstReplied.load() && secondReplied.load(); }, 15s));
    EXPECT_GE(firstEnd - started, 950ms) << "the running request paused with the newcomer's pacing";
    EXPECT_EQ(helper.service().operationPacingSeconds(), 0.0) << "the last request's pacing stays stored";
}

} // namespace
} // namespace mq
