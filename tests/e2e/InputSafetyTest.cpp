// Keys and clicks land in Logic only, and every operation leaves Logic as it
// found it, through real processes: another application in front from the
// start or from the middle of a sequence, a modal window of Logic's that the
// helper did not open, scripts that fail at each typing step, and a plug-in's
// panel that opens while the Colors window is awaited.
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestAudioFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::HelperHarness;

const std::string kNotInFront = "Logic is not the frontmost application; nothing was sent";

class InputSafety : public ::testing::Test {
protected:
    // Logic in front of a Finder window whose search field has the focus and
    // whose button lies under Logic's dialogs and the Colors window.
    HelperHarness harness { HelperHarness::Desktop::logicSim, std::string(MQ_SCENARIO_DIR) + "/finder-window.json" };
    std::unique_ptr<client::HelperConnection> connection = harness.connect();

    json ctl(const std::string& command, const json& args = json::object()) { return harness.logicSim().ctl(command, args); }
    json state() { return harness.logicSim().state(); }

    /// The keys of Logic's windows, sorted.
    std::vector<std::string> logicWindowKeys()
    {
        std::vector<std::string> keys;
        json world = ctl("state", { { "only", { "applications" } } });
        for (const auto& app : world["applications"])
            if (app.value("bundleIdentifier", "") == "com.apple.logic10")
                for (const auto& window : app["windows"])
                    keys.push_back(window.value("key", ""));
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    bool logicShows(const std::string& key)
    {
        auto keys = logicWindowKeys();
        return std::find(keys.begin(), keys.end(), key) != keys.end();
    }
    std::size_t countEvents(const std::string& type)
    {
        json world = state();
        return static_cast<std::size_t>(
            std::count_if(world["events"].begin(), world["events"].end(), [&](const json& e) { return e.value("type", "") == type; }));
    }
    bool storedActionRan(int code)
    {
        json world = ctl("state", { { "only", { "events" } } });
        for (const auto& e : world["events"])
            if (e.value("type", "") == "storedAction" && e.value("code", 0) == code)
                return true;
        return false;
    }
    /// Runs `then` as soon as Logic has run stored action `code`.
    std::future<void> whenActionRuns(int code, std::function<void()> then)
    {
        return std::async(std::launch::async, [this, code, then] {
            if (test::eventually([&] { return storedActionRan(code); }, 20s, 2ms))
                then();
        });
    }
    void finderToTheFront() { ctl("frontmost", { { "app", "finder" } }); }

    using Reply = std::tuple<bool, double, OptionalError>;
    /// A marker; `pacing` holds each step long enough for the test to act between them.
    Reply marker(double start, const std::string& name, std::int64_t color = -1, double pacing = 0.0)
    {
        auto result = connection->createLogicMarkerWithTimecodeSeconds({ start, 2.0, name, color, pacing, 25.0, false }, 30s);
        EXPECT_TRUE(result.hasValue());
        return result.hasValue() ? result.value() : Reply { false, 0.0, std::nullopt };
    }
    Reply place(const std::string& trackName = "Dialogue", std::int64_t color = -1, double pacing = 0.0)
    {
        std::string path = harness.runtimeDir().file("take.wav");
        test::writeTestAudioFile(path, test::AudioFormat::wav, 44100, 44100);
        auto result = connection->placeAudioFileWithURL(
            { URL::fileURLWithPath(path), 3605.0, "Take", true, trackName, color, false, pacing, 25.0, false }, 30s);
        EXPECT_TRUE(result.hasValue());
        return result.hasValue() ? result.value() : Reply { false, 0.0, std::nullopt };
    }
    Reply goTo(double seconds)
    {
        auto result = connection->goToLogicPlayheadSMPTESeconds({ seconds, 25.0, false }, 15s);
        EXPECT_TRUE(result.hasValue());
        if (!result.hasValue())
            return { false, 0.0, std::nullopt };
        auto [ok, landed, offset, error] = result.value();
        return { ok, landed, error };
    }
    Reply bounceStepOne()
    {
        auto result = connection->bounceGoToPositionWithTimecodeSeconds({ 3610.0, true, 0.0, 25.0, false }, 15s);
        EXPECT_TRUE(result.hasValue());
        return result.hasValue() ? result.value() : Reply { false, 0.0, std::nullopt };
    }
    std::size_t markerCount() { return state()["logic"]["markers"].size(); }

    /// Nothing the helper sent went to another application, and no key reached
    /// Logic's main window as a key command.
    void expectNothingReachedAnotherApplication()
    {
        json world = state();
        for (const char* log : { "keyEvents", "mouseEvents" })
            for (const auto& e : world[log])
                EXPECT_FALSE(e.contains("app") && e["app"].is_string() && e["app"] != "logic") << log << ": " << e.dump();
        for (const auto& e : world["events"])
            EXPECT_NE(e.value("type", ""), "keyCommand") << e.dump();
    }
};

std::string errorText(const OptionalError& error) { return error ? error->localizedDescription : std::string("no error"); }
std::int64_t errorCode(const OptionalError& error) { return error ? error->code : 0; }

TEST_F(InputSafety, AnotherApplicationInFrontFromTheStartGetsNothing)
{
    finderToTheFront();
    struct Step {
        const char* name;
        std::function<std::pair<bool, OptionalError>()> run;
        std::int64_t code;
    };
    const Step steps[] = {
        { "goto", [&] { auto [ok, landed, error] = goTo(3620.0); return std::pair(ok, error); }, 82 },
        { "marker", [&] { auto [ok, offset, error] = marker(3601.0, "Hidden", 3); return std::pair(ok, error); }, 40 },
        { "placement", [&] { auto [ok, offset, error] = place(); return std::pair(ok, error); }, 27 },
        { "bounce step 1", [&] { auto [ok, offset, error] = bounceStepOne(); return std::pair(ok, error); }, 27 },
        { "bounce step 2",
            [&] {
                auto result = connection->bounceOpenMovieWithURL({ URL::fileURLWithPath("/Users/someone/Movies/Cut.mov"), 0.0 }, 30s);
                EXPECT_TRUE(result.hasValue());
                return std::pair(std::get<0>(result.value()), std::get<1>(result.value()));
            },
            28 },
        { "bounce step 4",
            [&] {
                auto result = connection->bounceOpenExportDialogWithPacingSeconds({ 0.0 }, 15s);
                EXPECT_TRUE(result.hasValue());
                return std::pair(std::get<0>(result.value()), std::get<1>(result.value()));
            },
            30 },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        auto [ok, error] = step.run();
        EXPECT_FALSE(ok);
        EXPECT_EQ(errorCode(error), step.code);
        EXPECT_EQ(errorText(error), kNotInFront);
    }
    ASSERT_TRUE(connection->closeColorsWindowWithReply({}, 10s).hasValue());

    json world = state();
    EXPECT_TRUE(world["scripts"].empty()) << world["scripts"].dump();
    EXPECT_TRUE(world["keyEvents"].empty()) << world["keyEvents"].dump();
    EXPECT_TRUE(world["mouseEvents"].empty()) << world["mouseEvents"].dump();
    EXPECT_EQ(countEvents("storedAction"), 0u) << "a request changed Logic before it failed";
    EXPECT_EQ(markerCount(), 0u);
    EXPECT_EQ(logicWindowKeys(), std::vector<std::string> { "project" });
    expectNothingReachedAnotherApplication();
}

TEST_F(InputSafety, AModalWindowAlreadyOpenIsNamedAndNothingIsTypedIntoIt)
{
    ctl("alert", { { "title", "The file could not be imported." }, { "message", "The file format is not supported." } });
    const std::string named = "Logic shows \"The file could not be imported.\" (AXWindow/AXDialog); nothing was typed";
    auto started = std::chrono::steady_clock::now();
    auto [gotoOk, landed, gotoError] = goTo(3620.0);
    auto [markerOk, markerOffset, markerError] = marker(3601.0, "Behind the alert");
    auto [placeOk, placeOffset, placeError] = place();
    auto [bounceOk, bounceOffset, bounceError] = bounceStepOne();
    // At once: no dialog wait was waited out.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(std::tuple(gotoOk, errorCode(gotoError), errorText(gotoError)), std::tuple(false, std::int64_t { 82 }, named));
    EXPECT_EQ(std::tuple(markerOk, errorCode(markerError), errorText(markerError)), std::tuple(false, std::int64_t { 40 }, named));
    EXPECT_EQ(std::tuple(placeOk, errorCode(placeError), errorText(placeError)), std::tuple(false, std::int64_t { 27 }, named));
    EXPECT_EQ(std::tuple(bounceOk, errorCode(bounceError), errorText(bounceError)), std::tuple(false, std::int64_t { 27 }, named));
    json world = state();
    EXPECT_TRUE(world["scripts"].empty()) << world["scripts"].dump();
    EXPECT_TRUE(world["keyEvents"].empty()) << world["keyEvents"].dump();
    EXPECT_EQ(logicWindowKeys(), (std::vector<std::string> { "alert", "project" })) << "the alert was closed by the helper";
}

TEST_F(InputSafety, TheExportPanelOpenIsNamedAndNothingIsTypedIntoIt)
{
    auto opened = connection->bounceOpenExportDialogWithPacingSeconds({ 0.0 }, 15s);
    ASSERT_TRUE(opened.hasValue());
    ASSERT_TRUE(std::get<0>(opened.value())) << errorText(std::get<1>(opened.value()));
    std::size_t scriptsBefore = state()["scripts"].size();
    auto [gotoOk, landed, gotoError] = goTo(3620.0);
    auto [markerOk, markerOffset, markerError] = marker(3601.0, "Behind the panel");
    auto [placeOk, placeOffset, placeError] = place();
    auto [bounceOk, bounceOffset, bounceError] = bounceStepOne();
    for (const OptionalError& error : { gotoError, markerError, placeError, bounceError }) {
        EXPECT_TRUE(errorText(error).starts_with("Logic shows \"")) << errorText(error);
        EXPECT_TRUE(errorText(error).ends_with("; nothing was typed")) << errorText(error);
    }
    EXPECT_FALSE(gotoOk || markerOk || placeOk || bounceOk);
    EXPECT_EQ(state()["scripts"].size(), scriptsBefore) << "typed into the export panel";
    EXPECT_EQ(countEvents("saveAs"), 0u);
}

TEST_F(InputSafety, AnApplicationTakingTheFrontMidMarkerGetsNothingAndNoDialogIsLeft)
{
    struct Case {
        const char* name;
        int action; // the stored action after which the front is handed over
        std::int64_t code;
        std::string message;
    };
    const Case cases[] = {
        { "the locators dialog", 476, 41,
            "Could not enter left locator value (Logic is not the frontmost application; nothing more was typed)" },
        { "the marker's name editor", 1192, 44, "Could not enter marker name (Logic is not the frontmost application; nothing was typed)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctl("frontmost", { { "app", "logic" } });
        std::size_t scriptsBefore = state()["scripts"].size();
        std::future<void> thief = whenActionRuns(c.action, [this] { finderToTheFront(); });
        // The pacing pause before each keystroke script leaves the test time to act.
        auto [ok, offset, error] = marker(3601.0, "Interrupted", 5, 0.4);
        thief.get();
        EXPECT_FALSE(ok);
        EXPECT_EQ(errorCode(error), c.code);
        EXPECT_EQ(errorText(error), c.message);
        EXPECT_EQ(logicWindowKeys(), std::vector<std::string> { "project" }) << "a dialog or editor is left open";
        EXPECT_EQ(countEvents("colorClick"), 0u);
        json world = state();
        for (std::size_t i = scriptsBefore; i < world["scripts"].size(); ++i)
            EXPECT_EQ(world["scripts"][i]["source"].get<std::string>().find("Interrupted"), std::string::npos) << "the name was typed";
    }
    expectNothingReachedAnotherApplication();
    ctl("frontmost", { { "app", "logic" } });
    auto [ok, offset, error] = marker(3610.0, "Afterwards", 5);
    EXPECT_TRUE(ok) << errorText(error);
    ASSERT_TRUE(connection->closeColorsWindowWithReply({}, 10s).hasValue());
}

TEST_F(InputSafety, AnApplicationTakingTheFrontMidPlacementGetsNothingAndNoDialogIsLeft)
{
    struct Case {
        const char* name;
        int action;
        std::int64_t code;
        std::string message;
    };
    const Case cases[] = {
        { "the Go to Position dialog", 21, 22,
            "Could not set playhead position (Logic is not the frontmost application; nothing more was typed)" },
        { "the track's name editor", 571, 31,
            "A new track was made but not named (Logic is not the frontmost application; nothing was typed); nothing was placed" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctl("frontmost", { { "app", "logic" } });
        std::size_t spotsBefore = state()["appleEvents"].size();
        std::future<void> thief = whenActionRuns(c.action, [this] { finderToTheFront(); });
        auto [ok, offset, error] = place("Interrupted", 7, 0.4);
        thief.get();
        EXPECT_FALSE(ok);
        EXPECT_EQ(errorCode(error), c.code);
        EXPECT_EQ(errorText(error), c.message);
        EXPECT_EQ(state()["appleEvents"].size(), spotsBefore) << "the file was placed";
        EXPECT_EQ(logicWindowKeys(), std::vector<std::string> { "project" }) << "a dialog or editor is left open";
    }
    expectNothingReachedAnotherApplication();
}

TEST_F(InputSafety, UnderFocusContentionEveryReplySaysWhatWasDone)
{
    // Finder makes itself frontmost every 20 ms once the batch has begun driving Logic.
    std::future<void> starter = whenActionRuns(476, [this] { ctl("focus-thief", { { "app", "finder" }, { "everyMs", 20 } }); });
    std::vector<std::pair<std::string, Reply>> replies;
    for (int i = 0; i < 3; ++i) {
        std::string name = "Contended " + std::to_string(i);
        replies.emplace_back(name, marker(3601.0 + 4 * i, name, 9));
    }
    replies.emplace_back("placement", place("Contended track", 9));
    starter.get();
    ctl("focus-thief", { { "stop", true } });

    json world = state();
    for (const auto& [name, reply] : replies) {
        SCOPED_TRACE(name);
        auto [ok, offset, error] = reply;
        bool named = false;
        for (const auto& m : world["logic"]["markers"])
            named = named || m.value("name", "") == name;
        if (name == "placement")
            continue;
        // Success, or a failure that says the marker was made and named, means
        // the named marker exists; any other failure means it does not.
        if (ok || errorText(error).find("was made and named") != std::string::npos)
            EXPECT_TRUE(named) << errorText(error);
        else
            EXPECT_FALSE(named) << errorText(error);
    }
    EXPECT_FALSE(std::get<0>(replies.back().second)) << "the placement succeeded with another application in front";
    EXPECT_EQ(logicWindowKeys().front(), "project");
    for (const auto& key : logicWindowKeys())
        EXPECT_TRUE(key == "project" || key == "colors-window") << key << " is left open";
    expectNothingReachedAnotherApplication();
}

TEST_F(InputSafety, FailedTypingClosesTheDialogAndTheNextRequestSucceeds)
{
    struct Case {
        const char* name;
        std::function<Reply()> run;
        int faultAfterAction; // 0: the first script fails
        std::int64_t code;
        std::string message;
    };
    const Case cases[] = {
        { "the locators script", [&] { return marker(3601.0, "Locators"); }, 0, 41, "Could not enter left locator value" },
        { "the playhead script of a placement", [&] { return place(); }, 0, 22, "Could not set playhead position" },
        { "the marker's name script", [&] { return marker(3601.0, "Name"); }, 1192, 44, "Could not enter marker name" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::future<void> fault;
        if (c.faultAfterAction == 0)
            ctl("fault", { { "op", "script.run" }, { "error", -1 }, { "count", 1 } });
        else
            fault = whenActionRuns(c.faultAfterAction, [&] { ctl("fault", { { "op", "script.run" }, { "error", -1 }, { "count", 1 } }); });
        auto [ok, offset, error] = c.run();
        if (fault.valid())
            fault.get();
        EXPECT_FALSE(ok);
        EXPECT_EQ(errorCode(error), c.code);
        EXPECT_EQ(errorText(error), c.message);
        EXPECT_EQ(logicWindowKeys(), std::vector<std::string> { "project" }) << "the dialog is left open";

        auto [afterOk, afterOffset, afterError] = goTo(3615.0);
        EXPECT_TRUE(afterOk) << errorText(afterError);
    }
    expectNothingReachedAnotherApplication();
}

TEST_F(InputSafety, APluginPanelOpeningDuringTheBatchIsNotTakenForTheColorsWindow)
{
    // The plug-in's own panel opens while the Colors window is awaited.
    std::future<void> panel = whenActionRuns(483, [this] { ctl("plugin-panel"); });
    auto [ok, offset, error] = marker(3601.0, "Coloured", 12);
    panel.get();
    EXPECT_TRUE(ok) << errorText(error);
    json world = state();
    std::size_t clicks = 0;
    for (const auto& e : world["events"])
        if (e.value("type", "") == "colorClick") {
            ++clicks;
            EXPECT_EQ(e.value("cell", -1), 12) << e.dump();
        }
    EXPECT_EQ(clicks, 1u) << "the colour click went elsewhere";
    EXPECT_TRUE(logicShows("plugin-panel"));
    ASSERT_TRUE(connection->closeColorsWindowWithReply({}, 10s).hasValue());
    EXPECT_TRUE(logicShows("plugin-panel")) << "the batch's close closed the plug-in's panel";
    EXPECT_FALSE(logicShows("colors-window"));
}

} // namespace
} // namespace mq
