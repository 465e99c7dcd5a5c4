// Keyboard and mouse events reaching the frontmost dialog.
#include "tests/sim/LogicSimFixture.h"

#include "platform/InputEvents.h"

namespace mq::test {
namespace {

using namespace platform;

json dialogDefinition(bool refusePress = false)
{
    return json {
        { "key", "dialog" }, { "role", "AXWindow" }, { "subrole", "AXDialog" }, { "title", "Go to Position" }, { "modal", true },
        { "position", { 500, 300 } }, { "size", { 400, 200 } }, { "defaultButton", "ok" }, { "cancelButton", "cancel" },
        { "children", {
            { { "key", "bar-field" }, { "role", "AXTextField" }, { "value", "" } },
            { { "key", "smpte-field" }, { "role", "AXTextField" }, { "value", "" } },
            { { "key", "ok" }, { "role", "AXButton" }, { "title", "OK" }, { "press", "confirm" }, { "refuseAXPress", refusePress },
                { "position", { 780, 460 } }, { "size", { 60, 24 } } },
            { { "key", "cancel" }, { "role", "AXButton" }, { "title", "Cancel" }, { "press", "cancel" } },
        } },
    };
}

class Input : public LogicSimTest {
protected:
    void key(std::uint16_t code, std::u16string text = {}, std::uint64_t flags = 0)
    {
        m_backend->postKeyboardEvent({ code, true, text, flags });
        m_backend->postKeyboardEvent({ code, false, text, flags });
    }
    void type(const std::u16string& text)
    {
        for (char16_t c : text)
            key(keycode::ansiA, std::u16string(1, c));
    }
    // Events are posted without a reply; a round trip on the same connection
    // makes sure logicsim has handled them before the state is read elsewhere.
    void sync() { m_backend->cursorPosition(); }
    json dialogInState()
    {
        sync();
        json state = ctl("state");
        for (const auto& app : state["applications"])
            for (const auto& window : app["windows"])
                if (window.value("key", "") == "dialog")
                    return window;
        return nullptr;
    }
    std::string fieldValue(const json& dialog, size_t index)
    {
        return dialog["children"][index]["attributes"]["AXValue"].get<std::string>();
    }
};

TEST_F(Input, TypingGoesToTheFocusedFieldAndTabMovesTheFocus)
{
    ctl("add-window", { { "window", dialogDefinition() } });
    type(u"1 1 1 1");
    key(keycode::tab);
    type(u"01:00:02:00");
    auto dialog = dialogInState();
    ASSERT_FALSE(dialog.is_null());
    EXPECT_EQ(fieldValue(dialog, 0), "1 1 1 1");
    EXPECT_EQ(fieldValue(dialog, 1), "01:00:02:00");
    EXPECT_EQ(dialog["focusedField"], "smpte-field");

    // The focused field reads as focused through accessibility too.
    auto app = ax().createApplication(logicPid());
    CFValue focused, isFocused;
    ASSERT_EQ(read(app, "AXFocusedUIElement", focused), 0);
    ASSERT_EQ(read(*focused.get<AXElementRef>(), "AXFocused", isFocused), 0);
    EXPECT_EQ(isFocused, CFValue(true));
    EXPECT_EQ(readString(*focused.get<AXElementRef>(), "AXValue"), "01:00:02:00");

    // Cmd-A then typing replaces; Delete removes the last character.
    key(keycode::ansiA, u"a", eventflags::command);
    type(u"12");
    key(51);
    EXPECT_EQ(fieldValue(dialogInState(), 1), "1");
    key(keycode::tab, {}, eventflags::shift);
    EXPECT_EQ(dialogInState()["focusedField"], "bar-field");
}

TEST_F(Input, ReturnPressesTheDefaultButtonEvenWhenItRefusesAXPress)
{
    ctl("add-window", { { "window", dialogDefinition(true) } });
    auto app = ax().createApplication(logicPid());
    CFValue focusedWindow, button;
    ASSERT_EQ(read(app, "AXFocusedWindow", focusedWindow), 0);
    auto dialog = *focusedWindow.get<AXElementRef>();
    EXPECT_EQ(readString(dialog, "AXSubrole"), "AXDialog");
    ASSERT_EQ(read(dialog, "AXDefaultButton", button), 0);
    EXPECT_EQ(ax().performAction(*button.get<AXElementRef>(), "AXPress"), axerror::failure);
    type(u"5");
    key(keycode::returnKey);
    sync();
    auto state = ctl("state");
    EXPECT_TRUE(dialogInState().is_null());
    ASSERT_EQ(state["dialogResults"].size(), 1u);
    EXPECT_EQ(state["dialogResults"][0]["result"], "confirmed");
    EXPECT_EQ(state["dialogResults"][0]["fields"][0], "5");
    // The dialog's elements are gone; the document window has the focus again.
    CFValue value;
    EXPECT_EQ(read(dialog, "AXRole", value), axerror::invalidUIElement);
    ASSERT_EQ(read(app, "AXFocusedWindow", focusedWindow), 0);
    EXPECT_EQ(readString(*focusedWindow.get<AXElementRef>(), "AXSubrole"), "AXStandardWindow");
}

TEST_F(Input, EscapeCancelsAndAXPressConfirms)
{
    ctl("add-window", { { "window", dialogDefinition() } });
    key(keycode::escape);
    ctl("add-window", { { "window", dialogDefinition() } });
    auto app = ax().createApplication(logicPid());
    CFValue focusedWindow, button;
    ASSERT_EQ(read(app, "AXFocusedWindow", focusedWindow), 0);
    ASSERT_EQ(read(*focusedWindow.get<AXElementRef>(), "AXDefaultButton", button), 0);
    EXPECT_EQ(ax().performAction(*button.get<AXElementRef>(), "AXPress"), 0);
    sync();
    auto results = ctl("state")["dialogResults"];
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]["result"], "cancelled");
    EXPECT_EQ(results[1]["result"], "confirmed");
}

TEST_F(Input, KeysGoToTheFrontmostApplicationNotToLogic)
{
    ctl("add-window", { { "window", dialogDefinition() } });
    ctl("frontmost", { { "app", "finder" } });
    type(u"9");
    EXPECT_EQ(fieldValue(dialogInState(), 0), "");
    sync();
    auto state = ctl("state");
    ASSERT_EQ(state["keyEvents"].size(), 2u);
    EXPECT_EQ(state["keyEvents"][0]["app"], "finder");
    EXPECT_TRUE(state["keyEvents"][0]["window"].is_null()) << "Finder shows no window here";
}

TEST_F(Input, ClickPressesTheButtonUnderTheCursorAndMovesIt)
{
    ctl("add-window", { { "window", dialogDefinition() } });
    m_backend->postMouseEvent({ MouseEventType::leftMouseDown, { 800, 470 }, 0 });
    m_backend->postMouseEvent({ MouseEventType::leftMouseUp, { 800, 470 }, 0 });
    EXPECT_EQ(m_backend->cursorPosition(), (CGPoint { 800, 470 }));
    EXPECT_TRUE(dialogInState().is_null());
    m_backend->warpCursor({ 10, 20 });
    EXPECT_EQ(m_backend->cursorPosition(), (CGPoint { 10, 20 }));
    EXPECT_EQ(ctl("state")["mouseEvents"].size(), 2u);
}

} // namespace
} // namespace mq::test
