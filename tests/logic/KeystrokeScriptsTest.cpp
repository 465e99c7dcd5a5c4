// The keystroke scripts byte for byte, the escaping of field text, Logic's process
// name, and the script runner's answers and log lines.
#include "logic/KeystrokeScripts.h"

#include "logic/AppleScriptRunner.h"
#include "tests/logic/LogicFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace mq::logic {
namespace {

using testing::LogicFixture;

// The scripts as "System Events" must receive them, one line per literal.
std::string lines(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (std::string_view part : parts)
        out += std::string(out.empty() ? "" : "\n") + std::string(part);
    return out;
}

TEST(KeystrokeScripts, AreAssembledByteForByte)
{
    struct Row {
        const char* name;
        std::string script;
        std::string expected;
    };
    const Row rows[] = {
        { "Escape", escapeScript("Logic Pro"),
            lines({ "tell application \"System Events\"", "    tell process \"Logic Pro\"", "        key code 53", "    end tell", "end tell" }) },
        { "Bar 1", barOneScript("Logic Pro"),
            lines({ "tell application \"System Events\"", "    tell process \"Logic Pro\"", "        keystroke \"1 1 1 1\"", "        keystroke tab",
                "    end tell", "end tell" }) },
        { "Tab-delay-text-Return", tabDelayTextReturnScript("Logic Pro X", "01:00:00:00"),
            lines({ "tell application \"System Events\"", "    tell process \"Logic Pro X\"", "        keystroke tab", "        delay 0.1",
                "        keystroke \"01:00:00:00\"", "        keystroke return", "     end tell", "end tell" }) },
        { "Locators", locatorsScript("Logic Pro", "1 1 1 1", "5 1 1 1"),
            lines({ "tell application \"System Events\"", "    tell process \"Logic Pro\"", "        keystroke tab", "        keystroke \"1 1 1 1\"",
                "        keystroke tab", "        keystroke tab", "        keystroke \"5 1 1 1\"", "        keystroke return", "     end tell",
                "end tell" }) },
        { "Text-Return", textReturnScript("Logic Pro", "Verse"),
            lines({ "tell application \"System Events\"", "    tell process \"Logic Pro\"", "        keystroke \"Verse\"", "        keystroke return",
                "     end tell", "end tell" }) },
        { "Select-all-text-Return", selectAllTextReturnScript("Logic Pro", "Dialogue"),
            lines({ "tell application \"System Events\"", "    tell process \"Logic Pro\"", "        keystroke \"a\" using {command down}",
                "        keystroke \"Dialogue\"", "        keystroke return", "    end tell", "end tell" }) },
        { "Go to folder", goToFolderScript("Logic Pro"),
            lines({ "tell application \"System Events\"", "  tell process \"Logic Pro\"", "    delay 1.0",
                "    keystroke \"g\" using {command down, shift down}", "    delay 1.0", "    keystroke \"v\" using {command down}",
                "    keystroke return", "    delay 1.0", "    keystroke return", "  end tell", "end tell" }) },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.script, row.expected) << row.name;
        EXPECT_NE(row.script.back(), '\n') << row.name << " ends with a line feed";
    }
}

TEST(KeystrokeScripts, EscapeFieldTextBackslashesFirstThenQuotes)
{
    struct Row {
        std::string text;
        std::string escaped;
    };
    const Row rows[] = {
        { "Verse", "Verse" },
        { "", "" },
        { "\\\"", "\\\\\\\"" }, // backslash, quote -> backslash x3, quote
        { "\"", "\\\"" },
        { "\\", "\\\\" },
        { "a\"b\"", "a\\\"b\\\"" },
        { "\\\\", "\\\\\\\\" },
        { "\"\\", "\\\"\\\\" },
        { "Chorus 2 – Käse", "Chorus 2 – Käse" }, // UTF-8 passes through
        { "tab\tline\nend", "tab\tline\nend" },
    };
    for (const Row& row : rows)
        EXPECT_EQ(escapeFieldText(row.text), row.escaped) << row.text;
    EXPECT_EQ(escapeFieldText("\\\""), std::string({ '\\', '\\', '\\', '"' }));
}

TEST(KeystrokeScripts, NameIsInsertedWithoutEscaping)
{
    EXPECT_EQ(escapeScript("Lo\"gic"), lines({ "tell application \"System Events\"", "    tell process \"Lo\"gic\"", "        key code 53", "    end tell", "end tell" }));
}

class KeystrokeScriptsPlatformTest : public LogicFixture { };

platform::ScriptResult scriptResult(bool compiled, std::optional<platform::CFDictionary> errorInfo)
{
    platform::ScriptResult result;
    result.compiled = compiled;
    result.errorInfo = std::move(errorInfo);
    return result;
}

TEST_F(KeystrokeScriptsPlatformTest, ProcessNameIsLogicsLocalizedNameOrLogicPro)
{
    struct Row {
        const char* scene;
        std::vector<platform::RunningApplication> running;
        std::string name;
    };
    const Row rows[] = {
        { "not running", {}, "Logic Pro" },
        { "other apps only", { { std::string("com.apple.finder"), 10, std::string("Finder") } }, "Logic Pro" },
        { "localized", { { std::string("com.apple.logic10"), 500, std::string("Logic Pro X") } }, "Logic Pro X" },
        { "no name", { { std::string("com.apple.logic10"), 500, std::nullopt } }, "Logic Pro" },
        { "mobile logic", { { std::string("com.apple.mobilelogic"), 501, std::string("Logic Pro für iPad") } }, "Logic Pro für iPad" },
        { "logic10 first", { { std::string("com.apple.mobilelogic"), 501, std::string("Mobile") }, { std::string("com.apple.logic10"), 500, std::string("Desktop") } },
            "Desktop" },
    };
    for (const Row& row : rows) {
        scripted.workspace.setRunningApplications(row.running);
        EXPECT_EQ(logicProcessName(platform), row.name) << row.scene;
    }
}

TEST_F(KeystrokeScriptsPlatformTest, EachSendRunsItsScriptForLogicsProcess)
{
    scripted.workspace.setRunningApplications({ { std::string("com.apple.logic10"), 500, std::string("Logic Pro X") } });
    const std::string name = "Logic Pro X";
    const std::string text = escapeFieldText("A \"B\"");
    struct Row {
        const char* name;
        std::function<bool()> send;
        std::string script;
    };
    const Row rows[] = {
        { "escape", [&] { return sendEscape(platform); }, escapeScript(name) },
        { "bar 1", [&] { return sendBarOne(platform); }, barOneScript(name) },
        { "tab delay", [&] { return sendTabDelayTextReturn(platform, text); }, tabDelayTextReturnScript(name, text) },
        { "locators", [&] { return sendLocators(platform, "1 1 1 1", "2 1 1 1"); }, locatorsScript(name, "1 1 1 1", "2 1 1 1") },
        { "text", [&] { return sendTextReturn(platform, text); }, textReturnScript(name, text) },
        { "select all", [&] { return sendSelectAllTextReturn(platform, text); }, selectAllTextReturnScript(name, text) },
        { "go to folder", [&] { return sendGoToFolder(platform); }, goToFolderScript(name) },
    };
    for (const Row& row : rows) {
        scripted.scripting.scripts.clear();
        EXPECT_TRUE(row.send()) << row.name;
        ASSERT_EQ(scripted.scripting.scripts.size(), 1u) << row.name;
        EXPECT_EQ(scripted.scripting.scripts[0], row.script) << row.name;
    }
}

TEST_F(KeystrokeScriptsPlatformTest, RunnerAnswersAndLogsEachOutcome)
{
    using platform::CFDictionary;
    using platform::CFValue;
    using platform::CFArray;
    struct Row {
        const char* outcome;
        platform::ScriptResult result;
        bool answer;
        std::string line; // the one error line, or empty for none
    };
    const std::vector<Row> rows {
        { "success", scriptResult(true, std::nullopt), true, "" },
        { "no script object", scriptResult(false, std::nullopt), false, "AppleScript: failed to compile" },
        { "syntax error", scriptResult(false, CFDictionary { { "NSAppleScriptErrorNumber", CFValue(std::int64_t(-2741)) } }), false,
            "AppleScript: failed to compile" },
        { "automation denied",
            scriptResult(true, CFDictionary { { "NSAppleScriptErrorMessage", CFValue("Not authorized to send Apple events to System Events.") },
                        { "NSAppleScriptErrorNumber", CFValue(std::int64_t(-1743)) } }),
            false,
            "AppleScript error: {NSAppleScriptErrorMessage = \"Not authorized to send Apple events to System Events.\"; "
            "NSAppleScriptErrorNumber = -1743;}" },
        { "unknown process",
            scriptResult(true, CFDictionary { { "NSAppleScriptErrorBriefMessage", CFValue("Can’t get process \"Logic Pro\".") },
                        { "NSAppleScriptErrorNumber", CFValue(std::int64_t(-1728)) }, { "NSAppleScriptErrorRange", CFValue(CFArray { 0, 12 }) } }),
            false,
            "AppleScript error: {NSAppleScriptErrorBriefMessage = \"Can’t get process \\\"Logic Pro\\\".\"; NSAppleScriptErrorNumber = -1728; "
            "NSAppleScriptErrorRange = (0, 12);}" },
        { "empty error information", scriptResult(true, CFDictionary {}), false, "AppleScript error: {}" },
    };
    for (const Row& row : rows) {
        log::LogCapture lines;
        scripted.scripting.scriptResult = row.result;
        EXPECT_EQ(runAppleScript(scripted.scripting, "tell application \"System Events\"\nend tell"), row.answer) << row.outcome;
        std::vector<log::CapturedLine> captured = lines.lines();
        if (row.line.empty()) {
            EXPECT_TRUE(captured.empty()) << row.outcome;
            continue;
        }
        ASSERT_EQ(captured.size(), 1u) << row.outcome;
        EXPECT_EQ(captured[0].category, "helper.service");
        EXPECT_EQ(captured[0].level, log::Level::error);
        EXPECT_EQ(captured[0].message, row.line) << row.outcome;
    }
}

TEST_F(KeystrokeScriptsPlatformTest, LogicNotRunningStillSendsToLogicProAndReportsTheFailure)
{
    scripted.scripting.scriptResult = scriptResult(true,
        platform::CFDictionary { { "NSAppleScriptErrorMessage", platform::CFValue("System Events got an error: Can’t get process \"Logic Pro\".") },
            { "NSAppleScriptErrorNumber", platform::CFValue(std::int64_t(-1728)) } });
    EXPECT_FALSE(sendEscape(platform));
    ASSERT_EQ(scripted.scripting.scripts.size(), 1u);
    EXPECT_EQ(scripted.scripting.scripts[0], escapeScript("Logic Pro"));
    EXPECT_EQ(capture.count("AppleScript error: {NSAppleScriptErrorMessage = \"System Events got an error: Can’t get process \\\"Logic Pro\\\".\"; "
                            "NSAppleScriptErrorNumber = -1728;}",
                  "helper.service"),
        1u);
}

} // namespace
} // namespace mq::logic
