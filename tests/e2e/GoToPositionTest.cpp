// The Go to Position operations through real processes: the client library,
// marquee-helper (with its stored actions and keystroke scripts) and logicsim.
// Each case checks the reply, where logicsim's playhead is afterwards, that no
// dialog is left open, and the helper's log.
#include "tests/harness/HelperHarness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::HelperHarness;

class GoToPosition : public ::testing::Test {
protected:
    HelperHarness harness { HelperHarness::Desktop::logicSim };

    std::unique_ptr<client::HelperConnection> connection = harness.connect();

    json& sim() { return m_lastState = harness.logicSim().state(); }
    double playhead() { return sim()["transport"]["playheadSeconds"].get<double>(); }
    std::vector<std::string> logicWindows()
    {
        std::vector<std::string> keys;
        for (const auto& app : sim()["applications"])
            if (app.value("bundleIdentifier", "") == "com.apple.logic10")
                for (const auto& window : app["windows"])
                    keys.push_back(window.value("key", ""));
        return keys;
    }
    void setTransport(const json& settings) { harness.logicSim().ctl("set-transport", settings); }

private:
    json m_lastState;
};

// The playhead is away from bar 1, and Logic takes the typed bar 120 ms after Tab
// (well within what a loaded machine shows): a read before Logic took it would
// report the playhead's time, not bar 1's.
TEST_F(GoToPosition, ProjectStartAtTwentyFiveFrames)
{
    setTransport({ { "playheadSeconds", 3725.0 } });
    harness.logicSim().ctl("set-latency", { { "commitMs", 120 } });
    auto result = connection->readLogicProjectStartSMPTEWithFrameRate({ 25.0, false }, 10s);
    ASSERT_TRUE(result.hasValue());
    auto [seconds, viewOffset, mode, ok, error] = result.value();
    EXPECT_TRUE(ok);
    EXPECT_FALSE(error);
    EXPECT_EQ(seconds, 3600.0);
    EXPECT_EQ(viewOffset, 0.0);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(playhead(), 3725.0) << "reading the project start moved the playhead";
    EXPECT_EQ(logicWindows(), std::vector<std::string> { "project" }) << "the dialog was left open";
    EXPECT_TRUE(harness.helper().waitForLine("readLogicProjectStartSMPTE: bar 1 == 01:00:00:00 (3600.000000s), Logic display mode 0", 2s));
}

TEST_F(GoToPosition, ProjectStartReportsTheDisplayModeAndViewOffset)
{
    struct Case {
        json transport;
        std::int64_t mode;
        double viewOffset;
    };
    const Case cases[] = {
        { { { "displayLayout", "subframes" } }, 1, 0.0 },
        { { { "displayLayout", "quarterFrames" } }, 2, 0.0 },
        { { { "displayLayout", "secondsFraction:3" } }, 3, 0.0 },
        { { { "displayLayout", "frames" }, { "dialogFields", "children" } }, 0, 0.0 },
        { { { "displayLayout", "frames" }, { "dialogFields", "text" }, { "smpteViewOffsetSeconds", 1.0 } }, 0, 1.0 },
    };
    setTransport({ { "playheadSeconds", 3661.0 } });
    for (const auto& c : cases) {
        setTransport(c.transport);
        auto result = connection->readLogicProjectStartSMPTEWithFrameRate({ 25.0, false }, 10s);
        ASSERT_TRUE(result.hasValue());
        auto [seconds, viewOffset, mode, ok, error] = result.value();
        EXPECT_TRUE(ok) << c.transport.dump() << (error ? error->localizedDescription : "");
        EXPECT_EQ(mode, c.mode) << c.transport.dump();
        EXPECT_EQ(viewOffset, c.viewOffset) << c.transport.dump();
        EXPECT_EQ(logicWindows(), std::vector<std::string> { "project" }) << c.transport.dump();
    }
}

TEST_F(GoToPosition, MovesLandWhereTheReplySays)
{
    struct Case {
        json transport;
        double target;
        double frameRate;
        bool dropFrame;
        const char* typed;
        double landed; // NaN: not readable exactly
    };
    const double nan = std::nan("");
    const Case cases[] = {
        { { { "frameRate", 25 } }, 3661.52, 25.0, false, "typed 01:01:01:13, landed 01:01:01:13", 3661.52 },
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, 60.0, 29.97, true, "typed 00:01:00:02, landed 00:01:00:02", 60.0 + 2 / 29.97 },
        { { { "frameRate", 25 }, { "dropFrame", false }, { "displayLayout", "subframes" } }, 3610.5, 25.0, false,
            "typed 01:00:10:12:00, landed 01:00:10:12.00", 3610.48 },
        { { { "displayLayout", "secondsFraction:3" } }, 3600.25, 25.0, false, "typed 01:00:00:240, landed 01:00:00,240", nan },
    };
    for (const auto& c : cases) {
        setTransport(c.transport);
        auto result = connection->goToLogicPlayheadSMPTESeconds({ c.target, c.frameRate, c.dropFrame }, 10s);
        ASSERT_TRUE(result.hasValue());
        auto [landed, viewOffset, ok, error] = result.value();
        EXPECT_TRUE(ok) << c.typed;
        EXPECT_FALSE(error) << c.typed;
        if (std::isnan(c.landed)) {
            EXPECT_TRUE(std::isnan(landed)) << c.typed << ": " << landed;
        } else {
            EXPECT_NEAR(landed, c.landed, 1e-9) << c.typed;
        }
        EXPECT_TRUE(harness.helper().waitForLine(c.typed, 2s)) << c.typed;
        EXPECT_EQ(logicWindows(), std::vector<std::string> { "project" }) << c.typed;
    }
}

TEST_F(GoToPosition, PlayheadAfterAMoveIsWhereLogicPutIt)
{
    auto moved = connection->goToLogicPlayheadSMPTESeconds({ 3700.0, 25.0, false }, 10s);
    ASSERT_TRUE(moved.hasValue());
    EXPECT_EQ(std::get<0>(moved.value()), 3700.0);
    EXPECT_EQ(playhead(), 3700.0);
    auto read = connection->readLogicPlayheadSMPTEWithFrameRate({ 25.0, false }, 10s);
    ASSERT_TRUE(read.hasValue());
    EXPECT_EQ(std::get<0>(read.value()), 3700.0);
    EXPECT_TRUE(std::get<1>(read.value()));
    EXPECT_EQ(logicWindows(), std::vector<std::string> { "project" });
}

TEST_F(GoToPosition, ProjectEndClampsTheLanding)
{
    setTransport({ { "projectEndSeconds", 3650.0 } });
    auto moved = connection->goToLogicPlayheadSMPTESeconds({ 4000.0, 25.0, false }, 10s);
    ASSERT_TRUE(moved.hasValue());
    EXPECT_TRUE(std::get<2>(moved.value())); // Reported, not checked: still a success.
    EXPECT_EQ(std::get<0>(moved.value()), 3650.0);
    EXPECT_EQ(playhead(), 3650.0);
}

TEST_F(GoToPosition, DefaultButtonRefusingAXPressStillConfirmsThroughReturn)
{
    harness.logicSim().ctl("fault", { { "op", "ax.performAction" }, { "action", "AXPress" }, { "error", -25200 } });
    auto moved = connection->goToLogicPlayheadSMPTESeconds({ 3620.0, 25.0, false }, 10s);
    ASSERT_TRUE(moved.hasValue());
    EXPECT_TRUE(std::get<2>(moved.value()));
    EXPECT_EQ(playhead(), 3620.0);
    EXPECT_EQ(logicWindows(), std::vector<std::string> { "project" });
    EXPECT_TRUE(harness.helper().waitForLine("pressDefaultButton: default-button AXPress unavailable — falling back to Return keystroke", 2s));
}

// Logic takes a typed position some time after Tab; the helper reads where it
// landed only after its settle pause. With the commit taking 250 ms, a move
// that read or confirmed any sooner would land nowhere.
TEST_F(GoToPosition, TheLandingIsReadAfterLogicTookTheTypedPosition)
{
    harness.logicSim().ctl("set-latency", { { "commitMs", 250 }, { "windowOpenMs", { 80, 250 } } });
    auto moved = connection->goToLogicPlayheadSMPTESeconds({ 3700.0, 25.0, false }, 10s);
    ASSERT_TRUE(moved.hasValue());
    auto [landed, viewOffset, ok, error] = moved.value();
    EXPECT_TRUE(ok);
    EXPECT_FALSE(error);
    EXPECT_EQ(landed, 3700.0);
    EXPECT_EQ(playhead(), 3700.0);
    EXPECT_EQ(logicWindows(), std::vector<std::string> { "project" });
    EXPECT_TRUE(harness.helper().waitForLine("typed 01:01:40:00, landed 01:01:40:00", 2s));
    bool entered = false;
    for (const auto& event : sim()["events"])
        entered = entered || (event.value("type", "") == "goToPosition.entered" && event.value("seconds", 0.0) == 3700.0);
    EXPECT_TRUE(entered) << "logicsim never took the typed position";
}

// The control bar and the dialog show one label for one position, so the view
// offset the helper measures is 0 when the scenario sets none: at 29.97 drop
// frame (where 3600 s is 01:00:03:18 in both) and past 24 hours (where both wrap).
TEST_F(GoToPosition, ViewOffsetIsZeroAtDropFrameAndPastADay)
{
    for (double position : { 3600.0, 90000.0 + 7.5 }) {
        setTransport({ { "frameRate", 29.97 }, { "dropFrame", true }, { "projectEndSeconds", 200000.0 }, { "playheadSeconds", position } });
        auto start = connection->readLogicProjectStartSMPTEWithFrameRate({ 29.97, true }, 10s);
        ASSERT_TRUE(start.hasValue());
        auto [seconds, viewOffset, mode, ok, error] = start.value();
        EXPECT_TRUE(ok) << position << (error ? error->localizedDescription : "");
        EXPECT_EQ(viewOffset, 0.0) << position;
        EXPECT_EQ(logicWindows(), std::vector<std::string> { "project" }) << position;
        EXPECT_TRUE(harness.helper().waitForLine("→ view offset 0.000000s", 2s)) << position;
        EXPECT_FALSE(harness.helper().hasLine("→ view offset -")) << position;
    }
    auto moved = connection->goToLogicPlayheadSMPTESeconds({ 90000.0 + 60.0, 29.97, true }, 10s);
    ASSERT_TRUE(moved.hasValue());
    EXPECT_EQ(std::get<1>(moved.value()), 0.0);
}

// A Go to Position dialog that Logic shows as a sheet is not one of its windows,
// so the helper's dialog wait does not find it: the read fails with its error
// after the wait, and nothing is typed into a dialog the helper never saw.
TEST_F(GoToPosition, ADialogShownAsASheetIsNotTakenForTheDialog)
{
    harness.logicSim().ctl("sheets", { { "keys", { "go-to-position" } } });
    double before = playhead();
    auto moved = connection->goToLogicPlayheadSMPTESeconds({ 3700.0, 25.0, false }, 10s);
    ASSERT_TRUE(moved.hasValue());
    const auto& error = std::get<3>(moved.value());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 82);
    EXPECT_EQ(error->localizedDescription, "Go to Position dialog did not appear in time");
    EXPECT_TRUE(harness.helper().waitForLine("waitForLogicModalDialog (Go to Position (move playhead)) timed out", 2s));
    EXPECT_EQ(playhead(), before);
    json state = sim();
    EXPECT_TRUE(state["dialogResults"].empty()) << state["dialogResults"].dump();
    EXPECT_TRUE(state["keyEvents"].empty()) << "typed into a dialog it never found: " << state["keyEvents"].dump();
}

TEST_F(GoToPosition, LogicClosedFailsAtOnce)
{
    harness.logicSim().ctl("quit", { { "app", "logic" } });
    auto start = std::chrono::steady_clock::now();
    auto read = connection->readLogicPlayheadSMPTEWithFrameRate({ 25.0, false }, 10s);
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(read.hasValue());
    auto [seconds, ok, error] = read.value();
    EXPECT_EQ(seconds, 0.0);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 81);
    EXPECT_EQ(error->localizedDescription, "Could not read the playhead from the Go to Position dialog");
    // Failing at once means without waiting out the dialog's 2 s time-out (the
    // figure is in bench/e2e/go_to_position_timing).
    EXPECT_LT(elapsed, 2s);
    EXPECT_FALSE(harness.helper().hasLine("timed out"));
    EXPECT_TRUE(harness.helper().waitForLine("readLogicPlayheadSMPTE failed: Could not read the playhead from the Go to Position dialog", 2s));

    auto start2 = connection->readLogicProjectStartSMPTEWithFrameRate({ 25.0, false }, 10s);
    ASSERT_TRUE(start2.hasValue());
    EXPECT_EQ(std::get<4>(start2.value())->code, 50);
    EXPECT_EQ(std::get<2>(start2.value()), -1);

    auto move = connection->goToLogicPlayheadSMPTESeconds({ 3600.0, 25.0, false }, 10s);
    ASSERT_TRUE(move.hasValue());
    EXPECT_EQ(std::get<3>(move.value())->code, 82);
    EXPECT_TRUE(std::isnan(std::get<1>(move.value())));
}

} // namespace
} // namespace mq
