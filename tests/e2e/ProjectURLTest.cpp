// currentLogicProjectURLWithReply: through real processes: the marquee tool's
// client library, marquee-helper, and logicsim standing in for Logic.
#include "tests/harness/HelperHarness.h"

#include <gtest/gtest.h>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::HelperHarness;

struct ProjectURLReply {
    std::optional<URL> url;
    std::optional<ServiceError> error;
};

ProjectURLReply askForProjectURL(HelperHarness& harness)
{
    auto connection = harness.connect();
    auto result = connection->currentLogicProjectURLWithReply({}, 10s);
    EXPECT_TRUE(result.hasValue()) << (result.hasValue() ? "" : result.error().message);
    if (!result.hasValue())
        return {};
    auto [url, error] = result.value();
    // Exactly one of the two is present.
    EXPECT_NE(url.has_value(), error.has_value());
    return { url, error };
}

void setDocument(HelperHarness& harness, const std::string& window, const json& document)
{
    if (document.is_null())
        harness.logicSim().ctl("set-attribute", { { "element", window }, { "attribute", "AXDocument" }, { "remove", true } });
    else
        harness.logicSim().ctl("set-attribute", { { "element", window }, { "attribute", "AXDocument" }, { "value", document } });
}

TEST(ProjectURL, DocumentFormsOfTheProjectWindow)
{
    struct Case {
        const char* name;
        json document;
        const char* url; // nullptr: error 61
        const char* logged;
    };
    const Case cases[] = {
        { "plain path", "/Users/someone/Music/Demo Project.logicx", "file:///Users/someone/Music/Demo%20Project.logicx",
            "currentLogicProjectURL: /Users/someone/Music/Demo Project.logicx" },
        { "file URL", "file:///Users/someone/Music/Song.logicx", "file:///Users/someone/Music/Song.logicx",
            "currentLogicProjectURL: /Users/someone/Music/Song.logicx" },
        { "web URL", "https://example.invalid/Song.logicx", nullptr,
            "could not parse AXDocument 'https://example.invalid/Song.logicx' as file URL" },
        { "relative path", "Music/Song.logicx", nullptr, "could not parse AXDocument 'Music/Song.logicx' as file URL" },
        { "empty", "", nullptr, "no Logic window exposes AXDocument" },
        { "untitled", nullptr, nullptr, "no Logic window exposes AXDocument (no project saved, or none open)" },
    };
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    for (const auto& c : cases) {
        setDocument(harness, "project", c.document);
        auto reply = askForProjectURL(harness);
        if (c.url) {
            ASSERT_TRUE(reply.url) << c.name;
            EXPECT_EQ(reply.url->absoluteString(), c.url) << c.name;
        } else {
            ASSERT_TRUE(reply.error) << c.name;
            EXPECT_EQ(reply.error->code, 61) << c.name;
            EXPECT_EQ(reply.error->domain, "com.quillmoor.marquee.helper");
            EXPECT_EQ(reply.error->localizedDescription, "Logic Pro has no saved project open.") << c.name;
        }
        EXPECT_TRUE(harness.helper().waitForLine(c.logged, 2s)) << c.name;
    }
}

TEST(ProjectURL, LaterFloatingWindowGivesTheDocument)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    setDocument(harness, "project", nullptr);
    harness.logicSim().ctl("add-window",
        { { "window",
              { { "key", "mixer" }, { "role", "AXWindow" }, { "subrole", "AXFloatingWindow" }, { "title", "Mixer" },
                  { "document", "/Users/someone/Music/Floating.logicx" } } },
            { "front", false } });
    auto reply = askForProjectURL(harness);
    ASSERT_TRUE(reply.url);
    EXPECT_EQ(reply.url->path(), "/Users/someone/Music/Floating.logicx");
}

TEST(ProjectURL, LogicUnreachableGives60)
{
    struct Case {
        const char* name;
        const char* command;
        json args;
    };
    const Case cases[] = {
        { "Logic not running", "quit", json { { "app", "logic" } } },
        { "Accessibility denied", "set-trust", json { { "trusted", false } } },
    };
    for (const auto& c : cases) {
        HelperHarness harness(HelperHarness::Desktop::logicSim);
        harness.logicSim().ctl(c.command, c.args);
        auto reply = askForProjectURL(harness);
        ASSERT_TRUE(reply.error) << c.name;
        EXPECT_EQ(reply.error->code, 60) << c.name;
        EXPECT_EQ(reply.error->localizedDescription, "Logic Pro is not running or Accessibility access is denied.") << c.name;
        EXPECT_TRUE(harness.helper().waitForLine(
            "currentLogicProjectURL: Logic Pro not found via AX (not running, or Accessibility permission denied)", 2s))
            << c.name;
    }
}

TEST(ProjectURL, ToolPrintsTheURL)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    test::ChildProcess tool({ test::marqueeExecutablePath(), "project-url" }, harness.environment());
    auto status = tool.waitForExit(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    tool.waitForOutputEnd(2s);
    EXPECT_TRUE(tool.hasLine("projectURL: file:///Users/someone/Music/Demo%20Project.logicx"));
}

} // namespace
} // namespace mq
