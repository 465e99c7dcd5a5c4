// Input as a real Mac delivers it: keys go to the frontmost application's key
// window, keys reaching Logic's main window are key commands, and a click goes
// to the topmost thing on the whole desktop at its point.
#include "tests/sim/LogicSimFixture.h"
#include "tests/support/Eventually.h"

#include "platform/InputEvents.h"

#include <unistd.h>

#include <functional>

namespace mq::test {
namespace {

using namespace platform;

// Where things are in finder-window.json: the Colors window's cell 0 (grid at
// 1045, 335 when the window is at 1000, 300), a point of Logic's project window
// that Finder's window does not cover, one only Finder's window covers, and
// one of the bare desktop.
constexpr CGPoint kColorCell { 1050, 340 };
constexpr CGPoint kProjectOnly { 100, 500 };
constexpr CGPoint kFinderOnly { 1700, 900 };
constexpr CGPoint kBareDesktop { 1880, 600 };

class DesktopInput : public LogicSimTest {
protected:
    void SetUp() override
    {
        LogicSimTest::SetUp();
        ctl("load", { { "file", std::string(MQ_SCENARIO_DIR) + "/finder-window.json" } });
    }
    void key(std::uint16_t code, std::u16string text = {}, std::uint64_t flags = 0)
    {
        m_backend->postKeyboardEvent({ code, true, text, flags });
        m_backend->postKeyboardEvent({ code, false, text, flags });
    }
    void click(CGPoint down, CGPoint up, std::uint64_t flags = 0)
    {
        m_backend->postMouseEvent({ MouseEventType::leftMouseDown, down, flags });
        m_backend->postMouseEvent({ MouseEventType::leftMouseUp, up, flags });
    }
    void click(CGPoint at) { click(at, at); }
    // Input is posted without a reply; a round trip on the same connection
    // makes sure logicsim has handled it.
    json state(std::vector<std::string> only)
    {
        m_backend->cursorPosition();
        return ctl("state", { { "only", only } });
    }
    std::string frontmost() { return state({ "frontmost" })["frontmost"].get<std::string>(); }
};

TEST_F(DesktopInput, KeysReachTheFrontmostApplicationsKeyWindowAndSayWhere)
{
    ctl("frontmost", { { "app", "finder" } });
    key(keycode::ansiA, u"x");
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    ctl("frontmost", { { "app", "logic" } });
    key(keycode::ansiA, u"7");
    // The client's own activation takes the front: its keys reach no window.
    m_backend->activateIgnoringOtherApps();
    key(keycode::ansiA, u"y");
    std::string client = "client:" + std::to_string(::getpid());
    EXPECT_EQ(frontmost(), client);

    json keys = state({ "keyEvents" })["keyEvents"];
    ASSERT_EQ(keys.size(), 6u);
    const std::pair<json, json> reached[] = { { "finder", "finder-window" }, { "logic", "go-to-position" }, { client, nullptr } };
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t event : { 2 * i, 2 * i + 1 }) {
            EXPECT_EQ(keys[event]["app"], reached[i].first) << event;
            EXPECT_EQ(keys[event]["window"], reached[i].second) << event;
        }
    EXPECT_TRUE(events("keyCommand").empty());
}

TEST_F(DesktopInput, KeysReachingLogicsMainWindowAreKeyCommands)
{
    ctl("set-logic", { { "markers", json::array({ { { "start", 3600 }, { "end", 3610 } }, { { "start", 3620 }, { "end", 3630 } } }) },
                         { "regions", json::array({ { { "track", 0 }, { "name", "Take" }, { "start", 3600 }, { "length", 4 } } }) },
                         { "tracks", json::array({ { { "name", "Audio 1" } } }) } });
    struct Row {
        const char* what;
        json selection; // set before the key, or null
        std::uint16_t code;
        std::u16string text;
        std::uint64_t flags;
        const char* name;
        json effect;
    };
    const Row rows[] = {
        { "Space plays", nullptr, 49, u" ", 0, "Space", "play" },
        { "Space again stops", nullptr, 49, u" ", 0, "Space", "stop" },
        { "Return goes to the beginning", nullptr, keycode::returnKey, u"\r", 0, "Return", "toBeginning" },
        { "Delete deletes the selected marker", { { "kind", "marker" }, { "index", 1 } }, 51, u"", 0, "Delete", "deleted marker" },
        { "Delete deletes the selected region", { { "kind", "region" }, { "index", 0 } }, 51, u"", 0, "Delete", "deleted region" },
        { "Delete with nothing selected", nullptr, 51, u"", 0, "Delete", nullptr },
        { "a letter switches a tool", nullptr, keycode::ansiA, u"t", 0, "t", nullptr },
        { "Cmd-Space is another command", nullptr, 49, u" ", eventflags::command, "Cmd-Space", nullptr },
        { "Escape", nullptr, keycode::escape, u"", 0, "Escape", nullptr },
    };
    ctl("set-playhead", { { "seconds", 3700.0 } });
    for (const Row& row : rows) {
        if (!row.selection.is_null())
            ctl("set-logic", { { "selection", row.selection } });
        key(row.code, row.text, row.flags);
        auto commands = events("keyCommand");
        ASSERT_FALSE(commands.empty()) << row.what;
        EXPECT_EQ(commands.back()["key"], row.name) << row.what;
        EXPECT_EQ(commands.back()["window"], "project") << row.what;
        EXPECT_EQ(commands.back()["effect"], row.effect) << row.what;
    }
    EXPECT_EQ(events("keyCommand").size(), std::size(rows));
    json logic = state({ "logic", "transport" });
    EXPECT_EQ(logic["logic"]["markers"].size(), 1u);
    EXPECT_EQ(logic["logic"]["markers"][0]["start"], 3600);
    EXPECT_TRUE(logic["logic"]["regions"].empty());
    EXPECT_FALSE(logic["transport"]["playing"]);
    EXPECT_DOUBLE_EQ(logic["transport"]["playheadSeconds"].get<double>(), 3600.0);
}

TEST_F(DesktopInput, KeysForADialogOrAFocusedFieldAreNoKeyCommands)
{
    // A modal dialog and a name editor take the keys; a plug-in panel that has
    // the focus does not (it has no text field).
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    key(49, u" ");
    key(keycode::escape);
    ctl("add-window", { { "window", { { "role", "AXWindow" }, { "key", "editor" }, { "subrole", "AXFloatingWindow" }, { "focusedWindow", true },
                                        { "children", json::array({ { { "role", "AXTextField" }, { "key", "editor-field" }, { "focused", true } } }) } } } });
    key(49, u" ");
    EXPECT_TRUE(events("keyCommand").empty());
    ctl("remove-window", { { "window", "editor" } });
    ctl("plugin-panel", { { "focused", true } });
    key(49, u" ");
    auto commands = events("keyCommand");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0]["window"], "plugin-panel");
}

TEST_F(DesktopInput, AClickGoesToTheTopmostThingOnTheWholeDesktop)
{
    ctl("set-logic", { { "markers", json::array({ { { "start", 3600 }, { "end", 3610 } } }) },
                         { "selection", { { "kind", "marker" }, { "index", 0 } } } });
    ctl("set-colors-window", json::object());
    struct Row {
        const char* what;
        std::function<void()> arrange;
        CGPoint down, up;
        json app, window, element;
        bool blocked, colours, pressesFinder;
        const char* frontmostAfter;
    };
    const json screensWithDock = json::array({ { { "frame", { 0, 0, 1920, 1080 } }, { "visibleFrame", { 0, 70, 1920, 985 } } } });
    const Row rows[] = {
        { "Logic in front: its Colors cell", [] { }, kColorCell, kColorCell, "logic", "colors-window", "colors-grid", false, true, false, "logic" },
        { "down and up on different cells", [] { }, kColorCell, { kColorCell.x + 28, kColorCell.y }, "logic", "colors-window", "colors-grid",
            false, false, false, "logic" },
        { "an alert blocks Logic's other windows", [&] { ctl("alert", { { "message", "Something" }, { "position", { 100, 600 } } }); }, kColorCell, kColorCell, "logic",
            "colors-window", "colors-grid", true, false, false, "logic" },
        { "Finder in front: its button, over Logic's hidden Colors window", [&] { ctl("frontmost", { { "app", "finder" } }); }, kColorCell,
            kColorCell, "finder", "finder-window", "finder-button", false, false, true, "finder" },
        { "Finder's window behind Logic's comes forward without pressing", [] { }, kFinderOnly, kFinderOnly, "finder", "finder-window",
            "finder-window", false, false, false, "finder" },
        { "the menu bar", [] { }, { 500, 10 }, { 500, 10 }, "logic", "menu bar", nullptr, false, false, false, "logic" },
        { "the Dock", [&] { ctl("set-screens", { { "screens", screensWithDock } }); }, { 900, 1060 }, { 900, 1060 }, "dock", "Dock", nullptr,
            false, false, false, "logic" },
        { "the desktop is Finder's", [] { }, kBareDesktop, kBareDesktop, "finder", "desktop", nullptr, false, false, false, "finder" },
        { "Logic's project window", [] { }, kProjectOnly, kProjectOnly, "logic", "project", nullptr, false, false, false, "logic" },
    };
    for (const Row& row : rows) {
        ctl("frontmost", { { "app", "logic" } });
        row.arrange();
        std::size_t colourClicks = events("colorClick").size();
        std::size_t finderPresses = 0;
        for (const auto& e : events("action"))
            finderPresses += e["element"] == "finder-button";
        click(row.down, row.up);
        json mouse = state({ "mouseEvents" })["mouseEvents"];
        const json& down = mouse[mouse.size() - 2];
        EXPECT_EQ(down["app"], row.app) << row.what;
        EXPECT_EQ(down["window"], row.window) << row.what;
        if (!row.element.is_null()) {
            EXPECT_EQ(down["element"], row.element) << row.what;
        }
        EXPECT_EQ(down.value("blocked", false), row.blocked) << row.what;
        EXPECT_EQ(events("colorClick").size(), colourClicks + (row.colours ? 1 : 0)) << row.what;
        std::size_t pressedNow = 0;
        for (const auto& e : events("action"))
            pressedNow += e["element"] == "finder-button";
        EXPECT_EQ(pressedNow, finderPresses + (row.pressesFinder ? 1 : 0)) << row.what;
        EXPECT_EQ(frontmost(), row.frontmostAfter) << row.what;
        if (std::string(row.what).starts_with("an alert"))
            ctl("close-dialog", { { "window", "alert" } });
    }
}

TEST_F(DesktopInput, TheSystemWideHitTestAgreesWithTheWindowStack)
{
    ctl("set-colors-window", json::object());
    auto topmostRole = [&](CGPoint at) {
        AXElementRef found;
        if (ax().copyElementAtPosition(ax().createSystemWide(), static_cast<float>(at.x), static_cast<float>(at.y), found) != axerror::success)
            return std::string("none");
        return readString(found, "AXRole").value_or("?") + (found.token == 0 ? "" : ":" + readString(found, "AXTitle").value_or(""));
    };
    EXPECT_EQ(topmostRole(kColorCell), "AXGroup:");
    ctl("frontmost", { { "app", "finder" } });
    EXPECT_EQ(topmostRole(kColorCell), "AXButton:Share");
    EXPECT_EQ(topmostRole({ 500, 10 }), "AXApplication");
}

TEST_F(DesktopInput, AFocusThiefTakesTheFrontUntilStopped)
{
    ctl("focus-thief", { { "app", "finder" }, { "everyMs", 20 } });
    EXPECT_TRUE(eventually([&] { return frontmost() == "finder"; }, 2s));
    ctl("frontmost", { { "app", "logic" } });
    EXPECT_TRUE(eventually([&] { return frontmost() == "finder"; }, 2s)) << "it takes the front again";
    ctl("focus-thief", { { "stop", true } });
    ctl("frontmost", { { "app", "logic" } });
    // Ten of its periods pass with Logic in front.
    EXPECT_FALSE(eventually([&] { return frontmost() != "logic"; }, 200ms));
    EXPECT_FALSE(ctlRaw("focus-thief", { { "everyMs", 20 } }).value("ok", false)) << "a thief must be named";
}

TEST_F(DesktopInput, APluginPanelAndAnAlertOpenInLogicNowOrLater)
{
    ctl("plugin-panel", { { "afterMs", 50 } });
    ctl("alert", { { "title", "Import" }, { "message", "The file could not be found." }, { "afterMs", 80 } });
    ASSERT_TRUE(eventually([&] { return events("windowOpened").size() == 2; }, 2s));
    json logic = state({ "applications" })["applications"][1];
    ASSERT_EQ(logic["windows"].size(), 3u);
    EXPECT_EQ(logic["windows"][0]["key"], "alert");
    EXPECT_EQ(logic["windows"][0]["attributes"]["AXModal"], true);
    EXPECT_EQ(logic["windows"][1]["key"], "plugin-panel");
    EXPECT_EQ(logic["windows"][1]["attributes"]["AXModal"], false);
    EXPECT_EQ(logic["focusedWindow"], "alert");
    key(keycode::returnKey);
    EXPECT_EQ(state({ "dialogResults" })["dialogResults"][0]["title"], "Import");
    ctl("plugin-panel", { { "open", false } });
    EXPECT_EQ(state({ "applications" })["applications"][1]["windows"].size(), 1u);
}

} // namespace
} // namespace mq::test
