// logicsim behaves like a real application: its windows appear some time after
// the command that opens them, a typed value takes effect some time after Tab,
// accessibility calls cost time, parts of the tree are rebuilt under a search,
// the control bar and the dialogs agree on every time label, and the default
// project window is as full as a real one.
#include "tests/sim/LogicSimFixture.h"
#include "tests/support/Eventually.h"

#include "platform/InputEvents.h"

#include <fstream>

namespace mq::test {
namespace {

using namespace platform;

class Realism : public LogicSimTest {
protected:
    json state(std::vector<std::string> only) { return ctl("state", { { "only", only } }); }
    /// The control bar's slider descriptions, left to right, and the Go to
    /// Position dialog's "Current Position" text, for the playhead at `seconds`.
    std::pair<std::string, std::string> displayAndDialog(double seconds)
    {
        ctl("set-playhead", { { "seconds", seconds } });
        ctl("open-dialog", { { "dialog", "goToPosition" } });
        json applications = state({ "applications" })["applications"];
        std::string display, dialog;
        for (const auto& app : applications)
            for (const auto& w : app["windows"]) {
                if (w.value("key", "") == "go-to-position")
                    dialog = w["children"][0]["attributes"]["AXValue"].get<std::string>();
                if (w.value("key", "") == "project")
                    for (const auto& slider : w["children"][kControlBar]["children"][2]["children"])
                        display += (display.empty() ? "" : ":") + slider["attributes"]["AXValueDescription"].get<std::string>();
            }
        ctl("close-dialog", { { "window", "go-to-position" } });
        return { display, dialog };
    }
    void key(std::uint16_t code, std::u16string text = {})
    {
        m_backend->postKeyboardEvent({ code, true, text, 0 });
        m_backend->postKeyboardEvent({ code, false, text, 0 });
    }
};

TEST_F(Realism, TheDisplayAndTheDialogShowOneLabelForOnePosition)
{
    struct Case {
        json transport;
        double seconds;
        const char* label;
    };
    const Case cases[] = {
        { { { "frameRate", 25 }, { "dropFrame", false } }, 3661.52, "01:01:01:13" },
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, 3600.0, "01:00:03:18" },
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, 599.4, "00:10:00:00" },
        { { { "frameRate", 25 }, { "dropFrame", false } }, 90000.0 + 61.0, "01:01:01:00" }, // past 24 hours both wrap
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, 90000.0, "01:01:30:02" }, // 25:01:30:02 wrapped
    };
    for (const auto& c : cases) {
        json transport = c.transport;
        transport["projectEndSeconds"] = 200000.0;
        ctl("set-transport", transport);
        auto [display, dialog] = displayAndDialog(c.seconds);
        EXPECT_EQ(display, c.label) << c.transport.dump() << " " << c.seconds;
        EXPECT_EQ(dialog, c.label) << c.transport.dump() << " " << c.seconds;
    }
}

TEST_F(Realism, DigitsAreWrittenAsTheScenarioSays)
{
    struct Case {
        const char* digits;
        std::vector<std::string> descriptions;
    };
    const Case cases[] = {
        { "padded", { "01", "00", "00", "00" } },
        { "unpadded", { "1", "0", "0", "0" } },
        { "fullwidth", { "\xEF\xBC\x90\xEF\xBC\x91", "\xEF\xBC\x90\xEF\xBC\x90", "\xEF\xBC\x90\xEF\xBC\x90", "\xEF\xBC\x90\xEF\xBC\x90" } },
        { "arabicIndic", { "\xD9\xA0\xD9\xA1", "\xD9\xA0\xD9\xA0", "\xD9\xA0\xD9\xA0", "\xD9\xA0\xD9\xA0" } },
    };
    for (const auto& c : cases) {
        ctl("set-transport", { { "digits", c.digits } });
        std::vector<std::string> shown;
        json world = state({ "applications" });
        for (const auto& app : world["applications"])
            for (const auto& w : app["windows"])
                if (w.value("key", "") == "project")
                    for (const auto& slider : w["children"][kControlBar]["children"][2]["children"])
                        shown.push_back(slider["attributes"]["AXValueDescription"].get<std::string>());
        EXPECT_EQ(shown, c.descriptions) << c.digits;
    }
    EXPECT_TRUE(ctlRaw("set-transport", { { "digits", "roman" } }).contains("error"));
}

// Confirming before Logic took the typed value moves nothing: the value is
// taken after the commit delay, and by then the dialog is gone.
TEST_F(Realism, ConfirmingBeforeTheCommitDelayMovesNothing)
{
    ctl("set-latency", { { "commitMs", 300 } });
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    key(keycode::tab);
    for (char c : std::string("01:00:10:12"))
        key(keycode::ansiA, std::u16string(1, static_cast<char16_t>(c)));
    key(keycode::tab);
    key(keycode::returnKey);
    ASSERT_TRUE(waitForEvent("commitDropped"));
    EXPECT_EQ(ctl("state")["transport"]["playheadSeconds"], 3600.0);
    EXPECT_TRUE(events("goToPosition.entered").empty());
}

// A dialog the scenario shows as a sheet hangs on the project window: it is not
// one of Logic's windows, yet it has the keyboard focus, takes typing, and
// closes with Escape as a dialog window does.
TEST_F(Realism, ADialogShownAsASheetHangsOnTheProjectWindow)
{
    ctl("sheets", { { "keys", { "go-to-position" } } });
    ctl("open-dialog", { { "dialog", "goToPosition" } });

    auto application = ax().createApplication(logicPid());
    CFValue windows;
    ASSERT_EQ(read(application, "AXWindows", windows), 0);
    ASSERT_EQ(windows.get<CFArray>()->size(), 1u) << "the sheet is not a window";
    AXElementRef project = *(*windows.get<CFArray>())[0].get<AXElementRef>();

    CFValue focused, parent;
    ASSERT_EQ(read(application, "AXFocusedUIElement", focused), 0);
    AXElementRef field = *focused.get<AXElementRef>();
    EXPECT_EQ(readString(field, "AXRole"), "AXTextField");
    ASSERT_EQ(read(field, "AXParent", parent), 0);
    AXElementRef sheet = *parent.get<AXElementRef>();
    EXPECT_EQ(readString(sheet, "AXRole"), "AXSheet");
    EXPECT_EQ(readString(sheet, "AXTitle"), "Go to Position");
    ASSERT_EQ(read(sheet, "AXParent", parent), 0);
    EXPECT_EQ(*parent.get<AXElementRef>(), project);

    key(keycode::ansiA, u"7");
    key(keycode::escape);
    // Key events are posted, not answered: wait for logicsim to have handled them.
    json results;
    EXPECT_TRUE(eventually([&] { return !(results = state({ "dialogResults" })["dialogResults"]).empty(); }, 2s));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["key"], "go-to-position");
    EXPECT_EQ(results[0]["result"], "cancelled");
    EXPECT_EQ(results[0]["fields"][0], "7");
    CFValue role;
    EXPECT_EQ(read(sheet, "AXRole", role), axerror::invalidUIElement);
    CFValue children;
    ASSERT_EQ(read(project, "AXChildren", children), 0);
    for (const CFValue& child : *children.get<CFArray>())
        EXPECT_NE(*child.get<AXElementRef>(), sheet);
}

TEST_F(Realism, AccessibilityCallsCostTheirTime)
{
    ctl("set-latency", { { "accessibilityCallMs", 20 } });
    auto application = ax().createApplication(logicPid());
    auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        CFValue title;
        ASSERT_EQ(read(application, "AXTitle", title), 0);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - started, 10 * 20ms - 5ms);
    EXPECT_EQ(ctl("state", { { "only", { "latency" } } })["latency"]["accessibilityCallMs"], 20.0);
}

// A volatile element's children are built again every so many calls: a handle
// read before is invalid afterwards, as when Logic redraws under a search.
TEST_F(Realism, VolatileElementsVanishUnderASearch)
{
    json scenario = json::parse(std::ifstream(std::string(MQ_SCENARIO_DIR) + "/default.json"));
    scenario["volatile"] = { { "element", "tracks-area" }, { "everyCalls", 5 } };
    ctl("load", { { "scenario", scenario } });
    // The tracks area is the project window's fourth child: toolbar, inspector,
    // track headers, tracks.
    AXElementRef tracks = elementByKeyPath({ 0, 3 });
    CFValue lanes;
    ASSERT_EQ(read(tracks, "AXChildren", lanes), 0);
    AXElementRef lane = *(*lanes.get<CFArray>())[0].get<AXElementRef>();
    CFValue role;
    int invalid = 0;
    for (int i = 0; i < 10; ++i)
        invalid += read(lane, "AXRole", role) == axerror::invalidUIElement;
    EXPECT_GT(invalid, 0);
    EXPECT_FALSE(events("rebuilt").empty());
    ASSERT_EQ(read(tracks, "AXChildren", lanes), 0); // the area itself stays
}

TEST_F(Realism, TheDefaultProjectWindowIsAsFullAsARealOne)
{
    json world = state({ "elementCount", "applications" });
    EXPECT_GT(world["elementCount"].get<int>(), 2000);
    EXPECT_LT(world["elementCount"].get<int>(), 5000);
    std::vector<std::string> areas;
    for (const auto& app : world["applications"])
        for (const auto& w : app["windows"])
            if (w.value("key", "") == "project")
                for (const auto& child : w["children"])
                    areas.push_back(child.value("key", child["attributes"].value("AXDescription", "")));
    // The control bar is listed last, so a depth-first search that examines the
    // last child first meets it before the big tracks area.
    EXPECT_EQ(areas, (std::vector<std::string> { "Toolbar", "Inspector", "track-headers", "tracks-area", "Library", "control-bar" }));
    EXPECT_TRUE(ctlRaw("load", { { "scenario", { { "applications", json::array({ { { "key", "x" }, { "windows", json::array({ { { "role", "AXWindow" }, { "logicContent", { { "tracks", -1 } } } } }) } } }) } } } })
                    .contains("error"));
}

} // namespace
} // namespace mq::test
