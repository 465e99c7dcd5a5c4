// logicsim's transport and control-bar display, read the way the helper reads
// them: through the backend, with the helper's own display reading and control-bar
// evaluation. Also the desktop states the close watcher listens to.
#include "ax/SystemWideElement.h"
#include "logic/LogicApplication.h"
#include "monitors/TransportReader.h"
#include "tests/sim/LogicSimFixture.h"
#include "tests/support/Eventually.h"
#include "timecode/ControlBarDisplay.h"
#include "timecode/ControlBarState.h"

#include <cmath>
#include <thread>

namespace mq::test {
namespace {

using namespace platform;

class Transport : public LogicSimTest {
protected:
    void TearDown() override
    {
        ax::SystemWideElement::releaseShared(ax());
        LogicSimTest::TearDown();
    }
    Platform& platform()
    {
        if (!m_platform)
            m_platform.emplace(m_backend->platform());
        return *m_platform;
    }
    std::optional<double> displaySeconds(double fps = 25) { return TransportReader::readDisplaySecondsOnce(platform(), fps); }
    std::optional<std::string> displayText()
    {
        std::optional<timecode::ControlBarDisplay> found = timecode::ControlBarDisplay::locate(logic::logicApplicationElement(platform()));
        return found ? found->text() : std::nullopt;
    }
    std::int64_t displayMode()
    {
        std::optional<timecode::ControlBarDisplay> found = timecode::ControlBarDisplay::locate(logic::logicApplicationElement(platform()));
        return timecode::rawValue(found ? found->mode() : timecode::DisplayMode::unknown);
    }

    std::optional<Platform> m_platform;
};

TEST_F(Transport, APlayingTransportAdvancesTheDisplayInRealTime)
{
    ASSERT_EQ(displaySeconds(), 3600.0);
    auto started = std::chrono::steady_clock::now();
    ctl("play");
    std::optional<double> seconds;
    ASSERT_TRUE(eventually([&] { return (seconds = displaySeconds()) && *seconds >= 3600.3; }, 5s)) << "the display stopped at "
                                                                                                   << seconds.value_or(-1);
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LE(*seconds, 3600.0 + elapsed + 0.04) << "faster than real time";

    json stopped = ctl("stop");
    double at = stopped["playheadSeconds"].get<double>();
    std::optional<double> still = displaySeconds();
    ASSERT_TRUE(still);
    EXPECT_NEAR(*still, std::floor(at * 25 + 1e-6) / 25, 1e-9);
    // Stopped in logicsim's own state, at the position the stop reported: nothing
    // moves it any more, which a read after a round trip confirms.
    json transport = ctl("state")["transport"];
    EXPECT_FALSE(transport["playing"].get<bool>());
    EXPECT_EQ(transport["playheadSeconds"].get<double>(), at);
    EXPECT_EQ(displaySeconds(), still) << "a stopped transport does not move";
}

TEST_F(Transport, MovingThePlayheadWhilePlayingPlaysOnFromThere)
{
    ctl("play");
    ctl("set-playhead", { { "seconds", 7200.0 } });
    std::optional<double> seconds;
    ASSERT_TRUE(eventually([&] { return (seconds = displaySeconds()) && *seconds >= 7200.04; }, 5s)) << "the display stopped at "
                                                                                                    << seconds.value_or(-1);
    EXPECT_LT(*seconds, 7201.0) << "played on from somewhere else";
}

TEST_F(Transport, PlayingStopsAtTheProjectEnd)
{
    ctl("set-transport", { { "projectEndSeconds", 3600.2 } });
    ctl("play");
    // Each request to logicsim plays the transport on to now, so the reads see it reach the end.
    ASSERT_TRUE(eventually([&] { return displaySeconds().value_or(0) >= 3600.2; }, 5s));
    EXPECT_NEAR(displaySeconds().value_or(0), 3600.2, 1e-9);
    EXPECT_FALSE(ctl("state")["transport"]["playing"].get<bool>());
}

struct LayoutCase {
    const char* layout;
    const char* language;
    double playhead;
    std::optional<std::string> text; // the helper's display text; nullopt: no display found
    std::int64_t mode;
    std::int64_t controlBarState;
};

class DisplayLayouts : public Transport, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(DisplayLayouts, ReadAsTheHelperReadsThem)
{
    const LayoutCase& c = GetParam();
    ctl("set-language", { { "language", c.language } });
    ctl("set-playhead", { { "seconds", c.playhead } });
    ctl("set-transport", { { "controlBarDisplay", c.layout } });
    EXPECT_EQ(displayText(), c.text);
    EXPECT_EQ(displayMode(), c.mode);
    EXPECT_EQ(timecode::evaluateControlBarState(logic::logicApplicationElement(platform())), c.controlBarState);
}

INSTANTIATE_TEST_SUITE_P(Layouts, DisplayLayouts,
    ::testing::Values(LayoutCase { "frames", "en", 3600.48, "01:00:00:12", 0, 0 },
        LayoutCase { "subframes", "en", 3600.5, "01:00:00:12:40", 1, 0 },
        LayoutCase { "quarterFrames", "en", 3600.5, "01:00:00:12:2", 2, 0 },
        LayoutCase { "samples", "en", 3600.5, "01:00:00:12:960", 3, 0 },
        LayoutCase { "secondsFraction", "en", 3600.25, "01:00:00:250", 0, 3 },
        LayoutCase { "barsAndBeats", "en", 3602.5, std::nullopt, -1, 2 },
        LayoutCase { "unknownFifth", "en", 3600.5, "01:00:00:12:50", -1, 0 },
        LayoutCase { "frames", "de", 3600.48, "01:00:00:12", 0, 0 }, LayoutCase { "subframes", "fr", 3600.5, "01:00:00:12:40", 1, 0 },
        LayoutCase { "quarterFrames", "ja", 3600.5, "01:00:00:12:2", 2, 0 }, LayoutCase { "samples", "ko", 3600.5, "01:00:00:12:960", 3, 0 },
        LayoutCase { "secondsFraction", "zh", 3600.25, "01:00:00:250", 0, 3 }, LayoutCase { "frames", "es", 3600.48, "01:00:00:12", 0, 0 }),
    [](const auto& info) { return std::string(info.param.layout) + "_" + info.param.language; });

TEST_F(Transport, SlidersListedOutOfScreenOrderStillReadLeftToRight)
{
    ctl("set-playhead", { { "seconds", 3723.2 } });
    ctl("set-transport", { { "controlBarDisplay", "frames" }, { "slidersOutOfOrder", true } });
    CFValue description;
    AXElementRef firstListed = elementByKeyPath({ 0, kControlBar, 2, 0 });
    ASSERT_EQ(read(firstListed, "AXDescription", description), 0);
    EXPECT_EQ(description, CFValue("Frames"));
    EXPECT_EQ(displayText(), "01:02:03:05");
}

TEST_F(Transport, AHiddenControlBarShowsNoDisplayUntilShownAgain)
{
    AXElementRef oldHours = elementByKeyPath({ 0, kControlBar, 2, 0 });
    ctl("set-control-bar", { { "hidden", true } });
    EXPECT_EQ(timecode::evaluateControlBarState(logic::logicApplicationElement(platform())), 1);
    EXPECT_EQ(displaySeconds(), std::nullopt);
    CFValue value;
    EXPECT_EQ(read(oldHours, "AXValueDescription", value), axerror::invalidUIElement) << "its elements are gone";

    ctl("set-control-bar", { { "hidden", false } });
    EXPECT_EQ(timecode::evaluateControlBarState(logic::logicApplicationElement(platform())), 0);
    EXPECT_EQ(displaySeconds(), 3600.0);
    ctl("set-playhead", { { "seconds", 3601.0 } });
    EXPECT_EQ(displaySeconds(), 3601.0) << "the new display follows the playhead";
}

TEST_F(Transport, AnUnknownLayoutIsRefusedAndTheDisplayKept)
{
    json reply = ctlRaw("set-transport", { { "controlBarDisplay", "timecodeAndBars" } });
    EXPECT_TRUE(reply.contains("error"));
    EXPECT_EQ(displayText(), "01:00:00:00");
}

struct DesktopCase {
    const char* command;
    json args;
    const char* center;
    const char* notification;
    const char* sessionKey; // nullptr: the session is left alone
    bool sessionValue;
};

class DesktopStates : public Transport, public ::testing::WithParamInterface<DesktopCase> {};

TEST_P(DesktopStates, PostTheNotificationAndUpdateTheSession)
{
    const DesktopCase& c = GetParam();
    ctl(c.command, c.args);
    json events = ctl("state")["events"];
    bool posted = false;
    for (const json& event : events)
        posted = posted || (event.value("type", "") == "notification" && event.value("name", "") == c.notification && event.value("center", "") == c.center);
    EXPECT_TRUE(posted) << events.dump();
    if (c.sessionKey) {
        std::optional<CFDictionary> session = m_backend->sessionDictionary();
        ASSERT_TRUE(session);
        const CFValue* entry = lookup(*session, c.sessionKey);
        ASSERT_TRUE(entry);
        EXPECT_EQ(*entry, CFValue(c.sessionValue));
    }
}

INSTANTIATE_TEST_SUITE_P(States, DesktopStates,
    ::testing::Values(DesktopCase { "set-screen-lock", { { "locked", true } }, "distributed", "com.apple.screenIsLocked", "CGSSessionScreenIsLocked", true },
        DesktopCase { "set-screen-lock", { { "locked", false } }, "distributed", "com.apple.screenIsUnlocked", "CGSSessionScreenIsLocked", false },
        DesktopCase { "set-screens-asleep", { { "asleep", true } }, "workspace", "NSWorkspaceScreensDidSleepNotification", nullptr, false },
        DesktopCase { "set-screens-asleep", { { "asleep", false } }, "workspace", "NSWorkspaceScreensDidWakeNotification", nullptr, false },
        DesktopCase { "set-system-asleep", { { "asleep", true } }, "workspace", "NSWorkspaceWillSleepNotification", nullptr, false },
        DesktopCase { "set-system-asleep", { { "asleep", false } }, "workspace", "NSWorkspaceDidWakeNotification", nullptr, false },
        DesktopCase { "set-session-active", { { "active", false } }, "workspace", "NSWorkspaceSessionDidResignActiveNotification",
            "kCGSSessionOnConsoleKey", false },
        DesktopCase { "set-session-active", { { "active", true } }, "workspace", "NSWorkspaceSessionDidBecomeActiveNotification",
            "kCGSSessionOnConsoleKey", true }));

TEST_F(Transport, SaveAsChangesTheWindowsDocument)
{
    ctl("save-as", { { "window", "project" }, { "document", "/Users/someone/Music/Demo v2.logicx" }, { "title", "Demo v2 - Tracks" } });
    EXPECT_EQ(readString(elementByKeyPath({ 0 }), "AXDocument"), "/Users/someone/Music/Demo v2.logicx");
    EXPECT_EQ(readString(elementByKeyPath({ 0 }), "AXTitle"), "Demo v2 - Tracks");
}

} // namespace
} // namespace mq::test
