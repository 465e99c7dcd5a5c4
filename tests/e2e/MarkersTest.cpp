// Markers over clips through real processes: the client library, marquee-helper
// and logicsim. Each case checks the reply, Logic's markers, locators, marker
// track and Colors window as logicsim reports them afterwards, and the
// helper's log.
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::HelperHarness;

// A clip on a 25 fps timeline whose bar 1 is at 01:00:00:00.
struct Clip {
    double start;
    double duration;
    std::string name;
    std::int64_t color;
};

// A screen of 1920 x 1080 with a menu bar and a Dock (AppKit coordinates): its
// visible frame is (0, 25)-(1920, 1010) in top-left coordinates.
const json kScreenWithDock = json::array({ json { { "frame", { 0, 0, 1920, 1080 } }, { "visibleFrame", { 0, 70, 1920, 985 } } } });

class Markers : public ::testing::Test {
protected:
    HelperHarness harness { HelperHarness::Desktop::logicSim };
    std::unique_ptr<client::HelperConnection> connection = harness.connect();

    void SetUp() override { ctl("set-screens", { { "screens", kScreenWithDock } }); }

    json ctl(const std::string& command, const json& args = json::object()) { return harness.logicSim().ctl(command, args); }
    json state() { return harness.logicSim().state(); }
    json logic() { return state()["logic"]; }

    using MarkerReply = std::tuple<bool, double, OptionalError>;
    MarkerReply createMarker(const Clip& clip, client::HelperConnection* on = nullptr)
    {
        auto result = (on ? on : connection.get())
                          ->createLogicMarkerWithTimecodeSeconds({ clip.start, clip.duration, clip.name, clip.color, 0.0, 25.0, false }, 30s);
        EXPECT_TRUE(result.hasValue()) << clip.name;
        if (!result.hasValue())
            return { false, 0.0, std::nullopt };
        return result.value();
    }
    void closeBatch() { ASSERT_TRUE(connection->closeColorsWindowWithReply({}, 10s).hasValue()); }

    /// The stored actions Logic ran, in order.
    std::vector<int> storedActions()
    {
        std::vector<int> codes;
        json world = state(); // the loops below read into it
        for (const auto& e : world["events"])
            if (e.value("type", "") == "storedAction")
                codes.push_back(e.value("code", 0));
        return codes;
    }
    std::size_t countAction(int code)
    {
        auto codes = storedActions();
        return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
    }
    /// Logic's window with `key` as the state reports it; null when it is not open.
    json logicWindow(const std::string& key)
    {
        json world = state();
        for (const auto& app : world["applications"])
            if (app.value("bundleIdentifier", "") == "com.apple.logic10")
                for (const auto& window : app["windows"])
                    if (window.value("key", "") == key)
                        return window;
        return nullptr;
    }
    std::vector<std::string> logicWindowKeys()
    {
        std::vector<std::string> keys;
        json world = state();
        for (const auto& app : world["applications"])
            if (app.value("bundleIdentifier", "") == "com.apple.logic10")
                for (const auto& window : app["windows"])
                    keys.push_back(window.value("key", ""));
        return keys;
    }
    std::vector<json> colorClicks()
    {
        std::vector<json> clicks;
        json world = state();
        for (const auto& e : world["events"])
            if (e.value("type", "") == "colorClick")
                clicks.push_back(e);
        return clicks;
    }
    std::size_t helperLines(std::string_view text) const { return harness.countLogLines(text); }
};

std::string errorText(const OptionalError& error) { return error ? error->localizedDescription : std::string("no error"); }

TEST_F(Markers, ABatchOfThreeColouredMarkers)
{
    ASSERT_EQ(logic()["markerTrackShown"], false);
    const Clip clips[] = {
        { 3601.2, 2.4, "Intro", 0 }, // 01:00:01:05 to 01:00:03:15
        { 3605.0, 0.36, "Scene \"2\" \\ take", 27 }, // to 01:00:05:09
        { 3620.04, 10.0, "End", 95 }, // 01:00:20:01 to 01:00:30:01
    };
    for (const Clip& clip : clips) {
        auto [ok, viewOffset, error] = createMarker(clip);
        EXPECT_TRUE(ok) << clip.name << ": " << errorText(error);
        EXPECT_EQ(viewOffset, 0.0) << clip.name;
        // During the batch the marker track shows, and the Colors window stays open.
        EXPECT_EQ(logic()["markerTrackShown"], true) << clip.name;
        EXPECT_EQ(logic()["colorsWindowOpen"], true) << clip.name;
    }
    json markers = logic()["markers"];
    ASSERT_EQ(markers.size(), 3u) << markers.dump();
    const char* labels[][2] = { { "01:00:01:05", "01:00:03:15" }, { "01:00:05:00", "01:00:05:09" }, { "01:00:20:01", "01:00:30:01" } };
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(markers[i]["startLabel"], labels[i][0]) << i;
        EXPECT_EQ(markers[i]["endLabel"], labels[i][1]) << i;
        EXPECT_NEAR(markers[i]["start"].get<double>(), clips[i].start, 1e-6) << i;
        EXPECT_NEAR(markers[i]["end"].get<double>(), clips[i].start + clips[i].duration, 1e-6) << i;
        EXPECT_EQ(markers[i]["name"], clips[i].name) << i;
        EXPECT_EQ(markers[i]["color"], clips[i].color) << i;
    }
    // The marker track was revealed once for the whole batch.
    EXPECT_EQ(countAction(888), 1u);
    EXPECT_EQ(helperLines("ensureMarkerTrackVisibleForBatch: marker track was hidden — revealed for this batch"), 1u);
    EXPECT_EQ(countAction(483), 1u) << "the Colors window is opened once and reused";

    closeBatch();
    EXPECT_EQ(logic()["markerTrackShown"], false);
    EXPECT_EQ(logic()["colorsWindowOpen"], false);
    EXPECT_EQ(countAction(888), 2u);
    EXPECT_TRUE(harness.helper().waitForLine("restoreMarkerTrackIfNeeded: hid marker track revealed for this batch", 2s));
    EXPECT_TRUE(harness.helper().waitForLine("closeColorsWindow: closed helper-opened Colors window", 2s));
    EXPECT_TRUE(harness.helper().waitForLine("colorSelectedItem: clicked Logic colour cell 95", 2s));
    EXPECT_TRUE(harness.helper().waitForLine("createLogicMarker: marker 'Scene \"2\" \\ take' at 01:00:05:00–01:00:05:09", 2s));
    EXPECT_EQ(logicWindowKeys(), std::vector<std::string> { "project" }) << "a window was left open";
    EXPECT_EQ(helperLines("fault"), 0u);
}

TEST_F(Markers, TheCursorGoesBackAfterEachClick)
{
    ctl("set-cursor", { { "x", 321 }, { "y", 456 } });
    auto [ok, viewOffset, error] = createMarker({ 3601.0, 1.0, "Cue", 3 });
    EXPECT_TRUE(ok) << errorText(error);
    EXPECT_EQ(state()["cursor"], json::array({ 321.0, 456.0 }));
    auto clicks = colorClicks();
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0]["cell"], 3);
    EXPECT_EQ(clicks[0]["command"], false);
    closeBatch();
}

TEST_F(Markers, AColorsWindowOpenBeforeTheBatchIsReusedAndLeftOpen)
{
    ctl("set-colors-window", { { "open", true }, { "position", { 200, 300 } } });
    for (const Clip& clip : { Clip { 3601.0, 1.0, "One", 5 }, Clip { 3603.0, 1.0, "Two", 6 } }) {
        auto [ok, viewOffset, error] = createMarker(clip);
        EXPECT_TRUE(ok) << errorText(error);
    }
    json markers = logic()["markers"];
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0]["color"], 5);
    EXPECT_EQ(markers[1]["color"], 6);
    // The first toggle closed the user's window and the second opened it again.
    EXPECT_EQ(countAction(483), 2u);
    closeBatch();
    EXPECT_EQ(logic()["colorsWindowOpen"], true) << "the user's Colors window was closed";
    EXPECT_EQ(countAction(483), 2u);
    EXPECT_EQ(helperLines("closeColorsWindow: closed helper-opened Colors window"), 0u);
}

TEST_F(Markers, ColoursOutsideTheGridClickNothing)
{
    struct Case {
        std::int64_t color;
        const char* line; // nullptr: no colour step at all
    };
    const Case cases[] = {
        { 96, "colorSelectedItem: cell index 96 out of range; skipping colour step" },
        { -1, nullptr },
    };
    for (const Case& c : cases) {
        auto [ok, viewOffset, error] = createMarker({ 3601.0, 1.0, "Plain", c.color });
        EXPECT_TRUE(ok) << c.color << ": " << errorText(error);
        EXPECT_EQ(logic()["markers"].back()["color"], nullptr) << c.color;
        if (c.line) {
            EXPECT_TRUE(harness.helper().waitForLine(c.line, 2s)) << c.color;
        }
    }
    EXPECT_TRUE(state()["mouseEvents"].empty());
    EXPECT_EQ(countAction(483), 0u);
    // Without a colour the colour step's action 347 is not run; 362 always is.
    EXPECT_EQ(countAction(347), 1u) << "96 still ends its colour step";
    EXPECT_EQ(countAction(362), 2u);
    closeBatch();
}

TEST_F(Markers, TheClipEndMustLieInsideTheProject)
{
    ctl("set-transport", { { "projectEndSeconds", 3610.0 } }); // 01:00:10:00
    // One frame past the end, in the same whole second: the marker is made, ending at the project end.
    auto [ok, viewOffset, error] = createMarker({ 3605.0, 5.04, "Last frame", -1 });
    EXPECT_TRUE(ok) << errorText(error);
    ASSERT_EQ(logic()["markers"].size(), 1u);
    EXPECT_EQ(logic()["markers"][0]["endLabel"], "01:00:10:00");

    // A whole second past: no marker, error 45 naming the clip end.
    auto [failedOk, failedOffset, failure] = createMarker({ 3605.0, 6.0, "Too long", 4 });
    EXPECT_FALSE(failedOk);
    EXPECT_TRUE(std::isnan(failedOffset));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, 45);
    EXPECT_EQ(failure->localizedDescription,
        "Clip end (01:00:11:00) is beyond the Logic project end, so the marker can't span the full clip. Extend your Logic project past the "
        "movie, then try again.");
    EXPECT_EQ(logic()["markers"].size(), 1u);
    EXPECT_EQ(state()["transport"]["playheadSeconds"], 3610.0) << "the playhead stays where Logic put it";
    EXPECT_TRUE(harness.helper().waitForLine(
        "createLogicMarker: clip end clamped to project end (wanted 01:00:11:00=3611.000000s, landed 3610.000000s)", 2s));
    EXPECT_TRUE(harness.helper().waitForLine("createLogicMarker failed: Clip end (01:00:11:00)", 2s));
    EXPECT_EQ(logicWindowKeys(), std::vector<std::string> { "project" });
    closeBatch();
}

TEST_F(Markers, NoLocatorDialogFailsBeforeAnyKeystroke)
{
    ctl("set-logic", { { "markerTrackShown", true } });
    // Logic refuses its next command: the locator dialog never comes.
    ctl("fault", { { "op", "logic.runStoredAction" }, { "error", -1 }, { "count", 1 } });
    auto [ok, viewOffset, error] = createMarker({ 3601.0, 1.0, "Lost", 2 });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::isnan(viewOffset));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 40);
    EXPECT_EQ(error->localizedDescription, "Set Left and Right Locator dialog did not appear in time");
    EXPECT_TRUE(state()["keyEvents"].empty());
    EXPECT_TRUE(state()["scripts"].empty());
    EXPECT_TRUE(logic()["markers"].empty());
    EXPECT_TRUE(harness.helper().waitForLine("waitForLogicModalDialog (Set Left and Right Locator) timed out", 2s));
    closeBatch();
}

TEST_F(Markers, AVisibleMarkerTrackIsFoundInEveryLanguageAndLeftAlone)
{
    struct Case {
        const char* language;
        const char* attribute;
    };
    const Case cases[] = { { "ja", "title" }, { "zh", "value" }, { "es", "description" } };
    for (const Case& c : cases) {
        ctl("set-language", { { "language", c.language } });
        ctl("set-logic", { { "markerTrackShown", true }, { "markerTrackLabelAttribute", c.attribute } });
        auto [ok, viewOffset, error] = createMarker({ 3601.0, 1.0, c.language, -1 });
        EXPECT_TRUE(ok) << c.language << ": " << errorText(error);
        closeBatch();
        EXPECT_EQ(logic()["markerTrackShown"], true) << c.language;
        EXPECT_EQ(countAction(888), 0u) << c.language << " " << c.attribute;
    }
}

TEST_F(Markers, AMarkerTrackThatCannotBeFoundIsToggledBack)
{
    // The main window's children cannot be read for both searches of the track.
    ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXChildren" }, { "error", -25200 }, { "count", 2 } });
    auto [ok, viewOffset, error] = createMarker({ 3601.0, 1.0, "Hidden", -1 });
    EXPECT_TRUE(ok) << errorText(error);
    EXPECT_EQ(countAction(888), 2u) << "the toggle is undone";
    EXPECT_EQ(logic()["markerTrackShown"], false);
    EXPECT_TRUE(harness.helper().waitForLine(
        "ensureMarkerTrackVisibleForBatch: marker-track popup not found after toggle; reverted, view left untouched", 2s));
    closeBatch();
    EXPECT_EQ(countAction(888), 2u) << "the helper did not reveal the track, so it does not hide it";
}

TEST_F(Markers, TheGridMovesClearOfTheProgressPanel)
{
    // The Colors window at (200, 300): its grid spans (245, 335)-(917, 415).
    ctl("set-colors-window", { { "open", true }, { "position", { 200, 300 } } });
    // A panel over the grid's lower part, (300, 380)-(700, 480) in top-left
    // coordinates: in AppKit ones y = 1080 - 480 = 600. Above it is nearest.
    ASSERT_TRUE(connection->setColorsWindowAvoidRectX({ 300, 600, 400, 100 }, 2s).hasValue());
    auto [ok, viewOffset, error] = createMarker({ 3601.0, 1.0, "Clear", 10 });
    EXPECT_TRUE(ok) << errorText(error);
    json window = logicWindow("colors-window");
    ASSERT_FALSE(window.is_null());
    EXPECT_EQ(window["attributes"]["AXPosition"], (json { { "point", { 200.0, 380.0 - 8 - 80 - 35 } } }));
    EXPECT_EQ(logic()["markers"][0]["color"], 10);
    closeBatch();

    // A panel over the whole screen leaves nowhere to go.
    ASSERT_TRUE(connection->setColorsWindowAvoidRectX({ 0, 0, 1920, 1080 }, 2s).hasValue());
    auto [ok2, viewOffset2, error2] = createMarker({ 3603.0, 1.0, "Covered", 11 });
    EXPECT_TRUE(ok2) << errorText(error2);
    EXPECT_TRUE(harness.helper().waitForLine(
        "ensureColorGridVisible: cannot place Colors grid clear of the progress panel on this screen; colour clicks may be obscured", 2s));
    closeBatch();
}

TEST_F(Markers, TwoClientsCreatingMarkersAtOnceBothGetTheirs)
{
    auto second = harness.connect();
    std::optional<MarkerReply> firstReply, secondReply;
    std::thread other([&] { secondReply = createMarker({ 3640.0, 2.0, "Second", 7 }, second.get()); });
    firstReply = createMarker({ 3620.0, 1.0, "First", 8 });
    other.join();
    ASSERT_TRUE(firstReply && secondReply);
    EXPECT_TRUE(std::get<0>(*firstReply)) << errorText(std::get<2>(*firstReply));
    EXPECT_TRUE(std::get<0>(*secondReply)) << errorText(std::get<2>(*secondReply));
    json markers = logic()["markers"];
    ASSERT_EQ(markers.size(), 2u);
    for (const auto& marker : markers) {
        bool first = marker["name"] == "First";
        EXPECT_EQ(marker["startLabel"], first ? "01:00:20:00" : "01:00:40:00");
        EXPECT_EQ(marker["endLabel"], first ? "01:00:21:00" : "01:00:42:00");
        EXPECT_EQ(marker["color"], first ? 8 : 7);
    }
    closeBatch();
}

// The tool makes a batch from a list of clips, as the plug-in does, and closes it.
TEST_F(Markers, TheToolMakesABatchFromAFile)
{
    struct Case {
        const char* fileName;
        const char* contents;
    };
    const Case cases[] = {
        { "clips.csv", "start,duration,name,color\n3601.2,2.4,Intro,3\n3605,1,\"Say \"\"hi\"\", \\ bye\",\n" },
        { "clips.json", R"([{"start": 3601.2, "duration": 2.4, "name": "Intro", "color": 3}, {"start": 3605, "duration": 1, "name": "Say \"hi\", \\ bye"}])" },
    };
    for (const Case& c : cases) {
        ctl("set-logic", { { "markers", json::array() } });
        std::string path = harness.runtimeDir().path() + "/" + c.fileName;
        {
            std::ofstream file(path);
            file << c.contents;
        }
        test::ChildProcess tool({ test::marqueeExecutablePath(), "markers", path, "--fps", "25", "--color", "9" }, harness.environment());
        auto status = tool.waitForExit(60s);
        ASSERT_TRUE(status.has_value()) << c.fileName;
        EXPECT_EQ(WEXITSTATUS(*status), 0) << c.fileName;
        EXPECT_TRUE(tool.waitForOutputEnd(2s));
        EXPECT_TRUE(tool.hasLine("markers: 2 of 2 created")) << c.fileName;
        json markers = logic()["markers"];
        ASSERT_EQ(markers.size(), 2u) << c.fileName;
        EXPECT_EQ(markers[0]["name"], "Intro");
        EXPECT_EQ(markers[0]["color"], 3) << "a clip's own colour wins";
        EXPECT_EQ(markers[1]["name"], "Say \"hi\", \\ bye");
        EXPECT_EQ(markers[1]["color"], 9) << "a clip without a colour takes --color";
        EXPECT_EQ(markers[1]["endLabel"], "01:00:06:00");
        EXPECT_EQ(logic()["colorsWindowOpen"], false) << c.fileName << ": the batch was not closed";
        EXPECT_EQ(logic()["markerTrackShown"], false) << c.fileName;
    }
}

// Automation for Logic never asked before, and the user leaves the system's
// prompt waiting: the stored action that opens Go to Position waits for the
// answer, the prompt is in front, the marker request gives up within its own
// time-outs with its reason (Logic is not in front) (each stored action's interpreter gives up after
// 10 s here), and nothing is typed meanwhile.
TEST_F(Markers, AnAutomationPromptLeftWaitingFailsTheMarkerWithoutTypingAnything)
{
    ctl("set-automation", { { "bundleIdentifier", "com.apple.logic10" }, { "state", "ask" }, { "promptAnswer", "wait" } });
    auto started = std::chrono::steady_clock::now();
    auto [ok, value, error] = createMarker({ 3602.0, 2.0, "Waiting", 4 });
    EXPECT_LT(std::chrono::steady_clock::now() - started, 40s);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(error);
    // The prompt holds the front, so the helper's guard stops the marker before it types.
    EXPECT_NE(error->localizedDescription.find("Logic is not the frontmost application"), std::string::npos) << errorText(error);
    json world = state();
    EXPECT_EQ(world["pendingPrompts"], json({ "com.apple.logic10" }));
    EXPECT_TRUE(world["frontmost"].is_null()) << "the prompt is in front";
    EXPECT_TRUE(world["keyEvents"].empty()) << world["keyEvents"].dump();
    EXPECT_TRUE(logic()["markers"].empty());
    // Denied at last: the action that waited is refused, and Logic comes back to the front.
    ctl("answer-prompt", { { "answer", "deny" } });
    world = state();
    EXPECT_EQ(world["frontmost"], "logic");
    EXPECT_TRUE(logicWindow("go-to-position").is_null());
}

} // namespace
} // namespace mq
