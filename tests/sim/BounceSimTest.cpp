// Logic's movie and export as logicsim shows them: the open dialog's go-to-folder
// field, the movie options window, loading a movie read from its file, the movie
// region's alignment, and the export panel with the WAV it writes. The keys are
// pressed as a user would (through the backend), the commands run as the
// helper's stored actions.
#include "tests/sim/LogicSimFixture.h"

#include "logic/StoredActionRunner.h"
#include "platform/InputEvents.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestMovie.h"

#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace mq::test {
namespace {

namespace keycode = platform::keycode;
namespace eventflags = platform::eventflags;

class BounceSimTest : public LogicSimTest {
protected:
    void SetUp() override
    {
        LogicSimTest::SetUp();
        if (const char* previous = std::getenv("XDG_RUNTIME_DIR"))
            m_previousRuntimeDir = previous;
        // The stored actions' interpreter finds logicsim through it.
        ::setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (m_previousRuntimeDir)
            ::setenv("XDG_RUNTIME_DIR", m_previousRuntimeDir->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        LogicSimTest::TearDown();
    }

    json state(const char* part) { return ctl("state", { { "only", { part } } })[part]; }
    json window(const std::string& key)
    {
        for (const auto& app : state("applications"))
            for (const auto& w : app["windows"])
                if (w.value("key", "") == key)
                    return w;
        return nullptr;
    }
    bool waitForWindow(const std::string& key, bool shown = true)
    {
        return eventually([&] { return window(key).is_null() != shown; }, 3s, 10ms);
    }
    void press(std::uint16_t key, const std::u16string& text = u"", std::uint64_t flags = 0)
    {
        m_backend->postKeyboardEvent({ key, true, text, flags });
        m_backend->postKeyboardEvent({ key, false, text, flags });
    }
    /// Opens "Open Movie", goes to `path` in its go-to-folder field and presses Return twice.
    void goToInOpenDialog(const std::string& path)
    {
        ASSERT_TRUE(logic::runStoredAction(1194));
        ASSERT_TRUE(waitForWindow("open-movie"));
        m_backend->setPasteboardItems({ platform::PasteboardItem { { { "public.utf8-plain-text", path } } } });
        press(5, u"g", eventflags::command | eventflags::shift);
        press(9, u"v", eventflags::command);
        press(keycode::returnKey);
        press(keycode::returnKey);
    }
    std::string movieAt(const std::string& name, int frames, int numerator, int denominator = 1)
    {
        std::string path = m_dir.file(name);
        writeTestMovie(path, frames, numerator, denominator);
        return path;
    }
    void pressElement(const std::string& key) { ctl("press", { { "element", key } }); }

    std::optional<std::string> m_previousRuntimeDir;
};

TEST_F(BounceSimTest, AMovieChosenThroughTheGoToFolderFieldLoadsWithItsLengthAndRate)
{
    struct Case {
        const char* name;
        int frames, numerator, denominator;
        double seconds, rate;
    };
    const Case cases[] = {
        { "Cut 3.mov", 50, 25, 1, 2.0, 25.0 },
        { "Reel “2”.mp4", 60, 30000, 1001, 2.002, 29.97 },
    };
    for (const Case& c : cases) {
        ctl("reset");
        goToInOpenDialog(movieAt(c.name, c.frames, c.numerator, c.denominator));
        ASSERT_TRUE(waitForWindow("movie-window")) << c.name;
        json movieWindow = window("movie-window");
        EXPECT_EQ(movieWindow["attributes"]["AXSubrole"], "AXDialog") << c.name;
        EXPECT_EQ(movieWindow["attributes"]["AXTitle"], c.name);
        EXPECT_TRUE(window("open-movie").is_null()) << c.name;
        json loaded = state("movie")["loaded"];
        EXPECT_EQ(loaded["name"], c.name);
        EXPECT_NEAR(loaded["durationSeconds"].get<double>(), c.seconds, 1e-3) << c.name;
        EXPECT_NEAR(loaded["frameRate"].get<double>(), c.rate, 1e-2) << c.name;
    }
}

TEST_F(BounceSimTest, WhatCannotBeOpenedLeavesNoMovie)
{
    struct Case {
        std::string path;
        const char* windowLeft; // the window left in front
        const char* message;
    };
    std::string notAMovie = m_dir.file("notes.mov");
    std::filesystem::create_directories(m_dir.file("folder"));
    { std::ofstream(notAMovie) << "not a movie"; }
    const Case cases[] = {
        { m_dir.file("missing.mov"), "open-movie", "The folder can’t be found." },
        { m_dir.file("folder"), "open-movie", "" }, // a folder is shown, nothing is chosen
        { notAMovie, "movie-alert", nullptr },
    };
    for (const Case& c : cases) {
        ctl("reset");
        goToInOpenDialog(c.path);
        ASSERT_TRUE(waitForWindow(c.windowLeft)) << c.path;
        if (c.message) {
            json dialog = window("open-movie");
            EXPECT_EQ(dialog["children"][1]["attributes"]["AXValue"], c.message) << c.path;
        }
        EXPECT_TRUE(state("movie")["loaded"].is_null()) << c.path;
    }
}

TEST_F(BounceSimTest, TheOptionsWindowAsksBeforeLoading)
{
    ctl("set-movie", { { "optionsCheckbox", 1 } });
    goToInOpenDialog(movieAt("Cut 3.mov", 25, 25));
    ASSERT_TRUE(waitForWindow("movie-options"));
    json options = window("movie-options");
    EXPECT_EQ(options["attributes"]["AXSubrole"], "AXFloatingWindow");
    ASSERT_EQ(options["children"].size(), 6u);
    EXPECT_EQ(options["children"][1]["role"], "AXCheckBox");
    EXPECT_EQ(options["children"][1]["attributes"]["AXValue"], 1);
    EXPECT_EQ(options["children"][3]["key"], "movie-options-ok");
    EXPECT_TRUE(window("movie-window").is_null()) << "loaded before the question was answered";

    pressElement("movie-options-extract");
    EXPECT_EQ(window("movie-options")["children"][1]["attributes"]["AXValue"], 0);
    pressElement("movie-options-ok");
    ASSERT_TRUE(waitForWindow("movie-window"));
    EXPECT_EQ(state("movie")["loaded"]["optionsCheckbox"], 0);
}

TEST_F(BounceSimTest, TheMovieRegionAlignsToTheMovieStartOnlyWhenSelectedFirst)
{
    goToInOpenDialog(movieAt("Cut 3.mov", 50, 25));
    ASSERT_TRUE(waitForWindow("movie-window"));
    ctl("set-playhead", { { "seconds", 3610.0 } });
    ASSERT_TRUE(logic::runStoredAction(1320));
    json movie = state("movie");
    EXPECT_EQ(movie["startSeconds"], 3610.0);
    EXPECT_EQ(movie["region"]["startSeconds"], 3600.0) << "Logic places the region at bar 1";
    EXPECT_EQ(movie["region"]["lengthSeconds"], 2.0);

    ASSERT_TRUE(logic::runStoredAction(1346));
    EXPECT_EQ(state("movie")["aligned"], false) << "nothing was selected";
    ASSERT_TRUE(logic::runStoredAction(1306));
    ASSERT_TRUE(logic::runStoredAction(1346));
    movie = state("movie");
    EXPECT_EQ(movie["aligned"], true);
    EXPECT_EQ(movie["region"]["startSeconds"], 3610.0);
}

TEST_F(BounceSimTest, TheExportPanelWritesTheBouncedRangeOrIsCancelled)
{
    struct Case {
        const char* presentation; // a window of its own, or a sheet on the project window
        const char* press;
        const char* panelKey; // the window that holds the panel
    };
    const Case cases[] = {
        { "window", "export", "save-panel" },
        { "sheet", "export", "project" },
        { "window", "cancel", "save-panel" },
    };
    std::string directory = m_dir.file("bounces");
    std::filesystem::create_directories(directory);
    for (const Case& c : cases) {
        ctl("reset");
        ctl("set-transport", { { "projectEndSeconds", 3603.0 } });
        ctl("set-export", { { "directory", directory } });
        bool sheet = std::string(c.presentation) == "sheet";
        ctl("sheets", { { "keys", sheet ? json::array({ "save-panel" }) : json::array() } });
        ASSERT_TRUE(logic::runStoredAction(1197));
        json panel;
        ASSERT_TRUE(eventually([&] {
            json holder = window(c.panelKey);
            panel = sheet ? (holder["children"].is_array() ? holder["children"].back() : json()) : holder;
            return panel.is_object() && panel.value("key", "") == "save-panel";
        }, 3s, 10ms)) << c.presentation;
        if (!sheet) {
            EXPECT_EQ(panel["attributes"]["AXModal"], true);
        }
        EXPECT_EQ(panel["attributes"]["AXIdentifier"], "save-panel") << c.presentation;
        EXPECT_EQ(panel["children"][1]["attributes"]["AXIdentifier"], "saveAsNameTextField") << c.presentation;
        EXPECT_EQ(panel["children"][1]["attributes"]["AXValue"], "Demo Project") << "the project's name is offered";

        std::string name = std::string("Mix ") + c.presentation + " " + c.press;
        ctl("export-user", { { "name", name }, { "press", c.press }, { "pressAfterTypingMs", 50 } });
        ASSERT_TRUE(eventually([&] { return window(c.panelKey).dump().find("save-panel") == std::string::npos; }, 3s, 10ms)) << c.presentation;
        ASSERT_TRUE(waitForWindow("bounce-progress", false));
        std::string file = directory + "/" + name + ".wav";
        if (std::string(c.press) == "cancel") {
            EXPECT_EQ(state("export")["results"].back()["result"], "cancelled");
            EXPECT_FALSE(std::filesystem::exists(file));
            continue;
        }
        ASSERT_TRUE(eventually([&] { return !state("export")["results"].empty(); }, 3s, 10ms));
        EXPECT_EQ(state("export")["results"].back()["file"], file);
        SF_INFO info {};
        SNDFILE* wav = sf_open(file.c_str(), SFM_READ, &info);
        ASSERT_NE(wav, nullptr) << file;
        sf_close(wav);
        EXPECT_EQ(info.samplerate, 48000);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.frames, 3 * 48000) << "bar 1 to the project's end";
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV);
    }
}

TEST_F(BounceSimTest, ThePanelsUserActsByItselfWhenTheScenarioSaysSo)
{
    ctl("set-export", { { "directory", m_dir.path() }, { "user", { { "afterMs", 100 }, { "name", "Auto" }, { "press", "none" } } } });
    ASSERT_TRUE(logic::runStoredAction(1197));
    ASSERT_TRUE(waitForWindow("save-panel"));
    EXPECT_TRUE(eventually([&] { return window("save-panel")["children"][1]["attributes"]["AXValue"] == "Auto"; }, 3s, 10ms));
    EXPECT_FALSE(window("save-panel").is_null()) << "a user who presses nothing leaves the panel open";
    EXPECT_EQ(ctlRaw("export-user", { { "press", "sideways" } }).contains("error"), true);
}

} // namespace
} // namespace mq::test
