// logicsim's Go to Position dialog: its time arithmetic in-process, and the dialog
// driven with key events through the backend.
#include "sim/GoToPositionDialog.h"
#include "tests/sim/LogicSimFixture.h"

#include "platform/InputEvents.h"

namespace mq::test {
namespace {

using namespace platform;

sim::TransportSettings settings(const json& fields)
{
    sim::TransportSettings transport;
    transport.merge(fields);
    return transport;
}

TEST(GoToPositionArithmetic, DialogTextInEveryLayout)
{
    struct Case {
        json transport;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        { { { "frameRate", 25 } }, 3600.0, "01:00:00:00" },
        { { { "frameRate", 25 } }, 3661.52, "01:01:01:13" },
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, 60.0, "00:01:00:02" },
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, 599.4, "00:10:00:00" },
        { { { "frameRate", 25 }, { "displayLayout", "subframes" } }, 3600.5 / 1.0 + 0.02, "01:00:00:13.00" },
        { { { "frameRate", 25 }, { "displayLayout", "quarterFrames" } }, 0.05, "00:00:00:01/1" },
        { { { "frameRate", 25 }, { "displayLayout", "samples" } }, 0.0, "00:00:00:00,0000" },
        { { { "frameRate", 25 }, { "displayLayout", "secondsFraction:3" } }, 3600.25, "01:00:00,250" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::dialogTimecodeText(c.seconds, settings(c.transport)), c.text) << c.transport.dump() << " " << c.seconds;
}

TEST(GoToPositionArithmetic, TypedTextAsLogicTakesIt)
{
    struct Case {
        json transport;
        const char* typed;
        std::optional<double> seconds;
    };
    const Case cases[] = {
        { { { "frameRate", 25 } }, "01:00:10:12", 3610.48 },
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, "00:01:00:02", 60.0 },
        { { { "frameRate", 29.97 }, { "dropFrame", true } }, "00:01:00:00", std::nullopt }, // a dropped label
        { { { "frameRate", 25 } }, "01:00:00:25", std::nullopt }, // no frame 25 at 25 fps
        { { { "frameRate", 25 } }, "01:00:00", std::nullopt },
        { { { "frameRate", 25 }, { "displayLayout", "subframes" } }, "01:00:00:00:40", 3600.02 },
        { { { "frameRate", 25 }, { "displayLayout", "secondsFraction:3" } }, "01:00:00:500", 3600.5 },
    };
    for (const auto& c : cases) {
        auto seconds = sim::parseTypedTimecode(c.typed, settings(c.transport));
        ASSERT_EQ(seconds.has_value(), c.seconds.has_value()) << c.typed;
        if (seconds) {
            EXPECT_NEAR(*seconds, *c.seconds, 1e-9) << c.typed;
        }
    }
}

class GoToPositionDialog : public LogicSimTest {
protected:
    void key(std::uint16_t code, std::u16string text = {})
    {
        m_backend->postKeyboardEvent({ code, true, text, 0 });
        m_backend->postKeyboardEvent({ code, false, text, 0 });
    }
    void type(const std::string& text)
    {
        for (char c : text)
            key(keycode::ansiA, std::u16string(1, static_cast<char16_t>(c)));
    }
    json state()
    {
        m_backend->cursorPosition(); // A round trip: the events before it are handled.
        return ctl("state");
    }
    static const json* window(const json& state, const std::string& key)
    {
        for (const auto& app : state["applications"])
            for (const auto& w : app["windows"])
                if (w.value("key", "") == key)
                    return &w;
        return nullptr;
    }
};

TEST_F(GoToPositionDialog, TypedPositionMovesThePlayheadWhenConfirmed)
{
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    auto opened = state();
    const json* dialog = window(opened, "go-to-position");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ((*dialog)["children"][0]["attributes"]["AXValue"], "01:00:00:00");

    key(keycode::tab);
    type("01:00:10:12");
    key(keycode::tab);
    ASSERT_TRUE(waitForEvent("goToPosition.entered")); // Logic takes the typed value after its commit delay.
    auto entered = state();
    EXPECT_EQ((*window(entered, "go-to-position"))["children"][2]["attributes"]["AXValue"], "01:00:10:12");
    EXPECT_EQ(entered["transport"]["playheadSeconds"], 3600.0); // Not moved before confirming.

    key(keycode::returnKey);
    auto after = state();
    EXPECT_EQ(window(after, "go-to-position"), nullptr);
    EXPECT_NEAR(after["transport"]["playheadSeconds"].get<double>(), 3610.48, 1e-9);
}

TEST_F(GoToPositionDialog, BarOneShowsItsTimeAndEscapeChangesNothing)
{
    ctl("set-playhead", { { "seconds", 3700.0 } });
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    type("1 1 1 1");
    key(keycode::tab);
    ASSERT_TRUE(waitForEvent("goToPosition.entered"));
    auto entered = state();
    EXPECT_EQ((*window(entered, "go-to-position"))["children"][2]["attributes"]["AXValue"], "01:00:00:00");
    key(keycode::escape);
    auto after = state();
    EXPECT_EQ(window(after, "go-to-position"), nullptr);
    EXPECT_EQ(after["transport"]["playheadSeconds"], 3700.0);
}

TEST_F(GoToPositionDialog, ProjectEndClampsAndViewOffsetShiftsTheDialog)
{
    ctl("set-transport", { { "projectEndSeconds", 3700.0 }, { "smpteViewOffsetSeconds", 1.0 } });
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    auto opened = state();
    EXPECT_EQ((*window(opened, "go-to-position"))["children"][0]["attributes"]["AXValue"], "00:59:59:00");
    key(keycode::tab);
    type("05:00:00:00");
    key(keycode::tab);
    ASSERT_TRUE(waitForEvent("goToPosition.entered"));
    key(keycode::returnKey);
    EXPECT_EQ(state()["transport"]["playheadSeconds"], 3700.0);
}

} // namespace
} // namespace mq::test
