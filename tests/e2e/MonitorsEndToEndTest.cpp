// The control-bar state, the transport scrub reader and the project close watcher
// through real processes: marquee-helper, logicsim standing in for Logic and the
// desktop, and the client library's readers of the shared-memory files.
#include "marquee/ProjectWatchReader.h"
#include "marquee/ScrubReader.h"
#include "tests/harness/HelperHarness.h"
#include "tests/support/Eventually.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace mq {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using test::HelperHarness;
using Clock = std::chrono::steady_clock;
using test::eventually;

constexpr const char* kDemoProject = "/Users/someone/Music/Demo Project.logicx";

class MonitorsEndToEnd : public ::testing::Test {
public:
    explicit MonitorsEndToEnd(std::optional<std::string> scenario = std::nullopt)
        : harness(HelperHarness::Desktop::logicSim, std::move(scenario))
        , connection(harness.connect())
    {
    }

    std::int64_t controlBarState()
    {
        auto reply = connection->evaluateControlBarStateWithFrameRate({ 25.0, false }, 10s);
        EXPECT_TRUE(reply.hasValue());
        return reply.hasValue() ? std::get<0>(reply.value()) : -100;
    }

    /// Starts observing into a new file and maps it as the client does.
    client::ScrubReader startScrub(const std::string& name, double fps, bool expectFound = true)
    {
        std::string path = harness.runtimeDir().file(name);
        auto opened = client::ScrubReader::open(path);
        EXPECT_TRUE(opened.hasValue());
        auto reply = connection->startTransportScrubObservingWithFrameRate({ fps, false, path }, 10s);
        EXPECT_TRUE(reply.hasValue());
        if (reply.hasValue()) {
            EXPECT_EQ(std::get<0>(reply.value()), expectFound);
        }
        return std::move(opened.value());
    }
    client::ScrubSnapshot snapshot(const client::ScrubReader& reader)
    {
        auto taken = reader.snapshot();
        EXPECT_TRUE(taken);
        return taken.value_or(client::ScrubSnapshot {});
    }

    /// Starts a watch of a new file and maps it as the client does.
    client::ProjectWatchReader startWatch(const std::string& name)
    {
        std::string path = harness.runtimeDir().file(name);
        auto opened = client::ProjectWatchReader::open(path);
        EXPECT_TRUE(opened.hasValue());
        auto reply = connection->startProjectCloseWatchForShmPath({ path }, 10s);
        EXPECT_TRUE(reply.hasValue() && std::get<0>(reply.value()));
        return std::move(opened.value());
    }

    json ctl(const std::string& command, const json& args = json::object()) { return harness.logicSim().ctl(command, args); }
    bool helperLogged(const std::string& text, std::chrono::milliseconds limit = 5s) { return harness.helper().waitForLine(text, limit); }

    /// Waits until the helper has made `calls` more calls of `op` (on `attribute`)
    /// to logicsim: proof that the helper has looked since now, where a test used
    /// to sleep and hope. (A fault rule without delay or error only counts.)
    bool helperCalled(const std::string& op, std::optional<std::string> attribute, int calls, std::chrono::milliseconds limit = 10s)
    {
        json rule { { "op", op }, { "delayMs", 0 }, { "count", calls } };
        if (attribute)
            rule["attribute"] = *attribute;
        ctl("fault", rule);
        return eventually(
            [&] {
                json world = harness.logicSim().state();
                for (const auto& fault : world["faults"])
                    if (fault.value("op", "") == op)
                        return false;
                return true;
            },
            limit, 20ms);
    }
    /// Waits until the close watcher has made `checks` whole checks from now on:
    /// every check that may judge begins with one read of the session dictionary.
    bool watcherChecked(int checks) { return helperCalled("desktop.session", std::nullopt, checks + 1); }
    /// Waits until the scrub reader has read the display `ticks` more times (four sliders a tick).
    bool scrubReaderTicked(int ticks) { return helperCalled("ax.copyAttributeValue", "AXValueDescription", 4 * ticks); }

    HelperHarness harness;
    std::unique_ptr<client::HelperConnection> connection;
};

// The control-bar state as logicsim's Logic changes.

TEST_F(MonitorsEndToEnd, ControlBarStateFollowsLogicsDisplay)
{
    struct Step {
        const char* name;
        const char* command;
        json args;
        std::int64_t state;
    };
    const Step steps[] = {
        { "time display", "ping", json::object(), 0 },
        { "German", "set-language", { { "language", "de" } }, 0 },
        { "bars and beats", "set-transport", { { "controlBarDisplay", "barsAndBeats" } }, 2 },
        { "seconds fraction", "set-transport", { { "controlBarDisplay", "secondsFraction" } }, 3 },
        { "subframes", "set-transport", { { "controlBarDisplay", "subframes" } }, 0 },
        { "hidden control bar", "set-control-bar", { { "hidden", true } }, 1 },
        { "shown again", "set-control-bar", { { "hidden", false } }, 0 },
        { "Logic quit", "quit", { { "app", "logic" } }, 4 },
    };
    for (const Step& step : steps) {
        ctl(step.command, step.args);
        EXPECT_EQ(controlBarState(), step.state) << step.name;
        EXPECT_TRUE(helperLogged("controlBarState: " + std::to_string(step.state))) << step.name;
    }
}

// The scrub reader following logicsim's transport.

TEST_F(MonitorsEndToEnd, APlayingTransportIsPublishedFrameByFrame)
{
    client::ScrubReader reader = startScrub("scrub", 25);
    // The valid flag is stored after the sequence number of the same tick: wait for both.
    ASSERT_TRUE(eventually([&] { return snapshot(reader).sequence >= 1 && snapshot(reader).valid; }, 2s));
    EXPECT_EQ(snapshot(reader), (client::ScrubSnapshot { 3600.0, true, 1, 1 }));
    EXPECT_TRUE(helperLogged("scrub: SMPTE sliders found; 1 target(s); polling at 60.000000 Hz (fps 25.000000 df false)"));

    ctl("play");
    auto started = Clock::now();
    std::uint32_t lastSequence = 1;
    double lastPosition = 3600.0;
    int updates = 0;
    while (Clock::now() - started < 1s) {
        client::ScrubSnapshot now = snapshot(reader);
        if (now.sequence != lastSequence) {
            EXPECT_GT(now.position, lastPosition);
            EXPECT_TRUE(now.valid);
            EXPECT_EQ(now.displayModeWord, 1);
            lastSequence = now.sequence;
            lastPosition = now.position;
            ++updates;
        }
        std::this_thread::sleep_for(1ms);
    }
    double stoppedAt = ctl("stop")["playheadSeconds"].get<double>();
    EXPECT_GE(updates, 18) << "the display changes 25 times a second";
    EXPECT_LE(updates, 26);
    ASSERT_TRUE(eventually([&] { return std::fabs(snapshot(reader).position - std::floor(stoppedAt * 25 + 1e-6) / 25) < 1e-6; }, 1s));
    std::uint32_t settled = snapshot(reader).sequence;
    ASSERT_TRUE(scrubReaderTicked(10));
    EXPECT_EQ(snapshot(reader).sequence, settled) << "a stopped transport publishes nothing new";

    auto stopped = connection->stopTransportScrubObservingForShmPath({ harness.runtimeDir().file("scrub") }, 10s);
    ASSERT_TRUE(stopped.hasValue());
    EXPECT_FALSE(snapshot(reader).valid);
    EXPECT_TRUE(helperLogged("scrub: stopped (no targets remain)"));
}

TEST_F(MonitorsEndToEnd, DisplayLayoutsAndAHiddenBarAsTheClientSeesThem)
{
    client::ScrubReader reader = startScrub("scrub", 25);
    // 3600.5 s shows as 01:00:00:12 (and a half frame, for the fifth fields).
    ctl("set-playhead", { { "seconds", 3600.5 } });
    const double shown = 3600 + 12 / 25.0;
    ASSERT_TRUE(eventually([&] { return snapshot(reader).position == shown; }, 2s));

    struct Step {
        const char* name;
        const char* command;
        json args;
        bool valid;
        std::int32_t modeWord;
    };
    const Step steps[] = {
        { "subframes", "set-transport", { { "controlBarDisplay", "subframes" } }, true, 2 },
        { "quarter frames", "set-transport", { { "controlBarDisplay", "quarterFrames" } }, true, 3 },
        { "samples", "set-transport", { { "controlBarDisplay", "samples" } }, true, 4 },
        { "unknown fifth field", "set-transport", { { "controlBarDisplay", "unknownFifth" } }, true, 0 },
        { "bars and beats", "set-transport", { { "controlBarDisplay", "barsAndBeats" } }, false, 0 },
        { "frames again, listed out of order", "set-transport", { { "controlBarDisplay", "frames" }, { "slidersOutOfOrder", true } }, true, 1 },
        { "hidden control bar", "set-control-bar", { { "hidden", true } }, false, 0 },
        { "shown again", "set-control-bar", { { "hidden", false } }, true, 1 },
    };
    for (const Step& step : steps) {
        ctl(step.command, step.args);
        // A new display is found within a second's re-check or lost-display search.
        bool reached = eventually(
            [&] {
                client::ScrubSnapshot now = snapshot(reader);
                return now.valid == step.valid && now.displayModeWord == step.modeWord;
            },
            3s);
        EXPECT_TRUE(reached) << step.name << ": valid " << snapshot(reader).valid << " mode " << snapshot(reader).displayModeWord;
        if (step.valid) {
            EXPECT_EQ(snapshot(reader).position, shown) << step.name;
        }
    }
    EXPECT_TRUE(helperLogged("scrub: SMPTE sliders (re)resolved"));
}

TEST_F(MonitorsEndToEnd, MarqueeScrubShowsTheTransportLive)
{
    ctl("play");
    test::ChildProcess scrub({ test::marqueeExecutablePath(), "scrub", "--shm", harness.runtimeDir().file("cli"), "--fps", "25", "--duration", "1" },
        harness.environment());
    auto status = scrub.waitForExit(10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    ASSERT_TRUE(scrub.waitForOutputEnd(5s));
    std::vector<std::string> lines = scrub.lines(test::ChildProcess::Stream::standardOutput);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "scrub: display found; following the transport");
    unsigned long updates = 0;
    EXPECT_EQ(std::sscanf(lines.back().c_str(), "scrub: stopped after %lu update(s)", &updates), 1) << lines.back();
    EXPECT_GE(updates, 15u);
    // The last column is a rate (Logic's display changes 25 times a second while
    // playing), or "--" until there is enough to measure one: never a count.
    int rates = 0;
    for (const std::string& line : lines) {
        if (line.find("frames  valid  ") == std::string::npos)
            continue;
        ASSERT_TRUE(line.ends_with(" Hz")) << line;
        std::string column = line.substr(line.rfind("  ") + 2);
        if (column == "-- Hz")
            continue;
        double perSecond = std::atof(column.c_str());
        EXPECT_GE(perSecond, 12.0) << line;
        EXPECT_LE(perSecond, 40.0) << line;
        ++rates;
    }
    EXPECT_GT(rates, 0) << "no update rate shown";
}

// The close watcher following logicsim's windows and desktop.

TEST_F(MonitorsEndToEnd, ClosingTheProjectIsFlaggedWithinASecond)
{
    client::ProjectWatchReader watch = startWatch("watch");
    EXPECT_TRUE(helperLogged(std::string("watch start: project ") + kDemoProject + "; 1 target(s)"));
    ASSERT_TRUE(watcherChecked(2));
    EXPECT_FALSE(watch.isProjectClosed());
    ctl("remove-window", { { "window", "project" } });
    // Two checks 0.5 s apart see it closed (how fast, on an idle machine: bench/monitors).
    ASSERT_TRUE(eventually([&] { return watch.isProjectClosed(); }, 5s));
    EXPECT_TRUE(helperLogged(std::string("project closed → flagged ") + kDemoProject));
}

// A hidden Logic, and one whose full-screen window is on another Space, lists no
// windows: neither is a closed project. Each state lasts about 3 s (six checks);
// closing the project afterwards is flagged as before.
TEST_F(MonitorsEndToEnd, HiddenOrFullScreenElsewhereIsNotClosed)
{
    client::ProjectWatchReader watch = startWatch("watch");
    ASSERT_TRUE(helperLogged(std::string("watch start: project ") + kDemoProject + "; 1 target(s)"));
    for (const auto& [command, args] : { std::pair<std::string, json> { "hide", { { "hidden", true } } },
             std::pair<std::string, json> { "full-screen", { { "otherSpace", true } } } }) {
        ctl(command, args);
        ASSERT_TRUE(watcherChecked(6)) << command;
        EXPECT_FALSE(watch.isProjectClosed()) << command;
        json back = args;
        back.begin().value() = false;
        ctl(command, back);
    }
    ctl("remove-window", { { "window", "project" } });
    ASSERT_TRUE(eventually([&] { return watch.isProjectClosed(); }, 5s));
    EXPECT_TRUE(helperLogged(std::string("project closed → flagged ") + kDemoProject));
}

TEST_F(MonitorsEndToEnd, AWatchWhoseLogicStopsAnsweringHoldsNoMainQueueRequest)
{
    client::ProjectWatchReader watch = startWatch("watch");
    ASSERT_TRUE(helperLogged(std::string("watch start: project ") + kDemoProject + "; 1 target(s)"));
    // From now on Logic never answers a read of a window's document: the next
    // check waits out the messaging time-out (6 s) on every such read.
    ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXDocument" }, { "noReply", true } });
    auto unansweredReads = [&] {
        std::size_t count = 0;
        for (const auto& event : ctl("state", { { "only", { "events" } } }).value("events", json::array()))
            count += event.value("type", "") == "fault" && event.value("noReply", false);
        return count;
    };
    ASSERT_TRUE(eventually([&] { return unansweredReads() > 0; }, 5s, 10ms)) << "no check read a document";
    // Requests that run on the main queue are answered meanwhile: while the first
    // unanswered read still hangs (the check after it would read, and hang, again).
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(connection->permissionsStatusWithReply({}, 10s).hasValue());
        EXPECT_EQ(unansweredReads(), 1u) << "request " << i << " waited for the hanging check";
    }
    EXPECT_FALSE(watch.isProjectClosed());
}

TEST_F(MonitorsEndToEnd, ClosedAndReopenedWithinOneCheckIsNotFlagged)
{
    client::ProjectWatchReader watch = startWatch("watch");
    for (int round = 0; round < 3; ++round) {
        std::string key = "project-" + std::to_string(round);
        ctl("remove-window", { { "window", round == 0 ? "project" : "project-" + std::to_string(round - 1) } });
        ctl("add-window", { { "window", { { "role", "AXWindow" }, { "key", key }, { "title", "Demo Project - Tracks" }, { "document", kDemoProject }, { "main", true } } } });
        // The watcher sees the reopened project before the next round closes it.
        ASSERT_TRUE(watcherChecked(1)) << "round " << round;
    }
    ASSERT_TRUE(watcherChecked(2));
    EXPECT_FALSE(watch.isProjectClosed());
}

TEST_F(MonitorsEndToEnd, SaveAsKeepsTheWatch)
{
    client::ProjectWatchReader watch = startWatch("watch");
    ctl("save-as", { { "window", "project" }, { "document", "/Users/someone/Music/Demo v2.logicx" } });
    EXPECT_TRUE(helperLogged("project renamed (Save As) → /Users/someone/Music/Demo v2.logicx", 3s));
    ASSERT_TRUE(watcherChecked(2));
    EXPECT_FALSE(watch.isProjectClosed());
    ctl("remove-window", { { "window", "project" } });
    ASSERT_TRUE(eventually([&] { return watch.isProjectClosed(); }, 3s));
    EXPECT_TRUE(helperLogged("project closed → flagged /Users/someone/Music/Demo v2.logicx"));
}

TEST_F(MonitorsEndToEnd, QuittingLogicFlagsNothing)
{
    client::ProjectWatchReader watch = startWatch("watch");
    ctl("quit", { { "app", "logic" } });
    ASSERT_TRUE(watcherChecked(3));
    EXPECT_FALSE(watch.isProjectClosed());
}

TEST_F(MonitorsEndToEnd, ARestartKeepsAWrittenFlag)
{
    client::ProjectWatchReader watch = startWatch("watch");
    ctl("remove-window", { { "window", "project" } });
    ASSERT_TRUE(eventually([&] { return watch.isProjectClosed(); }, 3s));
    auto again = connection->startProjectCloseWatchForShmPath({ harness.runtimeDir().file("watch") }, 10s);
    ASSERT_TRUE(again.hasValue() && std::get<0>(again.value()));
    EXPECT_TRUE(helperLogged("watch start: no saved project front (unsaved/untitled) — using last-project rule; 1 target(s)"));
    EXPECT_TRUE(watch.isProjectClosed());
}

struct SuspensionCase {
    const char* name;
    const char* command;
    const char* argument;
    const char* reason;
};

class MonitorsSuspension : public MonitorsEndToEnd, public ::testing::WithParamInterface<SuspensionCase> {};

TEST_P(MonitorsSuspension, NothingIsFlaggedWhileSuspendedNorWithinThreeSecondsAfter)
{
    const SuspensionCase& c = GetParam();
    client::ProjectWatchReader watch = startWatch("watch");
    ctl(c.command, { { c.argument, std::string(c.argument) != "active" } });
    EXPECT_TRUE(helperLogged(std::string("watch suspended: ") + c.reason));
    ctl("remove-window", { { "window", "project" } });
    EXPECT_FALSE(watch.isProjectClosed()) << "flagged while suspended";

    // A watcher that judged while suspended would flag about a second after the
    // removal; the flag may come only after the three seconds of grace that follow
    // the resumption (how soon after: bench/monitors).
    ctl(c.command, { { c.argument, std::string(c.argument) == "active" } });
    auto resumed = Clock::now();
    EXPECT_TRUE(helperLogged(std::string("watch resuming after ") + c.reason + " (grace 3.000000s)"));
    ASSERT_TRUE(eventually([&] { return watch.isProjectClosed(); }, 10s));
    double after = std::chrono::duration<double>(Clock::now() - resumed).count();
    EXPECT_GE(after, 3.0);
}

INSTANTIATE_TEST_SUITE_P(Reasons, MonitorsSuspension,
    ::testing::Values(SuspensionCase { "ScreenLock", "set-screen-lock", "locked", "screenLocked" },
        SuspensionCase { "ScreensAsleep", "set-screens-asleep", "asleep", "screensAsleep" },
        SuspensionCase { "SystemSleep", "set-system-asleep", "asleep", "systemAsleep" },
        SuspensionCase { "SessionResigned", "set-session-active", "active", "sessionInactive" }),
    [](const auto& info) { return info.param.name; });

class UntitledProject : public MonitorsEndToEnd {
public:
    UntitledProject()
        : MonitorsEndToEnd(std::string(MQ_SCENARIO_DIR) + "/untitled.json")
    {
    }
};

TEST_F(UntitledProject, IsFlaggedOnlyWhenLogicShowsNoDocumentAndNoMainWindow)
{
    client::ProjectWatchReader watch = startWatch("watch");
    EXPECT_TRUE(helperLogged("watch start: no saved project front (unsaved/untitled) — using last-project rule; 1 target(s)"));
    // Another untitled window as main keeps the last-project rule satisfied.
    ctl("add-window", { { "window", { { "role", "AXWindow" }, { "key", "untitled-2" }, { "title", "Untitled 2" }, { "main", true } } } });
    ctl("remove-window", { { "window", "project" } });
    ASSERT_TRUE(watcherChecked(3));
    EXPECT_FALSE(watch.isProjectClosed());
    ctl("remove-window", { { "window", "untitled-2" } });
    ASSERT_TRUE(eventually([&] { return watch.isProjectClosed(); }, 3s));
    EXPECT_TRUE(helperLogged("project closed → flagged <unsaved>"));
}

} // namespace
} // namespace mq
