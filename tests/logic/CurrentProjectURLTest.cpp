#include "logic/CurrentProjectURL.h"
#include "tests/logic/LogicFixture.h"

namespace mq::logic {
namespace {

using test::AXCall;
using testing::LogicFixture;

constexpr const char* kNotFoundLine
    = "currentLogicProjectURL: Logic Pro not found via AX (not running, or Accessibility permission denied)";
constexpr const char* kNoDocumentLine = "currentLogicProjectURL: no Logic window exposes AXDocument (no project saved, or none open)";

/// One window of the scenario: where it is listed, and its AXDocument.
struct WindowShape {
    std::optional<std::string> document; // absent: no AXDocument attribute
    bool isMain { false };
    bool isFocused { false };
    bool listed { true };
    std::string subrole { "AXStandardWindow" };
};

struct ProjectRow {
    const char* name;
    std::vector<WindowShape> windows;
    std::optional<std::string> expectedPath; // absent: error 61
    std::vector<std::string> skippedDocuments; // logged as unparsable, in order
};

class CurrentProjectURL : public LogicFixture, public ::testing::WithParamInterface<ProjectRow> {
protected:
    void arrange(const std::vector<WindowShape>& windows)
    {
        platform::AXElementRef app = startLogic();
        for (const WindowShape& shape : windows) {
            platform::AXElementRef window = scripted.accessibility.addElement(testing::kLogicPid);
            scripted.accessibility.setAttribute(window, "AXRole", "AXWindow");
            scripted.accessibility.setAttribute(window, "AXSubrole", shape.subrole);
            if (shape.document)
                scripted.accessibility.setAttribute(window, "AXDocument", *shape.document);
            if (shape.listed)
                scripted.accessibility.appendToAttribute(app, "AXWindows", window);
            if (shape.isMain)
                scripted.accessibility.setAttribute(app, "AXMainWindow", window);
            if (shape.isFocused)
                scripted.accessibility.setAttribute(app, "AXFocusedWindow", window);
        }
    }
};

TEST_P(CurrentProjectURL, AnswersTheFirstDocumentThatIsAFile)
{
    const ProjectRow& row = GetParam();
    arrange(row.windows);
    ServiceResult<URL> result = currentLogicProjectURL(platform);

    if (row.expectedPath) {
        ASSERT_TRUE(result.hasValue()) << result.error().localizedDescription;
        const URL& url = result.value();
        EXPECT_TRUE(url.isFileURL());
        EXPECT_EQ(url.path(), *row.expectedPath);
        EXPECT_EQ(levelOf("currentLogicProjectURL: " + *row.expectedPath), log::Level::info);
    } else {
        ASSERT_FALSE(result.hasValue());
        EXPECT_EQ(result.error(), makeServiceError(61, "Logic Pro has no saved project open."));
        EXPECT_EQ(result.error().domain, "com.quillmoor.marquee.helper");
        EXPECT_EQ(levelOf(kNoDocumentLine), log::Level::info);
    }
    for (const std::string& skipped : row.skippedDocuments)
        EXPECT_EQ(levelOf("currentLogicProjectURL: could not parse AXDocument '" + skipped + "' as file URL"), log::Level::error);
    EXPECT_EQ(serviceLineCount(), row.skippedDocuments.size() + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, CurrentProjectURL,
    ::testing::Values(
        ProjectRow { "PlainPath", { { "/Users/ann/Music/Film Score.logicx", true, true } }, "/Users/ann/Music/Film Score.logicx", {} },
        ProjectRow { "FileURL", { { "file:///Users/ann/Music/Film%20Score.logicx/", true, true } }, "/Users/ann/Music/Film Score.logicx/",
            {} },
        ProjectRow { "LaterFloatingWindowsDocument",
            { { std::nullopt, true, true }, { std::nullopt }, { "/Users/ann/Cue 3.logicx", false, false, true, "AXFloatingWindow" } },
            "/Users/ann/Cue 3.logicx", {} },
        ProjectRow { "WebURLSkipped", { { "https://example.com/song.logicx", true }, { "/Users/ann/Real.logicx" } }, "/Users/ann/Real.logicx",
            { "https://example.com/song.logicx", "https://example.com/song.logicx" } },
        ProjectRow { "RelativePathSkipped", { { "Music/Song.logicx", false, false }, { "/p/Song.logicx", false, false } }, "/p/Song.logicx",
            { "Music/Song.logicx" } },
        ProjectRow { "EmptyDocumentSkippedSilently", { { "", true, true }, { "/a.logicx", false, false } }, "/a.logicx", {} },
        ProjectRow { "MainWindowBeforeListedOrder", { { "/first.logicx" }, { "/main.logicx", true, false, true } }, "/main.logicx", {} },
        ProjectRow { "FocusedWindowBeforeListedOrder", { { "/first.logicx" }, { "/focused.logicx", false, true, false } },
            "/focused.logicx", {} },
        ProjectRow { "Untitled", { { std::nullopt, true, true }, { std::nullopt } }, std::nullopt, {} },
        ProjectRow { "NoWindows", {}, std::nullopt, {} },
        ProjectRow { "OnlyUnparsable", { { "Song.logicx", true, true } }, std::nullopt,
            { "Song.logicx", "Song.logicx", "Song.logicx" } }),
    [](const ::testing::TestParamInfo<ProjectRow>& row) { return std::string(row.param.name); });

using CurrentProjectURLFailures = LogicFixture;

TEST_F(CurrentProjectURLFailures, LogicNotRunningGives60)
{
    ServiceResult<URL> result = currentLogicProjectURL(platform);
    ASSERT_FALSE(result.hasValue());
    EXPECT_EQ(result.error(), makeServiceError(60, "Logic Pro is not running or Accessibility access is denied."));
    EXPECT_EQ(levelOf(kNotFoundLine), log::Level::error);
}

TEST_F(CurrentProjectURLFailures, AccessibilityDeniedGives60)
{
    platform::AXElementRef app = startLogic();
    platform::AXElementRef window = scripted.accessibility.addWindow(app, "Song");
    scripted.accessibility.setAttribute(window, "AXDocument", "/Song.logicx");
    scripted.accessibility.setTrusted(false);
    ServiceResult<URL> result = currentLogicProjectURL(platform);
    ASSERT_FALSE(result.hasValue());
    EXPECT_EQ(result.error().code, 60);
    EXPECT_EQ(levelOf(kNotFoundLine), log::Level::error);
}

TEST_F(CurrentProjectURLFailures, ReadsThatFailCountAsAbsent)
{
    platform::AXElementRef app = startLogic();
    platform::AXElementRef broken = scripted.accessibility.addWindow(app, "Gone");
    scripted.accessibility.setAttribute(broken, "AXDocument", "/gone.logicx");
    platform::AXElementRef song = scripted.accessibility.addWindow(app, "Song");
    scripted.accessibility.setAttribute(song, "AXDocument", "/song.logicx");
    scripted.accessibility.setAttribute(app, "AXMainWindow", broken);
    scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, app, std::string("AXFocusedWindow"));
    scripted.accessibility.failCall(AXCall::copyAttributeValue, -25202, broken, std::string("AXDocument"));
    ServiceResult<URL> result = currentLogicProjectURL(platform);
    ASSERT_TRUE(result.hasValue());
    EXPECT_EQ(result.value(), URL::fileURLWithPath("/song.logicx"));
}

TEST_F(CurrentProjectURLFailures, MobileLogicIsReadToo)
{
    platform::AXElementRef app = startLogic("com.apple.mobilelogic", 77);
    platform::AXElementRef song = scripted.accessibility.addWindow(app, "Song");
    scripted.accessibility.setAttribute(song, "AXDocument", "file:///iPad/Song.logicx");
    ServiceResult<URL> result = currentLogicProjectURL(platform);
    ASSERT_TRUE(result.hasValue());
    EXPECT_EQ(result.value().path(), "/iPad/Song.logicx");
}

} // namespace
} // namespace mq::logic
