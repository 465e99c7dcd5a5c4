// The five bounce steps through real processes: the client library,
// marquee-helper (stored actions, keystroke scripts, the pasteboard) and
// logicsim, whose user completes the export dialog. Each case checks the
// replies, what logicsim reports afterwards and the helper's log.
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"
#include "tests/support/TestMovie.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::HelperHarness;
using Clock = std::chrono::steady_clock;

class Bounce : public ::testing::Test {
protected:
    HelperHarness harness { HelperHarness::Desktop::logicSim };
    std::unique_ptr<client::HelperConnection> connection = harness.connect();
    std::string movie = harness.runtimeDir().file("Cut 3.mov");
    std::string bounces = harness.runtimeDir().file("bounces");

    void SetUp() override
    {
        test::writeTestMovie(movie, 50, 25); // 2 s at 25 fps
        std::filesystem::create_directories(bounces);
        ctl("set-export", { { "directory", bounces } });
    }

    json ctl(const std::string& command, const json& args = json::object()) { return harness.logicSim().ctl(command, args); }
    json state(const char* part) { return ctl("state", { { "only", { part } } })[part]; }
    std::vector<std::uint32_t> storedActions()
    {
        std::vector<std::uint32_t> codes;
        for (const auto& event : state("events"))
            if (event.value("type", "") == "storedAction")
                codes.push_back(event["code"].get<std::uint32_t>());
        return codes;
    }
    std::vector<std::string> pressed()
    {
        std::vector<std::string> elements;
        for (const auto& event : state("events"))
            if (event.value("type", "") == "action" && event.value("action", "") == "AXPress")
                elements.push_back(event["element"].get<std::string>());
        return elements;
    }
    /// The user at the export panel: types `name` and presses `press` once it opens.
    void exportUser(const std::string& name, const std::string& press, int afterMs = 300)
    {
        ctl("set-export", { { "user", { { "afterMs", afterMs }, { "name", name }, { "press", press }, { "pressAfterTypingMs", 300 } } } });
    }
    bool logged(const std::string& line) { return harness.helper().waitForLine(line, 3s); }

    std::tuple<bool, double, OptionalError> stepOne(double seconds, bool stop)
    {
        auto result = connection->bounceGoToPositionWithTimecodeSeconds({ seconds, stop, 0.0, 25.0, false }, 15s);
        EXPECT_TRUE(result.hasValue());
        return result.hasValue() ? result.value() : std::tuple(false, 0.0, OptionalError {});
    }
    std::tuple<bool, OptionalError> stepTwo(const std::string& path)
    {
        auto result = connection->bounceOpenMovieWithURL({ URL::fileURLWithPath(path), 0.0 }, 30s);
        EXPECT_TRUE(result.hasValue());
        return result.hasValue() ? result.value() : std::tuple(false, OptionalError {});
    }
    std::tuple<bool, OptionalError> stepFour()
    {
        auto result = connection->bounceOpenExportDialogWithPacingSeconds({ 0.0 }, 15s);
        EXPECT_TRUE(result.hasValue());
        return result.hasValue() ? result.value() : std::tuple(false, OptionalError {});
    }
    std::tuple<std::optional<std::string>, OptionalError> stepFive(client::HelperConnection& on)
    {
        auto result = on.bounceAwaitExportDialogsClosedWithReply({}, 60s);
        EXPECT_TRUE(result.hasValue());
        return result.hasValue() ? result.value() : std::tuple(std::optional<std::string> {}, OptionalError {});
    }
};

TEST_F(Bounce, TheWholeFlowExportsTheMovieRangeAndGivesThePasteboardBack)
{
    // Three items of two types each, binary data included, as the user left them.
    const json pasteboard = json::array({
        { { "representations", json::array({ json::array({ "public.utf8-plain-text", "4f6e65" }), json::array({ "public.rtf", "7b5c727466317d00ff" }) }) } },
        { { "representations", json::array({ json::array({ "public.png", "89504e470d0a1a0a" }), json::array({ "public.tiff", "49492a00" }) }) } },
        { { "representations", json::array({ json::array({ "public.url", "68747470733a2f2f782e636f6d" }), json::array({ "public.utf8-plain-text", "" }) }) } },
    });
    ctl("set-pasteboard", { { "items", pasteboard } });
    ctl("play");
    exportUser("Final Mix", "export");

    auto [ok1, viewOffset, error1] = stepOne(3602.0, true);
    EXPECT_TRUE(ok1) << (error1 ? error1->localizedDescription : "");
    EXPECT_EQ(viewOffset, 0.0);
    auto transport = state("transport");
    EXPECT_EQ(transport["playheadSeconds"], 3602.0);
    EXPECT_EQ(transport["playing"], false);

    auto [ok2, error2] = stepTwo(movie);
    EXPECT_TRUE(ok2) << (error2 ? error2->localizedDescription : "");
    EXPECT_EQ(state("pasteboard"), pasteboard) << "the pasteboard was not given back as it was";

    auto align = connection->bounceAlignMovieRegionWithPacingSeconds({ 0.0 }, 15s);
    ASSERT_TRUE(align.hasValue());
    EXPECT_TRUE(std::get<0>(align.value()));
    json movieState = state("movie");
    EXPECT_EQ(movieState["loaded"]["name"], "Cut 3.mov");
    EXPECT_EQ(movieState["aligned"], true);
    EXPECT_EQ(movieState["region"]["startSeconds"], 3602.0);

    auto [ok4, error4] = stepFour();
    EXPECT_TRUE(ok4) << (error4 ? error4->localizedDescription : "");
    auto [name, error5] = stepFive(*connection);
    EXPECT_EQ(name, "Final Mix");
    EXPECT_FALSE(error5);

    std::string file = bounces + "/Final Mix.wav";
    json results = state("export")["results"];
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["file"], file);
    SF_INFO info {};
    SNDFILE* wav = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr) << "no WAV at " << file;
    sf_close(wav);
    EXPECT_EQ(info.frames, 2 * 48000) << "the movie region's two seconds";

    for (const char* line : { "bounce step 1: go to 3602.000000s stopTransport=true", "bounce step 2: open movie " , "bounce step 3: align movie region",
             "bounce step 4: open export dialog", "bounce step 5: waiting for the export dialogs to close",
             "bounce step 5: export dialogs closed (name Final Mix)" })
        EXPECT_TRUE(logged(line)) << line;
    EXPECT_TRUE(logged("bounce step 2: open movie " + movie));
    EXPECT_EQ(harness.countLogLines("bounce failed"), 0u);
}

TEST_F(Bounce, StepOneStopsTheTransportOnlyWhenAsked)
{
    struct Case {
        bool stop;
        std::vector<std::uint32_t> actions;
        bool playingAfter;
    };
    const Case cases[] = {
        { false, { 21 }, true },
        { true, { 5, 21 }, false },
    };
    for (const Case& c : cases) {
        ctl("reset");
        ctl("set-export", { { "directory", bounces } });
        ctl("play");
        auto [ok, viewOffset, error] = stepOne(3605.0, c.stop);
        EXPECT_TRUE(ok) << c.stop;
        EXPECT_EQ(storedActions(), c.actions) << "stop=" << c.stop;
        EXPECT_EQ(state("transport")["playing"], c.playingAfter) << c.stop;
    }
}

TEST_F(Bounce, TheMovieOptionsWindowHasItsSecondChildTurnedOffThenItsFourthPressed)
{
    struct Case {
        int checkbox;
        std::vector<std::string> pressed;
    };
    const Case cases[] = {
        { 0, { "movie-options-ok" } },
        { 1, { "movie-options-extract", "movie-options-ok" } },
    };
    for (const Case& c : cases) {
        ctl("reset");
        ctl("set-movie", { { "optionsCheckbox", c.checkbox } });
        auto [ok, error] = stepTwo(movie);
        EXPECT_TRUE(ok) << c.checkbox << (error ? error->localizedDescription : "");
        std::vector<std::string> options;
        for (const auto& element : pressed())
            if (element.rfind("movie-options", 0) == 0)
                options.push_back(element);
        EXPECT_EQ(options, c.pressed) << "check box at " << c.checkbox;
        EXPECT_EQ(state("movie")["loaded"]["optionsCheckbox"], 0);
    }
}

TEST_F(Bounce, StepFiveWithoutAnExportPanelAnswersAfterHalfASecond)
{
    auto started = Clock::now();
    auto [name, error] = stepFive(*connection);
    auto elapsed = Clock::now() - started;
    EXPECT_FALSE(name);
    EXPECT_FALSE(error);
    EXPECT_GE(elapsed, 500ms);
    EXPECT_LT(elapsed, 5s) << "bounded, generous: about 0.5 s is expected";
    EXPECT_TRUE(logged("bounce step 5: export dialogs closed (name ?)"));
}

TEST_F(Bounce, AModalWindowOpenBeforeStepFourDoesNotHoldStepFiveOpen)
{
    ctl("add-window", { { "window", { { "role", "AXWindow" }, { "key", "alert" }, { "title", "Note" }, { "modal", true } } } });
    exportUser("With Alert", "export");
    auto [ok, error] = stepFour();
    ASSERT_TRUE(ok) << (error ? error->localizedDescription : "");
    auto started = Clock::now();
    auto [name, error5] = stepFive(*connection);
    EXPECT_EQ(name, "With Alert");
    EXPECT_FALSE(error5);
    EXPECT_LT(Clock::now() - started, 10s);
    EXPECT_TRUE(std::filesystem::exists(bounces + "/With Alert.wav"));
}

TEST_F(Bounce, AnExportPanelShownAsASheetOnTheProjectWindowIsFoundAndWaitedFor)
{
    ctl("sheets", { { "keys", json::array({ "save-panel" }) } });
    exportUser("As Sheet", "export");
    auto [ok, error] = stepFour();
    ASSERT_TRUE(ok) << (error ? error->localizedDescription : "");
    auto [name, error5] = stepFive(*connection);
    EXPECT_EQ(name, "As Sheet");
    EXPECT_FALSE(error5);
    EXPECT_TRUE(std::filesystem::exists(bounces + "/As Sheet.wav"));
}

TEST_F(Bounce, EveryFailureRepliesWithItsCodeAndMessage)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<std::tuple<bool, OptionalError>()> step;
        std::int64_t code;
        const char* message;
    };
    auto quitLogic = [&] { ctl("quit", { { "app", "logic" } }); };
    auto denySystemEvents = [&] { ctl("set-automation", { { "bundleIdentifier", "com.apple.systemevents" }, { "state", "denied" } }); };
    auto one = [&] {
        auto [ok, offset, error] = stepOne(3601.0, false);
        EXPECT_TRUE(std::isnan(offset));
        return std::tuple(ok, error);
    };
    auto two = [&] { return stepTwo(movie); };
    auto four = [&] { return stepFour(); };
    const Case cases[] = {
        { "Logic not running", quitLogic, one, 27, "Logic's Go to Position dialog did not appear in time." },
        { "System Events not allowed", denySystemEvents, one, 22, "Could not set Logic's playhead position." },
        { "Logic not running", quitLogic, two, 28, "Logic's Open Movie dialog did not appear in time." },
        { "System Events not allowed", denySystemEvents, two, 24, "Could not enter the movie's path in Logic's Open dialog." },
        { "a path that does not exist", [] { }, [&] { return stepTwo(harness.runtimeDir().file("missing.mov")); }, 29,
            "Logic did not finish loading the movie in time." },
        { "Logic not running", quitLogic, four, 30, "Logic's export dialog did not appear in time." },
    };
    const json pasteboard = json::array({ { { "representations", json::array({ json::array({ "public.utf8-plain-text", "6b656570" }) }) } } });
    for (const Case& c : cases) {
        ctl("reset");
        ctl("set-pasteboard", { { "items", pasteboard } });
        c.arrange();
        auto [ok, error] = c.step();
        EXPECT_FALSE(ok) << c.what;
        ASSERT_TRUE(error) << c.what;
        EXPECT_EQ(error->domain, "com.quillmoor.marquee.helper");
        EXPECT_EQ(error->code, c.code) << c.what;
        EXPECT_EQ(error->localizedDescription, c.message) << c.what;
        EXPECT_TRUE(logged("bounce failed (" + std::to_string(c.code) + "): " + c.message)) << c.what;
        EXPECT_EQ(state("pasteboard"), pasteboard) << c.what << ": the pasteboard was not given back";
    }
}

TEST_F(Bounce, ASecondStepFiveWaitsBehindTheFirstWhileOtherRequestsAreAnswered)
{
    exportUser("First", "export", 1500);
    auto [ok, error] = stepFour();
    ASSERT_TRUE(ok) << (error ? error->localizedDescription : "");

    auto second = harness.connect();
    auto bystander = harness.connect();
    Clock::time_point firstDone, secondDone;
    std::optional<std::string> firstName, secondName = "unset";
    std::atomic<bool> firstReturned { false };
    std::thread first([&] {
        firstName = std::get<0>(stepFive(*connection));
        firstDone = Clock::now();
        firstReturned = true;
    });
    ASSERT_TRUE(harness.helper().waitForLine("bounce step 5: waiting for the export dialogs to close", 5s));
    std::thread other([&] {
        secondName = std::get<0>(stepFive(*second));
        secondDone = Clock::now();
    });
    // The service goes on answering while both wait: the first ends only when the
    // user exports (1.5 s after step four).
    auto url = bystander->currentLogicProjectURLWithReply({}, 5s);
    EXPECT_TRUE(url.hasValue());
    EXPECT_FALSE(firstReturned.load()) << "answered only once the first wait had ended";
    first.join();
    other.join();
    EXPECT_EQ(firstName, "First");
    EXPECT_FALSE(secondName) << "the second began after the panel had closed";
    EXPECT_GE(secondDone - firstDone, 450ms) << "the second wait ran after the first, not beside it";
}

TEST_F(Bounce, TheToolRunsTheFiveStepsAndPrintsTheFileName)
{
    exportUser("From The Tool", "export");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string output;
        bool quitLogicFirst;
    };
    const Case cases[] = {
        { { movie, "01:00:02:00", "--fps", "25" }, 0, "From The Tool", false },
        { { movie, "the start", "--fps", "25" }, 2, "", false },
        { { movie, "3602", "--fps", "25" }, 1, "", true }, // step 1 fails: the steps after it are not run
    };
    for (const Case& c : cases) {
        if (c.quitLogicFirst)
            ctl("quit", { { "app", "logic" } });
        std::vector<std::string> arguments { test::marqueeExecutablePath(), "bounce", "run" };
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        test::ChildProcess tool(arguments, harness.environment());
        auto status = tool.waitForExit(60s);
        tool.waitForOutputEnd(2s);
        ASSERT_TRUE(status && WIFEXITED(*status)) << c.arguments[1];
        EXPECT_EQ(WEXITSTATUS(*status), c.status) << c.arguments[1];
        auto output = tool.lines(test::ChildProcess::Stream::standardOutput);
        EXPECT_EQ(output.empty() ? "" : output.back(), c.output) << c.arguments[1];
        if (c.status == 0) {
            // Standard error is a pipe here, not a terminal: no progress lines.
            EXPECT_TRUE(tool.lines(test::ChildProcess::Stream::standardError).empty());
        }
    }
    EXPECT_EQ(state("movie")["region"]["startSeconds"], 3602.0);
    EXPECT_TRUE(std::filesystem::exists(bounces + "/From The Tool.wav"));
    EXPECT_EQ(harness.countLogLines("bounce step 2: open movie"), 1u) << "a failed step 1 ends the run";
}

} // namespace
} // namespace mq
