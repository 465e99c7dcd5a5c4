// A client starts monitors on ever new paths. Each target is a mapping; without a
// bound the process runs out of mappings and the next thread it starts aborts it.
// Each monitor takes at most 256 targets and refuses the next with a log line.
#include "tests/hostile/HostileFixture.h"

#include <unistd.h>

namespace mq {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kLimit = 256;

// Logic is not running, so that each start is quick: a scrub start then answers
// false (no display yet) but registers its target, whose file it creates.
class MonitorTargetCap : public test::HostileTest {
protected:
    MonitorTargetCap()
        : HostileTest(std::string(MQ_SCENARIO_DIR) + "/logic-not-running.json")
    {
    }
    bool exists(const std::string& file) { return ::access(file.c_str(), F_OK) == 0; }

    std::string path(const std::string& kind, std::size_t i) { return harness.runtimeDir().file(kind + std::to_string(i)); }
};

TEST_F(MonitorTargetCap, TheScrubReaderRefusesTheTargetPastTheLimit)
{
    ASSERT_TRUE(connection->startTransportScrubObservingWithFrameRate({ 25.0, false, path("warm-up", 0) }, 10s).hasValue());
    ASSERT_TRUE(connection->stopTransportScrubObservingForShmPath({ path("warm-up", 0) }, 10s).hasValue());
    takeBaseline();

    for (std::size_t i = 0; i < kLimit; ++i) {
        auto reply = connection->startTransportScrubObservingWithFrameRate({ 25.0, false, path("scrub", i) }, 10s);
        ASSERT_TRUE(reply.hasValue()) << "target " << i;
        ASSERT_TRUE(exists(path("scrub", i))) << "target " << i << " was not registered";
    }
    EXPECT_EQ(harness.countLogLines("scrub: target limit"), 0u);
    auto refused = connection->startTransportScrubObservingWithFrameRate({ 25.0, false, path("scrub", kLimit) }, 10s);
    ASSERT_TRUE(refused.hasValue());
    EXPECT_FALSE(std::get<0>(refused.value()));
    EXPECT_TRUE(helperLogged("scrub: target limit 256 reached; start refused"));
    EXPECT_FALSE(exists(path("scrub", kLimit))) << "a refused start creates no file";

    for (std::size_t i = 0; i < kLimit; ++i)
        ASSERT_TRUE(connection->stopTransportScrubObservingForShmPath({ path("scrub", i) }, 10s).hasValue());
    EXPECT_TRUE(helperLogged("scrub: stopped (no targets remain)"));
    expectRecovered();
}

TEST_F(MonitorTargetCap, TheCloseWatcherRefusesTheTargetPastTheLimit)
{
    ASSERT_TRUE(std::get<0>(connection->startProjectCloseWatchForShmPath({ path("warm-up", 0) }, 10s).value()));
    ASSERT_TRUE(connection->stopProjectCloseWatchForShmPath({ path("warm-up", 0) }, 10s).hasValue());
    takeBaseline();

    for (std::size_t i = 0; i < kLimit; ++i) {
        auto reply = connection->startProjectCloseWatchForShmPath({ path("watch", i) }, 10s);
        ASSERT_TRUE(reply.hasValue() && std::get<0>(reply.value())) << "target " << i;
    }
    auto refused = connection->startProjectCloseWatchForShmPath({ path("watch", kLimit) }, 10s);
    ASSERT_TRUE(refused.hasValue());
    EXPECT_FALSE(std::get<0>(refused.value()));
    EXPECT_TRUE(helperLogged("watch start refused: target limit 256 reached"));
    EXPECT_FALSE(exists(path("watch", kLimit)));

    for (std::size_t i = 0; i < kLimit; ++i)
        ASSERT_TRUE(connection->stopProjectCloseWatchForShmPath({ path("watch", i) }, 10s).hasValue());
    EXPECT_TRUE(helperLogged("watch stopped (no targets remain)"));
    expectRecovered();
}

} // namespace
} // namespace mq
