// Audio placement through real processes: the client library, marquee-helper
// and logicsim. Each case checks the reply, the tracks, regions, Apple Events,
// stored actions, scripts and colour clicks as logicsim reports them
// afterwards, and the helper's log.
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestAudioFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <filesystem>
#include <future>
#include <sys/stat.h>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::AudioFormat;
using test::HelperHarness;

struct Placement {
    std::string path;
    double seconds { 3605.2 };
    std::string displayName;
    bool createNewTrack { false };
    std::string trackName;
    std::int64_t color { -1 };
    bool colorTrack { false };
    double pacing { 0 };
    double frameRate { 25 };
    bool dropFrame { false };
};

class Placing : public ::testing::Test {
protected:
    HelperHarness harness { HelperHarness::Desktop::logicSim };
    std::unique_ptr<client::HelperConnection> connection = harness.connect();

    json ctl(const std::string& command, const json& args = json::object()) { return harness.logicSim().ctl(command, args); }
    json only(std::initializer_list<const char*> parts)
    {
        json names = json::array();
        for (const char* part : parts)
            names.push_back(part);
        return ctl("state", { { "only", names } });
    }
    json logic() { return only({ "logic" })["logic"]; }

    std::string audioFile(const std::string& name, std::int64_t frames, int sampleRate, AudioFormat format = AudioFormat::wav)
    {
        std::string path = harness.runtimeDir().file(name);
        test::writeTestAudioFile(path, format, frames, sampleRate);
        return path;
    }

    using PlaceReply = std::tuple<bool, double, OptionalError>;
    PlaceReply place(const Placement& p)
    {
        auto result = connection->placeAudioFileWithURL({ URL::fileURLWithPath(p.path), p.seconds, p.displayName, p.createNewTrack, p.trackName,
                                                            p.color, p.colorTrack, p.pacing, p.frameRate, p.dropFrame },
            30s);
        EXPECT_TRUE(result.ok());
        if (!result.ok())
            return { false, 0.0, std::nullopt };
        return result.value();
    }

    /// The stored actions Logic ran, in order.
    std::vector<int> storedActions()
    {
        std::vector<int> codes;
        json world = only({ "events" });
        for (const auto& e : world["events"])
            if (e.value("type", "") == "storedAction")
                codes.push_back(e.value("code", 0));
        return codes;
    }
    std::vector<json> eventsOfType(const std::string& type)
    {
        std::vector<json> found;
        json world = only({ "events" });
        for (const auto& e : world["events"])
            if (e.value("type", "") == type)
                found.push_back(e);
        return found;
    }
    std::vector<std::string> scriptSources()
    {
        std::vector<std::string> sources;
        json world = only({ "scripts" });
        for (const auto& s : world["scripts"])
            sources.push_back(s.value("source", ""));
        return sources;
    }
    /// "keyword type size" of each parameter of the Apple Event number `index`.
    std::vector<std::string> parameterLayout(std::size_t index)
    {
        std::vector<std::string> out;
        json events = only({ "appleEvents" })["appleEvents"];
        if (index >= events.size())
            return out;
        for (const auto& p : events[index]["parameters"])
            out.push_back(p["keyword"].get<std::string>() + " " + p["type"].get<std::string>() + " " + std::to_string(p["size"].get<int>()));
        return out;
    }
    bool helperLogged(std::string_view text) { return harness.helper().waitForLine(text, 2s); }
};

std::string errorText(const OptionalError& error) { return error ? error->localizedDescription : std::string("no error"); }

const std::vector<std::string> kParametersWithoutName { "sPmo long 4", "sPfi fsrf 80", "sPve long 4", "sPtn long 4", "sPss long 4", "sPst long 4",
    "sPsp long 4" };

TEST_F(Placing, OnANewNamedTrackColouredRegionAndTrack)
{
    std::string path = audioFile("line 12.wav", 96000, 48000); // 2 s
    auto [ok, viewOffset, error] = place({ path, 3605.2, "Line 12", true, "Dia \"A\" \\ B", 12, true, 0, 25, false });
    ASSERT_TRUE(ok) << errorText(error);
    EXPECT_EQ(viewOffset, 0.0);

    json l = logic();
    ASSERT_EQ(l["tracks"].size(), 1u) << l.dump();
    EXPECT_EQ(l["tracks"][0]["name"], "Dia \"A\" \\ B");
    EXPECT_EQ(l["tracks"][0]["color"], 12);
    ASSERT_EQ(l["regions"].size(), 1u) << l.dump();
    json region = l["regions"][0];
    EXPECT_EQ(region["track"], 0);
    EXPECT_EQ(region["name"], "Line 12");
    EXPECT_EQ(region["startLabel"], "01:00:05:05");
    EXPECT_NEAR(region["start"].get<double>(), 3605.2, 1e-9);
    EXPECT_DOUBLE_EQ(region["length"].get<double>(), 2.0);
    EXPECT_EQ(region["color"], 12);
    EXPECT_EQ(region["file"], path);

    // One cell, clicked twice: the region, then the track with Command.
    auto clicks = eventsOfType("colorClick");
    ASSERT_EQ(clicks.size(), 2u);
    EXPECT_EQ(clicks[0]["cell"], 12);
    EXPECT_EQ(clicks[0]["command"], false);
    EXPECT_EQ(clicks[1]["cell"], 12);
    EXPECT_EQ(clicks[1]["command"], true);
    auto actions = storedActions();
    for (int code : { 21, 1795, 571, 584, 358, 362, 347 })
        EXPECT_NE(std::find(actions.begin(), actions.end(), code), actions.end()) << code;
    EXPECT_LT(std::find(actions.begin(), actions.end(), 571) - actions.begin(), std::find(actions.begin(), actions.end(), 584) - actions.begin());

    EXPECT_EQ(parameterLayout(0).back(), "sPrg utf8 7");
    EXPECT_TRUE(helperLogged("  url=" + path));
    EXPECT_TRUE(helperLogged("  createNewTrack=true"));
    EXPECT_TRUE(helperLogged("MQSpotToTimeline: sent for " + path + " (region 'Line 12')"));
    EXPECT_TRUE(helperLogged("placeAudioFile: spotted at 01:00:05:05"));
}

TEST_F(Placing, AtTheTimecodeToTheFrameInDropFrame)
{
    ctl("set-transport", { { "frameRate", 29.97 }, { "dropFrame", true } });
    ctl("set-logic", { { "tracks", { { { "name", "Dialogue" } }, { { "name", "Effects" } } } }, { "selectedTrack", 1 } });
    std::string path = audioFile("door.aiff", 44100 * 3 + 441, 44100, AudioFormat::aiff); // 3.01 s
    // Frame 109815 of the timeline (counted at 30 a second): with two labels
    // dropped in each of 55 minutes that are not a tenth one, 01:01:04;05.
    auto [ok, viewOffset, error] = place({ path, 3660.5, "Door", false, "", -1, false, 0, 29.97, true });
    ASSERT_TRUE(ok) << errorText(error);
    json regions = logic()["regions"];
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0]["startLabel"], "01:01:04:05");
    EXPECT_NEAR(regions[0]["start"].get<double>(), 3660.5, 1e-9);
    EXPECT_DOUBLE_EQ(regions[0]["length"].get<double>(), 3.01);
    EXPECT_EQ(regions[0]["track"], 1) << "on the selected track";
    EXPECT_EQ(regions[0]["color"], nullptr);
    EXPECT_TRUE(helperLogged("placeAudioFile: spotted at 01:01:04:05"));
    EXPECT_EQ(logic()["tracks"].size(), 2u);
}

TEST_F(Placing, WithoutNamesOrANewTrackOrColour)
{
    std::string path = audioFile("room tone.flac", 4800, 48000, AudioFormat::flac);
    auto [ok, viewOffset, error] = place({ path, 3601.0, "", false, "", -1, false, 0, 25, false });
    ASSERT_TRUE(ok) << errorText(error);
    // No name: the event goes without 'sPrg', and Logic names the region after the file.
    EXPECT_EQ(parameterLayout(0), kParametersWithoutName);
    json l = logic();
    ASSERT_EQ(l["regions"].size(), 1u);
    EXPECT_EQ(l["regions"][0]["name"], "room tone");
    // No track was selected: Logic made one for the file; the helper made none.
    EXPECT_EQ(l["tracks"], json::parse(R"([{"name":"Audio 1","color":null,"selected":true}])"));
    auto actions = storedActions();
    for (int code : { 1795, 571, 347 })
        EXPECT_EQ(std::find(actions.begin(), actions.end(), code), actions.end()) << code;
    auto scripts = scriptSources();
    ASSERT_EQ(scripts.size(), 1u) << "only the Move-playhead script";
    EXPECT_NE(scripts[0].find("keystroke \"01:00:01:00\""), std::string::npos) << scripts[0];
    EXPECT_TRUE(eventsOfType("colorClick").empty());
    EXPECT_TRUE(helperLogged("MQSpotToTimeline: sent for " + path + " (region '')"));
}

TEST_F(Placing, AnEmptyTrackNameTypesMovieAudioAndOneClickColoursTheRegionOnly)
{
    std::string path = audioFile("a.wav", 48000, 48000);
    auto [ok, viewOffset, error] = place({ path, 3602.0, "A", true, "", 40, false, 0, 25, false });
    ASSERT_TRUE(ok) << errorText(error);
    json l = logic();
    ASSERT_EQ(l["tracks"].size(), 1u);
    EXPECT_EQ(l["tracks"][0]["name"], "Movie Audio");
    EXPECT_EQ(l["tracks"][0]["color"], nullptr);
    EXPECT_EQ(l["regions"][0]["color"], 40);
    auto clicks = eventsOfType("colorClick");
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0]["command"], false);
    auto scripts = scriptSources();
    ASSERT_EQ(scripts.size(), 2u);
    EXPECT_NE(scripts[1].find("keystroke \"a\" using {command down}\n        keystroke \"Movie Audio\"\n        keystroke return\n    end tell\nend tell"),
        std::string::npos)
        << scripts[1];
}

TEST_F(Placing, APathThatDoesNotExistFailsWithThePlatformsStatus)
{
    std::string path = harness.runtimeDir().file("missing.wav");
    auto [ok, viewOffset, error] = place({ path, 3602.0, "Gone", true, "T", 3, true, 0, 25, false });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::isnan(viewOffset));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 30);
    EXPECT_EQ(error->localizedDescription, "Spot-to-timeline Apple Event failed (OSStatus -43)");
    EXPECT_TRUE(only({ "appleEvents" })["appleEvents"].empty());
    EXPECT_TRUE(logic()["regions"].empty());
    EXPECT_TRUE(helperLogged("MQSpotToTimeline: FSPathMakeRef failed (-43) for " + path));
    EXPECT_TRUE(helperLogged("placeAudioFile failed: Spot-to-timeline Apple Event failed (OSStatus -43)"));
    // Nothing after the failed spot: no selection, colour or closing step.
    auto actions = storedActions();
    for (int code : { 584, 358, 362, 347 })
        EXPECT_EQ(std::find(actions.begin(), actions.end(), code), actions.end()) << code;
}

TEST_F(Placing, AURLThatIsNotAFileURLNamesNoFile)
{
    // Its path text names a file that exists here, which must not be the one placed.
    std::string path = audioFile("a.wav", 480, 48000);
    auto url = URL::parse("https://example.com" + path);
    ASSERT_TRUE(url);
    auto result = connection->placeAudioFileWithURL({ *url, 3602.0, "A", false, "", -1, false, 0.0, 25.0, false }, 30s);
    ASSERT_TRUE(result.ok());
    auto [ok, viewOffset, error] = result.value();
    EXPECT_FALSE(ok);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 30);
    EXPECT_EQ(error->localizedDescription, "Spot-to-timeline Apple Event failed (OSStatus -43)");
    EXPECT_TRUE(helperLogged("  url=https://example.com" + path));
    EXPECT_TRUE(logic()["regions"].empty());
    EXPECT_TRUE(only({ "appleEvents" })["appleEvents"].empty());
}

// The event is accepted (it expects no reply), but Logic cannot import what it
// names and shows its alert: the placement fails with the alert's text, the alert
// is dismissed, and the region selected before keeps its colour.
TEST_F(Placing, WhatLogicCannotImportFailsWithItsAlertWhichIsDismissed)
{
    const std::string dir = harness.runtimeDir().file("");
    std::ofstream(dir + "notes.wav") << "these are notes, not audio";
    std::filesystem::create_directory(dir + "takes");
    ASSERT_EQ(::mkfifo((dir + "pipe.wav").c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string name;
    };
    const Case cases[] = { { dir + "notes.wav", "notes.wav" }, { dir + "takes", "takes" }, { dir + "pipe.wav", "pipe.wav" }, { "/dev/zero", "zero" } };
    ctl("set-logic", { { "tracks", { { { "name", "Audio 1" } } } }, { "selectedTrack", 0 },
                         { "regions", { { { "track", 0 }, { "name", "Earlier" }, { "start", 3600.0 }, { "length", 1.0 }, { "color", 3 } } } },
                         { "selection", { { "kind", "region" }, { "index", 0 } } } });
    for (const Case& c : cases) {
        auto [ok, viewOffset, error] = place({ c.path, 3602.0, "Notes", false, "", 7, false, 0, 25, false });
        EXPECT_FALSE(ok) << c.path;
        ASSERT_TRUE(error) << c.path;
        EXPECT_EQ(error->code, 30);
        EXPECT_EQ(error->localizedDescription.rfind("Spot-to-timeline Apple Event failed (Logic: The file “" + c.name + "”", 0), 0u)
            << error->localizedDescription;
        json l = logic();
        ASSERT_EQ(l["regions"].size(), 1u) << c.path;
        EXPECT_EQ(l["regions"][0]["color"], 3) << c.path << ": the earlier region was coloured";
        json world = only({ "applications" });
        for (const auto& app : world["applications"])
            for (const auto& window : app["windows"])
                EXPECT_NE(window.value("key", ""), "spot-alert") << c.path << ": the alert was left open";
    }
    EXPECT_TRUE(eventsOfType("colorClick").empty());
}

// A slow Logic takes its time over each import: busy while it opens the file, it
// answers clicks and actions again while it reads the audio, long before the
// region shows. Each of two placements in a row on one track colours the region
// it made, and only that.
TEST_F(Placing, TwoInARowUnderASlowLogicEachColourTheirOwnRegion)
{
    ctl("set-latency", { { "profile", "slow" }, { "importMs", { 400, 500 } } });
    ctl("set-logic", { { "tracks", { { { "name", "Audio 1" } } } }, { "selectedTrack", 0 } });
    std::string first = audioFile("first.wav", 48000 * 20, 48000); // 20 s: a longer import
    std::string second = audioFile("second.wav", 48000, 48000);
    for (const auto& [path, color] : { std::pair { first, 5 }, std::pair { second, 9 } }) {
        auto [ok, viewOffset, error] = place({ path, color == 5 ? 3602.0 : 3640.0, "", false, "", color, false, 0, 25, false });
        ASSERT_TRUE(ok) << errorText(error);
    }
    json l = logic();
    ASSERT_EQ(l["regions"].size(), 2u) << l.dump();
    EXPECT_EQ(l["regions"][0]["name"], "first");
    EXPECT_EQ(l["regions"][0]["color"], 5) << l.dump();
    EXPECT_EQ(l["regions"][1]["name"], "second");
    EXPECT_EQ(l["regions"][1]["color"], 9) << l.dump();
}

TEST_F(Placing, LogicNotRunningFailsBeforeAnythingIsTyped)
{
    ctl("quit", { { "app", "logic" } });
    auto [ok, viewOffset, error] = place({ audioFile("a.wav", 480, 48000), 3602.0, "A", true, "", -1, false, 0, 25, false });
    EXPECT_FALSE(ok);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 27);
    EXPECT_EQ(error->localizedDescription, "Go to Position dialog did not appear in time");
    json world = only({ "keyEvents", "scripts", "appleEvents" });
    EXPECT_TRUE(world["keyEvents"].empty());
    EXPECT_TRUE(world["scripts"].empty());
    EXPECT_TRUE(world["appleEvents"].empty());
    EXPECT_TRUE(helperLogged("placeAudioFile failed: Go to Position dialog did not appear in time"));
}

// The stored actions need Automation of Logic too: denied from the start, the
// Go to Position dialog never opens and nothing is typed or sent.
TEST_F(Placing, AutomationOfLogicDeniedFailsWithItsStatus)
{
    ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "denied" } });
    auto [ok, viewOffset, error] = place({ audioFile("a.wav", 480, 48000), 3602.0, "A", false, "", -1, false, 0, 25, false });
    EXPECT_FALSE(ok);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 27) << errorText(error);
    json world = only({ "keyEvents", "appleEvents" });
    EXPECT_TRUE(world["keyEvents"].empty());
    EXPECT_TRUE(world["appleEvents"].empty());

    // Denied once the playhead moved (during a pacing pause): the spot event gets -1743.
    ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "allowed" } });
    std::future<PlaceReply> placing = std::async(std::launch::async, [&] { return place({ audioFile("b.wav", 480, 48000), 3640.0, "B", false, "", -1, false, 0.8, 25, false }); });
    auto moved = [&] { return only({ "transport" })["transport"]["playheadSeconds"] == 3640.0; };
    ASSERT_TRUE(test::eventually(moved, 10s, 5ms)) << "the playhead did not move";
    ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "denied" } });
    ASSERT_EQ(placing.wait_for(15s), std::future_status::ready);
    std::tie(ok, viewOffset, error) = placing.get();
    EXPECT_FALSE(ok);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 30);
    EXPECT_EQ(error->localizedDescription, "Spot-to-timeline Apple Event failed (OSStatus -1743)");
    json events = only({ "appleEvents" })["appleEvents"];
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["status"], -1743);
    EXPECT_TRUE(logic()["regions"].empty());
    EXPECT_TRUE(helperLogged("MQSpotToTimeline: AESendMessage failed (-1743)"));
}

TEST_F(Placing, LogicQuittingAfterThePlayheadMoveFailsTheSpotWithProcNotFound)
{
    std::string path = audioFile("a.wav", 480, 48000);
    // With a pacing pause before the spot, Logic quits once the playhead moved.
    std::future<PlaceReply> placing = std::async(std::launch::async, [&] { return place({ path, 3640.0, "A", false, "", -1, false, 0.8, 25, false }); });
    auto moved = [&] { return only({ "transport" })["transport"]["playheadSeconds"] == 3640.0; };
    ASSERT_TRUE(test::eventually(moved, 10s, 5ms)) << "the playhead did not move";
    ctl("quit", { { "app", "logic" } });
    ASSERT_EQ(placing.wait_for(15s), std::future_status::ready);
    auto [ok, viewOffset, error] = placing.get();
    EXPECT_FALSE(ok);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 30);
    EXPECT_EQ(error->localizedDescription, "Spot-to-timeline Apple Event failed (OSStatus -600)");
    // With no Logic running the event goes to Logic Pro's bundle identifier.
    json events = only({ "appleEvents" })["appleEvents"];
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["target"]["value"], "com.apple.logic10");
    EXPECT_EQ(events[0]["status"], -600);
    EXPECT_TRUE(helperLogged("MQSpotToTimeline: AESendMessage failed (-600)"));
}

} // namespace
} // namespace mq
