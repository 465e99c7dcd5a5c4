// Arguments that cannot stand for what they name used to become wrong successes
// or half-done work in Logic: a NaN or infinite timecode typed as 00:00:00:00, a
// negative duration as a marker 0 s long, a line feed in a marker's name typed as
// a Return (an empty-named marker and Logic's name editor left open), a file URL
// cut at a NUL byte or taken relative to Logic's directory. Each is now refused
// before anything reaches Logic: the operation's failure, with a message naming
// the argument, and Logic exactly as it was.
#include "tests/hostile/HostileFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::int64_t kInvalidArgument = 2;

class ArgumentChecks : public test::HostileTest {
protected:
    json state() { return harness.logicSim().state(); }
    /// What logicsim saw happen (stored actions, keys, clicks, windows) and what
    /// Logic holds (markers, regions, playhead, open windows).
    json logicAsItIs()
    {
        json world = state();
        json logic = world["logic"];
        json windows = json::array();
        for (const auto& app : world["applications"])
            if (app.value("bundleIdentifier", "") == "com.apple.logic10")
                for (const auto& window : app["windows"])
                    windows.push_back(window.value("key", ""));
        return json { { "events", world["events"].size() }, { "markers", logic["markers"] }, { "windows", windows },
            { "transport", world["transport"] } };
    }
    void expectRefused(const std::string& what, const std::function<OptionalError()>& request, const std::string& argument)
    {
        SCOPED_TRACE(what);
        json before = logicAsItIs();
        OptionalError error = request();
        ASSERT_TRUE(error) << "answered success";
        EXPECT_EQ(error->code, kInvalidArgument) << error->localizedDescription;
        EXPECT_NE(error->localizedDescription.find(argument), std::string::npos) << error->localizedDescription;
        EXPECT_EQ(logicAsItIs(), before) << "something reached Logic";
    }
};

TEST_F(ArgumentChecks, BadMarkerArgumentsAreRefusedBeforeLogicIsTouched)
{
    struct Row {
        const char* what;
        double start;
        double duration;
        std::string name;
        const char* argument;
    };
    const Row rows[] = {
        { "NaN start", kNaN, 2.0, "Clip", "timecodeSeconds" },
        { "infinite start", kInfinity, 2.0, "Clip", "timecodeSeconds" },
        { "start of 1e300", 1e300, 2.0, "Clip", "timecodeSeconds" },
        { "negative duration", 3600.0, -2.0, "Clip", "durationSeconds" },
        { "NaN duration", 3600.0, kNaN, "Clip", "durationSeconds" },
        { "infinite duration", 3600.0, kInfinity, "Clip", "durationSeconds" },
        { "line feed in the name", 3600.0, 2.0, "Scene\nTwo", "displayName" },
        { "carriage return in the name", 3600.0, 2.0, "Scene\rTwo", "displayName" },
        { "escape in the name", 3600.0, 2.0, "Scene\x1b", "displayName" },
        { "line separator in the name", 3600.0, 2.0, "Scene\xe2\x80\xa8Two", "displayName" },
    };
    for (const Row& row : rows)
        expectRefused(row.what, [&] {
            auto reply = connection->createLogicMarkerWithTimecodeSeconds({ row.start, row.duration, row.name, 3, 0.0, 25.0, false }, 30s);
            EXPECT_TRUE(reply.hasValue());
            if (!reply.hasValue())
                return OptionalError {};
            EXPECT_FALSE(std::get<0>(reply.value()));
            EXPECT_TRUE(std::isnan(std::get<1>(reply.value())));
            return std::get<2>(reply.value());
        }, row.argument);
    EXPECT_TRUE(logicAsItIs()["markers"].empty());
    EXPECT_TRUE(helperLogged("createLogicMarker failed: Invalid displayName"));
}

TEST_F(ArgumentChecks, BadFileURLsAndPositionsAreRefusedForPlacementBounceAndGoTo)
{
    const URL nulInPath = *URL::parse("file:///tmp/plain.wav%00.txt");
    const URL relative = *URL::parse("file:files/plain.wav");
    for (const URL* url : { &nulInPath, &relative }) {
        expectRefused("placement of " + url->absoluteString(), [&] {
            auto reply = connection->placeAudioFileWithURL({ *url, 3600.0, "A", false, "", -1, false, 0.0, 25.0, false }, 30s);
            EXPECT_TRUE(reply.hasValue());
            return reply.hasValue() ? std::get<2>(reply.value()) : OptionalError {};
        }, "url");
        expectRefused("bounce step 2 with " + url->absoluteString(), [&] {
            auto reply = connection->bounceOpenMovieWithURL({ *url, 0.0 }, 30s);
            EXPECT_TRUE(reply.hasValue());
            return reply.hasValue() ? std::get<1>(reply.value()) : OptionalError {};
        }, "movieURL");
    }
    expectRefused("placement named with a tab", [&] {
        auto reply = connection->placeAudioFileWithURL(
            { URL::fileURLWithPath("/tmp/plain.wav"), 3600.0, "A", true, "Track\tB", -1, false, 0.0, 25.0, false }, 30s);
        return reply.hasValue() ? std::get<2>(reply.value()) : OptionalError {};
    }, "trackName");
    for (double seconds : { kNaN, kInfinity, -kInfinity }) {
        expectRefused("go to " + std::to_string(seconds), [&] {
            auto reply = connection->goToLogicPlayheadSMPTESeconds({ seconds, 25.0, false }, 30s);
            EXPECT_TRUE(reply.hasValue());
            if (!reply.hasValue())
                return OptionalError {};
            EXPECT_FALSE(std::get<2>(reply.value()));
            return std::get<3>(reply.value());
        }, "seconds");
        expectRefused("bounce step 1 to " + std::to_string(seconds), [&] {
            auto reply = connection->bounceGoToPositionWithTimecodeSeconds({ seconds, false, 0.0, 25.0, false }, 30s);
            EXPECT_TRUE(reply.hasValue());
            return reply.hasValue() ? std::get<2>(reply.value()) : OptionalError {};
        }, "timecodeSeconds");
    }
    // A negative position is still taken, as 0.
    auto moved = connection->goToLogicPlayheadSMPTESeconds({ -5.0, 25.0, false }, 30s);
    ASSERT_TRUE(moved.hasValue());
    EXPECT_TRUE(std::get<2>(moved.value())) << (std::get<3>(moved.value()) ? std::get<3>(moved.value())->localizedDescription : "");
    EXPECT_DOUBLE_EQ(std::get<0>(moved.value()), 0.0);
}

} // namespace
} // namespace mq
