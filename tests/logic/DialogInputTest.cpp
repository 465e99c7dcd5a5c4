#include "logic/DialogInput.h"
#include "tests/logic/LogicFixture.h"

#include <chrono>

namespace mq::logic {
namespace {

using test::AXCall;
using testing::LogicFixture;

constexpr const char* kFallbackLine = "pressDefaultButton: default-button AXPress unavailable — falling back to Return keystroke";

class DialogInputTest : public LogicFixture {
public:
    void SetUp() override
    {
        platform::AXElementRef app = startLogic();
        dialogRef = scripted.accessibility.addWindow(app, "Go to Position", "AXDialog", true);
        buttonRef = scripted.accessibility.addChild(dialogRef, "AXButton");
    }
    ax::UIElement dialog() { return ax::UIElement(scripted.accessibility, dialogRef); }

    platform::AXElementRef dialogRef;
    platform::AXElementRef buttonRef;
};

TEST_F(DialogInputTest, PressesTheDefaultButton)
{
    bool pressed = false;
    scripted.accessibility.setAttribute(dialogRef, "AXDefaultButton", buttonRef);
    scripted.accessibility.addAction(buttonRef, "AXPress", {}, 0, [&] { pressed = true; });
    EXPECT_TRUE(pressDefaultButton(platform, dialog()));
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(scripted.input.posted().empty());
    EXPECT_FALSE(levelOf(kFallbackLine).has_value());
}

struct FallbackRow {
    const char* name;
    std::function<void(DialogInputTest&)> arrange;
};

class ReturnFallback : public DialogInputTest, public ::testing::WithParamInterface<FallbackRow> { };

TEST_P(ReturnFallback, TypesReturnAndStillSucceeds)
{
    GetParam().arrange(*this);
    EXPECT_TRUE(pressDefaultButton(platform, dialog()));
    EXPECT_EQ(levelOf(kFallbackLine), log::Level::error);
    std::vector<test::PostedEvent> posted = scripted.input.posted();
    ASSERT_EQ(posted.size(), 2u);
    const auto& down = std::get<platform::KeyboardEvent>(posted[0].event);
    const auto& up = std::get<platform::KeyboardEvent>(posted[1].event);
    EXPECT_EQ(down.virtualKey, 36);
    EXPECT_TRUE(down.keyDown);
    EXPECT_EQ(up.virtualKey, 36);
    EXPECT_FALSE(up.keyDown);
    EXPECT_GE(posted[1].postedAt - posted[0].postedAt, std::chrono::microseconds(2000));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReturnFallback,
    ::testing::Values(FallbackRow { "NoDefaultButton", [](DialogInputTest&) {} },
        FallbackRow { "DefaultButtonWithoutValue",
            [](DialogInputTest& t) { t.scripted.accessibility.setAttributeWithoutValue(t.dialogRef, "AXDefaultButton"); } },
        FallbackRow { "PressRefused",
            [](DialogInputTest& t) {
                t.scripted.accessibility.setAttribute(t.dialogRef, "AXDefaultButton", t.buttonRef);
                t.scripted.accessibility.addAction(t.buttonRef, "AXPress", {}, -25204);
            } },
        FallbackRow { "PressUnsupported",
            [](DialogInputTest& t) {
                t.scripted.accessibility.setAttribute(t.dialogRef, "AXDefaultButton", t.buttonRef);
            } },
        FallbackRow { "ReadFails",
            [](DialogInputTest& t) {
                t.scripted.accessibility.failCall(AXCall::copyAttributeValue, -25202, std::nullopt, std::string("AXDefaultButton"));
            } },
        FallbackRow { "NotAnElement",
            [](DialogInputTest& t) { t.scripted.accessibility.setAttribute(t.dialogRef, "AXDefaultButton", "OK"); } }),
    [](const ::testing::TestParamInfo<FallbackRow>& row) { return std::string(row.param.name); });

TEST_F(DialogInputTest, TypesEachScalarAsAKeyDownAndUpWithItsUnicodeString)
{
    typeTextWithKeyEvents(platform, "01:0\xC3\xA9\xF0\x9D\x84\x9E"); // "01:0é𝄞"
    std::vector<test::PostedEvent> posted = scripted.input.posted();
    const std::u16string expected[] = { u"0", u"1", u":", u"0", u"\u00E9", u"\U0001D11E" };
    ASSERT_EQ(posted.size(), 2 * std::size(expected));
    for (std::size_t i = 0; i < posted.size(); ++i) {
        const auto& event = std::get<platform::KeyboardEvent>(posted[i].event);
        EXPECT_EQ(event.virtualKey, 0) << i;
        EXPECT_EQ(event.keyDown, i % 2 == 0) << i;
        EXPECT_EQ(event.unicodeString, expected[i / 2]) << i;
        EXPECT_EQ(event.flags, 0u);
        if (i > 0) {
            EXPECT_GE(posted[i].postedAt - posted[i - 1].postedAt, std::chrono::microseconds(3000)) << i;
        }
    }
    EXPECT_EQ(std::get<platform::KeyboardEvent>(posted[10].event).unicodeString.size(), 2u); // a surrogate pair
}

TEST(DecodeUTF8, MalformedSequencesBecomeReplacementCharacters)
{
    struct Row {
        std::string text;
        std::u32string scalars;
    };
    const Row rows[] = {
        { "", U"" },
        { "ab", U"ab" },
        { "\xC3\xA9", U"\u00E9" },
        { "\xE2\x80\x94", U"\u2014" },
        { "\xF0\x9F\x8E\xB5", U"\U0001F3B5" },
        { "\xC3", U"\uFFFD" }, // truncated
        { "\xC3(", U"\uFFFD(" }, // bad continuation
        { "\xC0\xAF", U"\uFFFD\uFFFD" }, // overlong
        { "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD" }, // a surrogate
        { "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD" }, // past U+10FFFF
        { "\xFF" "a", U"\uFFFDa" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(decodeUTF8(row.text), row.scalars) << row.text;
}

} // namespace
} // namespace mq::logic
