// Two clients move Logic's playhead at the same moment. Logic has one user
// interface: unserialized, each request types into the other's dialog and
// neither lands. The helper serves them one after the other, first come first
// served, and says so in its log.
#include "tests/hostile/HostileFixture.h"

#include <future>

namespace mq {
namespace {

using namespace std::chrono_literals;
using MoveResult = client::Result<protocol::goToLogicPlayheadSMPTESeconds::ReplyValues>;

class TwoClientsDriving : public test::HostileTest {};

TEST_F(TwoClientsDriving, EachMoveLandsItsOwnTargetAndTheLaterOneStays)
{
    auto warmUp = connection->goToLogicPlayheadSMPTESeconds({ 3600.0, 25.0, false }, 15s);
    ASSERT_TRUE(warmUp.hasValue() && std::get<2>(warmUp.value()));
    auto second = harness.connect();
    takeBaseline();

    const double targets[] = { 3661.52, 3725.0 };
    std::future<MoveResult> first = std::async(std::launch::async, [&] {
        return connection->goToLogicPlayheadSMPTESeconds({ targets[0], 25.0, false }, 30s);
    });
    std::future<MoveResult> other = std::async(std::launch::async, [&] {
        return second->goToLogicPlayheadSMPTESeconds({ targets[1], 25.0, false }, 30s);
    });
    ASSERT_EQ(first.wait_for(30s), std::future_status::ready);
    ASSERT_EQ(other.wait_for(30s), std::future_status::ready);
    MoveResult results[] = { first.get(), other.get() };

    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(results[i].hasValue()) << i;
        auto [landed, viewOffset, ok, error] = results[i].value();
        EXPECT_TRUE(ok) << i << (error ? ": " + error->localizedDescription : std::string());
        EXPECT_NEAR(landed, targets[i], 1e-9) << "move " << i << " landed somewhere else";
    }
    EXPECT_EQ(harness.countLogLines("goToLogicPlayheadSMPTESeconds: waiting for another request driving Logic"), 1u);
    EXPECT_EQ(harness.countLogLines("goToLogicPlayheadSMPTESeconds: driving Logic after waiting"), 1u);

    // The one served second set the playhead last.
    std::vector<std::string> lines = harness.helper().lines(test::ChildProcess::Stream::standardError);
    std::optional<double> servedLast;
    for (const std::string& line : lines) {
        if (line.find("goToLogicPlayheadSMPTESeconds: target=3661.520000s") != std::string::npos)
            servedLast = targets[0];
        if (line.find("goToLogicPlayheadSMPTESeconds: target=3725.000000s") != std::string::npos)
            servedLast = targets[1];
    }
    ASSERT_TRUE(servedLast);
    EXPECT_EQ(harness.logicSim().state()["transport"]["playheadSeconds"].get<double>(), *servedLast);

    auto dialogResults = harness.logicSim().state()["dialogResults"];
    std::size_t confirmed = 0;
    for (const auto& result : dialogResults)
        if (result.value("result", "") == "confirmed")
            ++confirmed;
    EXPECT_EQ(confirmed, 3u) << "the warm-up and both moves each confirmed their own dialog";
    expectRecovered();
}

} // namespace
} // namespace mq
