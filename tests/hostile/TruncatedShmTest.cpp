// A client cuts its shared-memory file short while the helper has it mapped: the
// helper's next store would raise SIGBUS and end it, and every other client's
// monitors with it. The helper drops that one target with an error line instead.
#include "marquee/ProjectWatchReader.h"
#include "marquee/ScrubReader.h"
#include "tests/hostile/HostileFixture.h"
#include "tests/support/Eventually.h"

#include <unistd.h>

namespace mq {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class TruncatedShm : public test::HostileTest {
protected:
    std::string path(const std::string& name) { return harness.runtimeDir().file(name); }

    bool startScrub(const std::string& file)
    {
        auto reply = connection->startTransportScrubObservingWithFrameRate({ 25.0, false, file }, 10s);
        return reply.hasValue() && std::get<0>(reply.value());
    }
    void stopScrub(const std::string& file) { EXPECT_TRUE(connection->stopTransportScrubObservingForShmPath({ file }, 10s).hasValue()); }
    bool startWatch(const std::string& file)
    {
        auto reply = connection->startProjectCloseWatchForShmPath({ file }, 10s);
        return reply.hasValue() && std::get<0>(reply.value());
    }
    void stopWatch(const std::string& file) { EXPECT_TRUE(connection->stopProjectCloseWatchForShmPath({ file }, 10s).hasValue()); }
};

TEST_F(TruncatedShm, AScrubFileCutToNothingDropsOnlyItsTarget)
{
    // Warm up the paths the attack uses, so the baseline holds what they keep.
    ASSERT_TRUE(startScrub(path("warm-up")));
    stopScrub(path("warm-up"));
    takeBaseline();

    std::string victim = path("victim");
    std::string other = path("other");
    ASSERT_TRUE(startScrub(victim));
    ASSERT_TRUE(startScrub(other));
    auto opened = client::ScrubReader::open(other);
    ASSERT_TRUE(opened.hasValue());
    const client::ScrubReader& reader = opened.value();
    ASSERT_TRUE(test::eventually([&] { return reader.snapshot() && reader.snapshot()->valid; }, 5s));

    ASSERT_EQ(::truncate(victim.c_str(), 0), 0);
    EXPECT_TRUE(helperLogged("scrub: shared-memory file " + victim + " was cut short under its mapping; target dropped"));
    // Ticks after the drop, each of which would have faulted on the victim: the
    // other client sees them as new positions and a sequence number that moves on.
    std::uint32_t sequenceAtDrop = reader.snapshot() ? reader.snapshot()->sequence : 0;
    for (double seconds : { 3650.0, 3700.0 }) {
        harness.logicSim().ctl("set-playhead", { { "seconds", seconds } });
        EXPECT_TRUE(test::eventually([&] { return reader.snapshot() && reader.snapshot()->position == seconds && reader.snapshot()->valid; }, 5s))
            << "the other target stopped receiving positions";
    }
    EXPECT_GE(reader.snapshot()->sequence - sequenceAtDrop, 2u) << "fewer ticks than positions";
    ASSERT_TRUE(helperAlive()) << "the helper died of the truncated file";

    stopScrub(other);
    EXPECT_TRUE(helperLogged("scrub: stopped (no targets remain)"));
    stopScrub(victim);
    EXPECT_TRUE(helperLogged("scrub: stop for unregistered path; ignored"));
    expectRecovered();
}

TEST_F(TruncatedShm, AWatchFileCutShortIsDroppedWhenTheProjectClosesAndTheOthersAreFlagged)
{
    ASSERT_TRUE(startWatch(path("warm-up")));
    stopWatch(path("warm-up"));
    takeBaseline();

    std::string victim = path("victim");
    std::string other = path("other");
    ASSERT_TRUE(startWatch(victim));
    ASSERT_TRUE(startWatch(other));
    auto opened = client::ProjectWatchReader::open(other);
    ASSERT_TRUE(opened.hasValue());
    const client::ProjectWatchReader& reader = opened.value();

    ASSERT_EQ(::truncate(victim.c_str(), 0), 0);
    harness.logicSim().ctl("remove-window", { { "window", "project" } });
    EXPECT_TRUE(test::eventually([&] { return reader.isProjectClosed(); }, 5s)) << "the other watch was not flagged";
    EXPECT_TRUE(helperLogged("watch: shared-memory file " + victim + " was cut short under its mapping; target dropped"));
    ASSERT_TRUE(helperAlive()) << "the helper died of the truncated file";

    stopWatch(other);
    EXPECT_TRUE(helperLogged("watch stopped (no targets remain)"));
    expectRecovered();
}

} // namespace
} // namespace mq
