// Keystroke scripts and stored actions against a real logicsim: "System Events"
// carries out the helper's scripts against the process they name, and every
// stored action code has the effect its caller relies on.
#include "tests/sim/LogicSimFixture.h"

#include "logic/AppleScriptRunner.h"
#include "logic/KeystrokeScripts.h"
#include "logic/StoredActionRunner.h"
#include "platform/Log.h"
#include "tests/support/Eventually.h"

#include <atomic>
#include <optional>
#include <cstdlib>
#include <functional>
#include <thread>

namespace mq::test {
namespace {

/// logicsim with the helper's side: the backend as the platform, and this
/// process's runtime directory pointed at logicsim for the interpreter stand-in.
class ActionsSimTest : public LogicSimTest {
protected:
    void SetUp() override
    {
        LogicSimTest::SetUp();
        if (const char* previous = std::getenv("XDG_RUNTIME_DIR"))
            m_previousRuntimeDir = previous;
        ::setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
        m_platform = std::make_unique<platform::Platform>(m_backend->platform());
    }
    void TearDown() override
    {
        if (m_previousRuntimeDir)
            ::setenv("XDG_RUNTIME_DIR", m_previousRuntimeDir->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        m_platform.reset();
        LogicSimTest::TearDown();
    }

    platform::Platform& platform() { return *m_platform; }
    json state() { return ctl("state"); }
    json logic() { return state()["logic"]; }
    /// The window keys of Logic, front to back.
    std::vector<std::string> logicWindowKeys()
    {
        std::vector<std::string> keys;
        json world = state();
        for (const auto& app : world["applications"])
            if (app.value("bundleIdentifier", "") == "com.apple.logic10")
                for (const auto& w : app["windows"])
                    keys.push_back(w.value("key", ""));
        return keys;
    }
    std::optional<std::string> focusedField(const std::string& windowKey)
    {
        json world = state();
        for (const auto& app : world["applications"])
            for (const auto& w : app["windows"])
                if (w.value("key", "") == windowKey && w["focusedField"].is_string())
                    return w["focusedField"].get<std::string>();
        return std::nullopt;
    }
    /// A modal dialog in Logic with two text fields, the first focused.
    void openTwoFieldDialog()
    {
        ctl("add-window", json { { "app", "logic" },
                              { "window",
                                  { { "role", "AXWindow" }, { "key", "name-dialog" }, { "title", "Name" }, { "modal", true },
                                      { "defaultButton", "name-ok" }, { "cancelButton", "name-cancel" },
                                      { "children",
                                          json::array({ json { { "role", "AXTextField" }, { "key", "first" } }, json { { "role", "AXTextField" }, { "key", "second" } },
                                              json { { "role", "AXButton" }, { "key", "name-cancel" }, { "press", "cancel" } },
                                              json { { "role", "AXButton" }, { "key", "name-ok" }, { "press", "confirm" } } }) } } } });
    }
    json lastDialogResult() { return state()["dialogResults"].back(); }

    log::LogCapture capture;

private:
    std::optional<std::string> m_previousRuntimeDir;
    std::unique_ptr<platform::Platform> m_platform;
};

TEST_F(ActionsSimTest, ANameOfBackslashAndQuoteArrivesAsTheTwoCharacters)
{
    openTwoFieldDialog();
    std::string escaped = logic::escapeFieldText("\\\"");
    ASSERT_EQ(escaped, "\\\\\\\"");
    EXPECT_TRUE(logic::sendTextReturn(platform(), escaped));
    json result = lastDialogResult();
    EXPECT_EQ(result["key"], "name-dialog");
    EXPECT_EQ(result["result"], "confirmed");
    EXPECT_EQ(result["fields"][0], "\\\"");
    // Typed character by character, by "System Events".
    std::vector<std::string> typed;
    json world = state();
    for (const auto& event : world["keyEvents"])
        if (event.value("keyDown", false) && event.value("source", "") == "System Events" && event.value("virtualKey", 0) == 0)
            typed.push_back(event.value("text", ""));
    EXPECT_EQ(typed, (std::vector<std::string> { "\\", "\"" }));
}

TEST_F(ActionsSimTest, EachScriptTypesWhatItSays)
{
    struct Row {
        const char* script;
        std::function<bool()> send;
        json fields; // the two fields when the dialog closed
        const char* result;
    };
    const Row rows[] = {
        { "Tab-delay-text-Return", [&] { return logic::sendTabDelayTextReturn(platform(), "01:00:02:03"); }, json::array({ "", "01:00:02:03" }),
            "confirmed" },
        { "Text-Return", [&] { return logic::sendTextReturn(platform(), "Verse"); }, json::array({ "Verse", "" }), "confirmed" },
        { "Escape", [&] { return logic::sendEscape(platform()); }, json::array({ "", "" }), "cancelled" },
        // Two fields: Tab, Tab Tab wraps round to the second field again.
        { "Locators", [&] { return logic::sendLocators(platform(), "1 1 1 1", "3 1 1 1"); }, json::array({ "", "1 1 1 13 1 1 1" }), "confirmed" },
        { "Select-all-text-Return", [&] { return logic::sendSelectAllTextReturn(platform(), "Käse"); }, json::array({ "Käse", "" }), "confirmed" },
    };
    for (const Row& row : rows) {
        openTwoFieldDialog();
        if (std::string(row.script) == "Select-all-text-Return")
            ctl("set-attribute", json { { "element", "first" }, { "attribute", "AXValue" }, { "value", "old text" } });
        EXPECT_TRUE(row.send()) << row.script;
        json result = lastDialogResult();
        EXPECT_EQ(result["result"], row.result) << row.script;
        EXPECT_EQ(result["fields"], row.fields) << row.script;
    }
}

TEST_F(ActionsSimTest, BarOneTypesIntoTheFocusedFieldAndTabsOn)
{
    openTwoFieldDialog();
    EXPECT_TRUE(logic::sendBarOne(platform()));
    EXPECT_EQ(focusedField("name-dialog"), "second");
    ASSERT_TRUE(logic::sendEscape(platform()));
    EXPECT_EQ(lastDialogResult()["fields"], json::array({ "1 1 1 1", "" }));
}

TEST_F(ActionsSimTest, KeystrokesAddressedToLogicGoToTheFrontmostApplication)
{
    // "tell process" only addresses Logic: with Finder in front, the keys type
    // into Finder's focused field and Logic's dialog stays as it was.
    openTwoFieldDialog();
    ctl("add-window", json { { "app", "finder" }, { "window", { { "role", "AXWindow" }, { "key", "finder-window" }, { "focusedWindow", true },
        { "children", json::array({ { { "role", "AXTextField" }, { "key", "finder-search" }, { "focused", true } } }) } } } });
    ctl("frontmost", json { { "app", "com.apple.finder" } });
    EXPECT_TRUE(logic::sendTextReturn(platform(), "Bridge"));
    json world = state();
    EXPECT_TRUE(world["dialogResults"].empty());
    for (const auto& app : world["applications"])
        for (const auto& w : app["windows"]) {
            if (w.value("key", "") == "finder-window") {
                EXPECT_EQ(w["children"][0]["attributes"]["AXValue"], "Bridge");
            }
            if (w.value("key", "") == "name-dialog") {
                EXPECT_EQ(w["children"][0]["attributes"]["AXValue"], "");
            }
        }
    ASSERT_FALSE(world["keyEvents"].empty());
    for (const auto& key : world["keyEvents"]) {
        EXPECT_EQ(key["app"], "finder");
        EXPECT_EQ(key["window"], "finder-window");
    }

    // A process that does not exist still fails the script, and types nothing.
    std::size_t keys = world["keyEvents"].size();
    std::string source = "tell application \"System Events\"\n    tell process \"Nobody\"\n        keystroke \"x\"\n    end tell\nend tell";
    EXPECT_FALSE(logic::runAppleScript(*m_backend, source));
    EXPECT_EQ(state()["keyEvents"].size(), keys);
}

TEST_F(ActionsSimTest, DelaysAreWaitedOutWithoutHoldingUpOtherRequests)
{
    openTwoFieldDialog();
    std::string source = "tell application \"System Events\"\n    tell process \"Logic Pro\"\n        keystroke \"a\"\n        delay 0.4\n"
                         "        keystroke \"b\"\n    end tell\nend tell";
    // The dialog's first field, read through accessibility: a cheap look, where a
    // dump of logicsim's whole state is slow enough (under a sanitizer) to miss the
    // delay it watches for.
    std::optional<platform::AXElementRef> firstField;
    platform::CFValue windows;
    ASSERT_EQ(read(ax().createApplication(logicPid()), "AXChildren", windows), 0);
    const platform::CFArray* list = windows.get<platform::CFArray>();
    ASSERT_TRUE(list);
    for (const platform::CFValue& window : *list) {
        const platform::AXElementRef* element = window.get<platform::AXElementRef>();
        platform::CFValue children;
        if (!element || readString(*element, "AXTitle") != "Name" || read(*element, "AXChildren", children) != 0)
            continue;
        if (const platform::CFArray* fields = children.get<platform::CFArray>(); fields && !fields->empty())
            if (const platform::AXElementRef* field = (*fields)[0].get<platform::AXElementRef>())
                firstField = *field;
    }
    ASSERT_TRUE(firstField) << "no name dialog with a field";
    auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point otherAnswered {};
    bool askedDuringDelay = false;
    std::thread other([&] {
        // Once logicsim has typed the "a", the script is in its delay.
        askedDuringDelay = eventually([&] { return readString(*firstField, "AXValue") == std::optional<std::string>("a"); }, 5s);
        m_backend->runningApplications();
        otherAnswered = std::chrono::steady_clock::now();
    });
    EXPECT_TRUE(logic::runAppleScript(*m_backend, source));
    auto scriptEnded = std::chrono::steady_clock::now();
    other.join();
    ASSERT_TRUE(askedDuringDelay) << "logicsim typed nothing";
    EXPECT_GE(scriptEnded - start, 400ms);
    // The other request, asked while the script waits out its delay, is answered
    // before the script ends rather than queued behind it.
    EXPECT_LT(otherAnswered, scriptEnded);
    ASSERT_TRUE(logic::sendEscape(platform()));
    EXPECT_EQ(lastDialogResult()["fields"][0], "ab");
}

TEST_F(ActionsSimTest, FailuresAreErrorsWithThePlatformsNumbers)
{
    struct Row {
        const char* scene;
        std::function<void()> arrange;
        std::string source;
        const char* line; // a part of the one error log line
    };
    const std::string escape = logic::escapeScript("Logic Pro");
    const Row rows[] = {
        { "automation denied", [&] { ctl("set-automation", json { { "bundleIdentifier", "com.apple.systemevents" }, { "state", "denied" } }); }, escape,
            "AppleScript error: {NSAppleScriptErrorAppName = \"System Events\"; NSAppleScriptErrorMessage = \"System Events got an error: Not authorized "
            "to send Apple events to System Events.\"; NSAppleScriptErrorBriefMessage = \"Not authorized to send Apple events to System Events.\"; "
            "NSAppleScriptErrorNumber = -1743;}" },
        { "prompt denied",
            [&] {
                ctl("set-automation", json { { "bundleIdentifier", "com.apple.systemevents" }, { "state", "ask" }, { "promptAnswer", "deny" } });
            },
            escape, "NSAppleScriptErrorNumber = -1743;" },
        { "unknown process", [] {}, logic::escapeScript("Logic Pro X"), "Can’t get process \\\"Logic Pro X\\\".\"; NSAppleScriptErrorNumber = -1728;" },
        { "System Events not running", [&] { ctl("quit", json { { "app", "com.apple.systemevents" } }); }, escape, "NSAppleScriptErrorNumber = -600;" },
        { "not the dialect", [] {}, "tell application \"System Events\" to keystroke \"x\"", "AppleScript: failed to compile" },
        { "not the dialect inside", [] {}, "tell application \"System Events\"\n  tell process \"Logic Pro\"\n    click button 1\n  end tell\nend tell",
            "AppleScript: failed to compile" },
    };
    for (const Row& row : rows) {
        ctl("reset");
        row.arrange();
        log::LogCapture lines;
        EXPECT_FALSE(logic::runAppleScript(*m_backend, row.source)) << row.scene;
        ASSERT_EQ(lines.lines().size(), 1u) << row.scene;
        EXPECT_NE(lines.lines()[0].message.find(row.line), std::string::npos) << row.scene << ": " << lines.lines()[0].message;
        EXPECT_TRUE(state()["keyEvents"].empty()) << row.scene;
    }
}

TEST_F(ActionsSimTest, AskingForAutomationPromptsOnceThenRuns)
{
    ctl("set-automation", json { { "bundleIdentifier", "com.apple.systemevents" }, { "state", "ask" }, { "promptAnswer", "allow" } });
    openTwoFieldDialog();
    EXPECT_TRUE(logic::sendTextReturn(platform(), "x"));
    EXPECT_EQ(state()["automation"]["com.apple.systemevents"], "allowed");
    std::size_t prompts = 0;
    json world = state();
    for (const auto& e : world["events"])
        prompts += e.value("type", "") == "automationPrompt";
    EXPECT_EQ(prompts, 1u);
}

TEST_F(ActionsSimTest, LogicNotRunningMeansLogicProAndAFailedScript)
{
    ctl("quit", json { { "app", "logic" } });
    EXPECT_EQ(logic::logicProcessName(platform()), "Logic Pro");
    EXPECT_FALSE(logic::sendEscape(platform()));
    EXPECT_EQ(capture.count("AppleScript error: ", "helper.service"), 1u);
    EXPECT_EQ(capture.count("Can’t get process \\\"Logic Pro\\\".", "helper.service"), 1u);
    EXPECT_EQ(state()["scripts"].back()["source"], logic::escapeScript("Logic Pro"));
}

TEST_F(ActionsSimTest, TheProcessNameIsLogicsLocalizedName)
{
    ctl("set-app", json { { "app", "logic" }, { "localizedName", "Logic Pro X" } });
    EXPECT_EQ(logic::logicProcessName(platform()), "Logic Pro X");
    openTwoFieldDialog();
    EXPECT_TRUE(logic::sendTextReturn(platform(), "Intro"));
    EXPECT_EQ(lastDialogResult()["fields"][0], "Intro");
}

// Every stored action code, run by the helper's runner through the interpreter
// stand-in, has its effect in Logic.
TEST_F(ActionsSimTest, EveryStoredActionHasItsEffect)
{
    struct Row {
        std::vector<std::uint32_t> codes;
        std::function<void()> check;
    };
    auto hasWindow = [&](const std::string& key) {
        auto keys = logicWindowKeys();
        return std::find(keys.begin(), keys.end(), key) != keys.end();
    };
    const Row rows[] = {
        { { 21 },
            [&] {
                EXPECT_EQ(logicWindowKeys().front(), "go-to-position");
                EXPECT_EQ(focusedField("go-to-position"), "go-to-position-bar-field");
            } },
        { { 476 }, [&] { EXPECT_EQ(logicWindowKeys().front(), "locators"); } },
        { { 483 }, [&] { EXPECT_TRUE(hasWindow("colors-window")); EXPECT_EQ(logic()["colorsWindowOpen"], true); } },
        { { 483, 483 }, [&] { EXPECT_FALSE(hasWindow("colors-window")); EXPECT_EQ(logic()["colorsWindowOpen"], false); } },
        { { 888 }, [&] { EXPECT_EQ(logic()["markerTrackShown"], true); } },
        { { 888, 888 }, [&] { EXPECT_EQ(logic()["markerTrackShown"], false); } },
        { { 2564, 480, 1192 },
            [&] {
                ASSERT_EQ(logic()["markers"].size(), 1u);
                EXPECT_EQ(logic()["selection"], (json { { "kind", "marker" }, { "index", 0 } }));
                EXPECT_EQ(focusedField("marker-name"), "marker-name-field");
            } },
        { { 480, 2564, 1192 }, [&] { EXPECT_TRUE(logic()["markers"].empty()); } },
        { { 2564, 480, 1192, 362 }, [&] { EXPECT_FALSE(hasWindow("marker-name")); } },
        { { 1795, 571 },
            [&] {
                ASSERT_EQ(logic()["tracks"].size(), 1u);
                EXPECT_EQ(logic()["selectedTrack"], 0);
                EXPECT_EQ(focusedField("track-name"), "track-name-field");
            } },
        { { 1194 }, [&] { EXPECT_EQ(logicWindowKeys().front(), "open-movie"); } },
        // Without a loaded movie there is nothing to place or align (tests/sim/MovieSimTest.cpp has the movie).
        { { 1320, 1306, 1346 }, [&] { EXPECT_TRUE(state()["movie"]["region"].is_null()); } },
        { { 2564, 480, 1192, 584 }, [&] { EXPECT_TRUE(logic()["regions"].empty()); } },
        { { 2564, 480, 1192, 358 }, [&] { EXPECT_TRUE(logic()["regions"].empty()); } },
        { { 1197 }, [&] { EXPECT_EQ(logicWindowKeys().front(), "save-panel"); } },
        { { 681 }, [&] { EXPECT_TRUE(hasWindow("project-settings")); } },
    };
    for (const Row& row : rows) {
        ctl("reset");
        // Logic makes a marker over the locators only when they are set.
        ctl("set-logic", json { { "locators", { { "left", 3600.0 }, { "right", 3602.0 } } } });
        for (std::uint32_t code : row.codes)
            ASSERT_TRUE(logic::runStoredAction(code)) << code;
        ASSERT_TRUE(waitUntilWindowsOpened()) << json(row.codes).dump();
        row.check();
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "after codes " << json(row.codes).dump();
            return;
        }
    }
    // Stop: the transport stops.
    ctl("reset");
    ctl("set-transport", json { { "playing", true } });
    EXPECT_TRUE(logic::runStoredAction(5));
    EXPECT_EQ(state()["transport"]["playing"], false);
}

// The helper's stored action opens Go to Position; the window shows up only
// after the window-open delay, drawn from the seeded generator, so the same
// scenario gives the same delays again.
TEST_F(ActionsSimTest, WindowsAppearAfterASeededDelay)
{
    std::vector<std::int64_t> delays[2];
    for (auto& run : delays) {
        ctl("reset");
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(logic::runStoredAction(21));
            ASSERT_TRUE(waitUntilWindowsOpened());
            ctl("close-dialog", { { "window", "go-to-position" } });
        }
        json world = state();
        for (const auto& e : world["events"])
            if (e.value("type", "") == "windowOpening")
                run.push_back(e["afterMs"].get<std::int64_t>());
    }
    ASSERT_EQ(delays[0].size(), 3u);
    EXPECT_EQ(delays[0], delays[1]);
    for (auto ms : delays[0]) {
        EXPECT_GE(ms, 80);
        EXPECT_LE(ms, 250);
    }
    int opened = 0;
    json world = state();
    for (const auto& e : world["events"])
        opened += e.value("type", "") == "windowOpened";
    EXPECT_EQ(opened, 3);
}

TEST_F(ActionsSimTest, AMarkerIsCreatedOverTheLocatorsAndNamed)
{
    // The order of the marker steps: locators, marker, name.
    ASSERT_TRUE(logic::runStoredAction(476));
    ASSERT_TRUE(waitUntilWindowsOpened()); // Logic shows its dialogs some time after the command.
    ASSERT_TRUE(logic::sendLocators(platform(), "01:00:00:00", "01:00:10:05"));
    EXPECT_EQ(logic()["locators"]["leftLabel"], "01:00:00:00");
    EXPECT_EQ(logic()["locators"]["rightLabel"], "01:00:10:05");
    for (std::uint32_t code : { 2564u, 480u, 1192u })
        ASSERT_TRUE(logic::runStoredAction(code));
    ASSERT_TRUE(waitUntilWindowsOpened());
    ASSERT_TRUE(logic::sendTextReturn(platform(), logic::escapeFieldText("Scene \"2\" \\ take")));
    ASSERT_TRUE(logic::runStoredAction(362));
    ASSERT_EQ(logic()["markers"].size(), 1u);
    json marker = logic()["markers"][0];
    EXPECT_EQ(marker["name"], "Scene \"2\" \\ take");
    EXPECT_EQ(marker["start"], 3600.0);
    EXPECT_EQ(marker["end"], 3610.2);
    EXPECT_EQ(marker["color"], nullptr);
}

// A marker lives inside the project: locators past its end give a marker that
// stops there.
TEST_F(ActionsSimTest, AMarkerEndsAtTheProjectEnd)
{
    ctl("set-transport", json { { "projectEndSeconds", 3605.0 } });
    ctl("set-logic", json { { "locators", { { "left", 3600.0 }, { "right", 3620.0 } } } });
    for (std::uint32_t code : { 2564u, 480u, 1192u })
        ASSERT_TRUE(logic::runStoredAction(code));
    ASSERT_EQ(logic()["markers"].size(), 1u);
    EXPECT_EQ(logic()["markers"][0]["end"], 3605.0);
}

TEST_F(ActionsSimTest, StoredActionsNeedLogic)
{
    ctl("quit", json { { "app", "logic" } });
    EXPECT_FALSE(logic::runStoredAction(21));
    bool refused = false;
    json world = state();
    for (const auto& e : world["events"]) {
        refused = refused || (e.value("type", "") == "storedAction" && e.value("code", 0) == 21 && e.value("ran", true) == false);
        EXPECT_NE(e.value("type", ""), "launch") << "a stored action started the Logic the user quit";
    }
    EXPECT_TRUE(refused);
}

// The stored script addresses the Logic that runs, with Automation for it; it
// waits while Logic shows a modal dialog, as an Apple Event to it does.
TEST_F(ActionsSimTest, StoredActionsAddressTheRunningLogicWithItsPermission)
{
    ctl("load", json { { "file", std::string(MQ_SCENARIO_DIR) + "/mobilelogic-german.json" } });
    EXPECT_TRUE(logic::runStoredAction(21)) << "Logic under its other bundle";
    ASSERT_TRUE(waitUntilWindowsOpened());
    EXPECT_NE(state()["applications"].dump().find("\"go-to-position\""), std::string::npos);

    // The dialog is up: the next action waits until it closes.
    std::atomic<bool> ran { false };
    std::thread waiting([&] { ran = logic::runStoredAction(888); });
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(ran) << "ran while a modal dialog was up";
    EXPECT_EQ(logic()["markerTrackShown"], false);
    ctl("close-dialog", { { "window", "go-to-position" } });
    waiting.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(logic()["markerTrackShown"], true);

    ctl("set-automation", { { "bundleIdentifier", "com.apple.mobilelogic" }, { "state", "denied" } });
    EXPECT_FALSE(logic::runStoredAction(888)) << "no Automation permission for Logic";
    EXPECT_EQ(logic()["markerTrackShown"], true);
}

} // namespace
} // namespace mq::test
