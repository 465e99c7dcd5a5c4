// The "System Events" dialect: every keystroke script of the helper compiles to
// the keystrokes it means, string escapes resolve, and everything else is a
// compile error at the right place.
#include "sim/systemevents/SystemEventsScript.h"

#include "logic/KeystrokeScripts.h"

#include <gtest/gtest.h>

namespace mq::sim::systemevents {
namespace {

Step key(std::uint16_t code) { return { Step::Kind::keyCode, code, "", 0, 0 }; }
Step text(std::string t, unsigned modifiers = 0) { return { Step::Kind::text, 0, std::move(t), modifiers, 0 }; }
Step tab() { return { Step::Kind::tab, 0, "", 0, 0 }; }
Step ret() { return { Step::Kind::returnKey, 0, "", 0, 0 }; }
Step delay(double s) { return { Step::Kind::delay, 0, "", 0, s }; }

TEST(SystemEventsScript, CompilesEveryKeystrokeScriptOfTheHelper)
{
    using namespace mq::logic;
    const std::string name = "Logic Pro";
    const std::string escapedName = escapeFieldText("\\\"");
    struct Row {
        const char* script;
        std::string source;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        { "Escape", escapeScript(name), { key(53) } },
        { "Bar 1", barOneScript(name), { text("1 1 1 1"), tab() } },
        { "Tab-delay-text-Return", tabDelayTextReturnScript(name, "01:00:00:00"), { tab(), delay(0.1), text("01:00:00:00"), ret() } },
        { "Locators", locatorsScript(name, "1 1 1 1", "9 1 1 1"), { tab(), text("1 1 1 1"), tab(), tab(), text("9 1 1 1"), ret() } },
        { "Text-Return", textReturnScript(name, escapedName), { text("\\\""), ret() } },
        { "Select-all-text-Return", selectAllTextReturnScript(name, escapeFieldText("a\"b\\c")),
            { text("a", modifier::command), text("a\"b\\c"), ret() } },
        { "Go to folder", goToFolderScript(name),
            { delay(1.0), text("g", modifier::command | modifier::shift), delay(1.0), text("v", modifier::command), ret(), delay(1.0), ret() } },
    };
    for (const Row& row : rows) {
        auto result = compile(row.source);
        ASSERT_TRUE(result.hasValue()) << row.script << ": " << result.error().message;
        EXPECT_EQ(result.value().processName, name) << row.script;
        EXPECT_EQ(result.value().steps, row.steps) << row.script;
    }
}

TEST(SystemEventsScript, ResolvesStringEscapesInNamesAndText)
{
    struct Row {
        std::string literal; // between the quotes, as written in the script
        std::string text;
    };
    const Row rows[] = {
        { "plain", "plain" },
        { "\\\\\\\"", "\\\"" },
        { "\\\"quoted\\\"", "\"quoted\"" },
        { "tab\\there", "tab\there" },
        { "a\\nb\\rc", "a\nb\rc" },
        { "Käse – 2", "Käse – 2" },
        { "", "" },
    };
    for (const Row& row : rows) {
        std::string source = "tell application \"System Events\"\ntell process \"" + row.literal + "\"\nkeystroke \"" + row.literal + "\"\nend tell\nend tell";
        auto result = compile(source);
        ASSERT_TRUE(result.hasValue()) << row.literal << ": " << result.error().message;
        EXPECT_EQ(result.value().processName, row.text);
        EXPECT_EQ(result.value().steps, std::vector<Step> { text(row.text) }) << row.literal;
    }
}

TEST(SystemEventsScript, AcceptsFreeIndentationAndBlankLines)
{
    auto result = compile("\n  tell application \"System Events\"\r\n\ttell process \"P\"   \n\n key code 36\n  delay 2\nend tell\n end tell\n\n");
    ASSERT_TRUE(result.hasValue()) << result.error().message;
    EXPECT_EQ(result.value().steps, (std::vector<Step> { key(36), delay(2) }));
}

TEST(SystemEventsScript, RefusesEverythingElse)
{
    const std::string head = "tell application \"System Events\"\n    tell process \"Logic Pro\"\n";
    const std::string tail = "\n    end tell\nend tell";
    struct Row {
        std::string source;
        std::size_t offset; // where the error is reported
    };
    const Row rows[] = {
        { "", 0 },
        { "tell application \"Finder\"\n    tell process \"Logic Pro\"\n        key code 53" + tail, 0 },
        { "tell application \"System Events\"", 32 },
        { "tell app \"System Events\"\n" + tail, 5 },
        { head + "        keystroke \"unterminated" + tail, head.size() + 18 },
        { head + "        keystroke \"bad \\q escape\"" + tail, head.size() + 23 },
        { head + "        keystroke space" + tail, head.size() + 18 },
        { head + "        keystroke \"a\" using {option down}" + tail, head.size() + 29 },
        { head + "        keystroke \"a\" using {command down, command down}" + tail, head.size() + 43 },
        { head + "        keystroke \"a\" using command down" + tail, head.size() + 28 },
        { head + "        keystroke \"a\" using {command}" + tail, head.size() + 36 },
        { head + "        key code" + tail, head.size() + 16 },
        { head + "        key code 53 extra" + tail, head.size() + 20 },
        { head + "        key code 1000" + tail, head.size() + 17 },
        { head + "        key code -1" + tail, head.size() + 17 },
        { head + "        delay" + tail, head.size() + 13 },
        { head + "        delay .5" + tail, head.size() + 14 },
        { head + "        click button 1" + tail, head.size() + 8 },
        { head + "        -- a comment" + tail, head.size() + 8 },
        { head + "        keystroke tab" + "\n    end tell", head.size() + 34 },
        { head + "        keystroke tab" + tail + "\nbeep", head.size() + 44 },
        { head + "        keystroke return" + tail + "\ntell application \"System Events\"", head.size() + 47 },
        { head + "        Keystroke tab" + tail, head.size() + 8 },
    };
    for (const Row& row : rows) {
        auto result = compile(row.source);
        ASSERT_TRUE(!result.hasValue()) << row.source;
        EXPECT_EQ(result.error().offset, row.offset) << row.source << "\n" << result.error().message;
        EXPECT_FALSE(result.error().message.empty());
    }
}

} // namespace
} // namespace mq::sim::systemevents
