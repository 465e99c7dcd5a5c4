// `logicsim ctl snapshot FILE.png` draws what logicsim holds: the picture is the
// main screen's size, Logic's document (and nothing else) shows in its tracks
// area with every name whole and no text drawn over another, open windows show
// their titles and controls, and `--diff BEFORE.json` names what changed.
#include "sim/snapshot/LogicPalette.h"
#include "sim/snapshot/Snapshot.h"
#include "tests/sim/LogicSimFixture.h"

#include <QColor>
#include <QImage>

#include <fstream>
#include <set>

#include <sys/wait.h>

namespace mq::test {
namespace {

class Snapshot : public LogicSimTest {
protected:
    /// Runs the snapshot command and loads the picture it wrote.
    QImage snapshot(const std::vector<std::string>& extra = {})
    {
        std::string file = m_dir.file("snapshot.png");
        std::vector<std::string> command { MQ_LOGICSIM_PATH, "--socket", socketPath(), "ctl", "snapshot", file };
        command.insert(command.end(), extra.begin(), extra.end());
        ChildProcess process(command);
        auto status = process.waitForExit(20s);
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "logicsim ctl snapshot failed";
        return QImage(QString::fromStdString(file));
    }

    /// The texts the snapshot of the world as it is now draws (and, with
    /// `before`, marks the changes since).
    std::vector<sim::DrawnLabel> labels(const json* before = nullptr)
    {
        QImage image;
        std::vector<sim::DrawnLabel> drawn;
        auto failure = sim::drawSnapshot(ctl("state"), before, image, drawn);
        EXPECT_FALSE(failure) << *failure;
        return drawn;
    }

    static std::multiset<std::string> texts(const std::vector<sim::DrawnLabel>& drawn)
    {
        std::multiset<std::string> out;
        for (const auto& label : drawn)
            out.insert(label.text);
        return out;
    }

    static const sim::DrawnLabel* find(const std::vector<sim::DrawnLabel>& drawn, const std::string& text)
    {
        for (const auto& label : drawn)
            if (label.text == text)
                return &label;
        return nullptr;
    }

    static QColor color(sim::RGB rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }
};

/// A document with two tracks, regions close together, markers close together
/// (their names need more than one row) and the locators.
json crowdedDocument()
{
    return {
        { "tracks", { { { "name", "Music bed" }, { "color", nullptr } }, { { "name", "Dialogue with a long name" }, { "color", 27 } } } },
        { "regions",
            { { { "track", 1 }, { "name", "Line 1" }, { "start", 3610.0 }, { "length", 6.0 }, { "color", 5 } },
                { { "track", 1 }, { "name", "Line 2, the second take" }, { "start", 3611.0 }, { "length", 0.5 }, { "color", 40 } },
                { { "track", 0 }, { "name", "Music" }, { "start", 3600.0 }, { "length", 30.0 } } } },
        { "markers",
            { { { "start", 3601.2 }, { "end", 3603.6 }, { "name", "Intro" }, { "color", 0 } },
                { { "start", 3601.5 }, { "end", 3601.9 }, { "name", "Scene \"2\" \\ take" }, { "color", 27 } },
                { { "start", 3620.0 }, { "end", 3624.0 }, { "name", "Scene 3" }, { "color", 60 } } } },
        { "locators", { { "left", 3626.0 }, { "right", 3630.0 } } },
    };
}

TEST_F(Snapshot, DrawsTheDefaultProjectWithoutTracksOfItsOwn)
{
    QImage picture = snapshot();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 1920);
    EXPECT_EQ(picture.height(), 1080);
    // The default document has no tracks: the window's filler lanes are not drawn as tracks.
    std::multiset<std::string> drawn = texts(labels());
    EXPECT_EQ(drawn.count("The project has no tracks"), 1u);
    EXPECT_EQ(drawn.count("Audio 2"), 0u);
    EXPECT_EQ(drawn.count("Audio 1#1"), 0u);
    EXPECT_EQ(drawn.count("Demo Project - Tracks"), 1u);
    // Beyond the project window (1600 wide) lies the desktop.
    EXPECT_NE(picture.pixelColor(1800, 600), picture.pixelColor(1000, 600));
}

TEST_F(Snapshot, ThePlayheadFollowsTheTransport)
{
    // The default span is twenty bars of 2 s from 3600 s over the 800-pixel
    // tracks area from x 500: 10 s is 200 pixels.
    ctl("set-playhead", { { "seconds", 3610.0 } });
    QImage picture = snapshot();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.pixelColor(700, 600), QColor(0xf2, 0xf2, 0xf2));
    EXPECT_NE(picture.pixelColor(500, 600), QColor(0xf2, 0xf2, 0xf2));
}

// Every track, region and marker of the document shows with its whole name, the
// window's own controls keep their names whole, and no text lies on another.
class SnapshotWithDialogs : public Snapshot, public ::testing::WithParamInterface<bool> { };

TEST_P(SnapshotWithDialogs, EveryNameShowsWholeAndNoTextLiesOnAnother)
{
    if (GetParam()) // Go to Position as a sheet on the project window
        ctl("sheets", { { "keys", { "go-to-position" } } });
    ctl("set-logic", crowdedDocument());
    ctl("open-dialog", { { "dialog", "goToPosition" } });
    ctl("set-colors-window", { { "open", true } });
    std::vector<sim::DrawnLabel> drawn = labels();
    std::multiset<std::string> words = texts(drawn);
    for (const char* name : { "Music bed", "Dialogue with a long name", "Line 1", "Line 2, the second take", "Music", "Intro", "Scene \"2\" \\ take",
             "Scene 3", "Marker", "Smart Controls", "Low Latency", "Current Position", "OK", "Cancel", "Colors" })
        EXPECT_EQ(words.count(name), 1u) << name;
    EXPECT_EQ(words.count("Go to Position"), GetParam() ? 0u : 1u) << "a sheet has no title bar; a dialog window has";
    EXPECT_EQ(words.count("Audio 3"), 0u) << "a track the document does not have";
    for (std::size_t i = 0; i < drawn.size(); ++i)
        for (std::size_t j = i + 1; j < drawn.size(); ++j)
            EXPECT_FALSE(drawn[i].overlaps(drawn[j])) << '"' << drawn[i].text << "\" lies on \"" << drawn[j].text << '"';
}

INSTANTIATE_TEST_SUITE_P(DialogAs, SnapshotWithDialogs, ::testing::Values(false, true),
    [](const ::testing::TestParamInfo<bool>& row) { return row.param ? "Sheet" : "Window"; });

TEST_F(Snapshot, TheDocumentShowsInItsColours)
{
    ctl("set-logic", crowdedDocument());
    QImage picture = snapshot();
    ASSERT_FALSE(picture.isNull());
    std::vector<sim::DrawnLabel> drawn = labels();
    // Below each name lies its region, its marker, its track's colour strip.
    auto below = [&](const char* name, double dx, double dy) {
        const sim::DrawnLabel* label = find(drawn, name);
        EXPECT_TRUE(label) << name;
        return label ? picture.pixelColor(static_cast<int>(label->x + dx), static_cast<int>(label->y + label->height + dy)) : QColor();
    };
    EXPECT_EQ(below("Line 1", 0, 6), color(sim::logicColor(5)));
    EXPECT_EQ(below("Music", 0, 6), color(sim::defaultRegionColor()));
    const sim::DrawnLabel* marker = find(drawn, "Intro");
    ASSERT_TRUE(marker);
    EXPECT_EQ(picture.pixelColor(static_cast<int>(marker->x - 2), static_cast<int>(marker->y + marker->height / 2)), color(sim::logicColor(0)));
    const sim::DrawnLabel* track = find(drawn, "Dialogue with a long name");
    ASSERT_TRUE(track);
    EXPECT_EQ(picture.pixelColor(252, static_cast<int>(track->y + track->height / 2)), color(sim::logicColor(27)));
    // The locators tint the lanes between 3626 and 3630 s (x 1020 to 1100).
    EXPECT_NE(picture.pixelColor(1060, 700), picture.pixelColor(1150, 700));
}

// A track added reads as added, a track renamed as renamed, in the changes
// panel of `--diff`; the command writes the picture with it.
TEST_F(Snapshot, TheDiffNamesWhatChanged)
{
    ctl("set-logic", { { "tracks", { { { "name", "Audio 1" }, { "color", nullptr } } } } });
    json before = ctl("state");
    ctl("set-logic",
        { { "tracks", { { { "name", "Audio 1" }, { "color", nullptr } }, { { "name", "Dialogue" }, { "color", 12 } } } },
            { "markers", { { { "start", 3601.2 }, { "end", 3603.6 }, { "name", "Intro" }, { "color", 0 } } } } });
    std::multiset<std::string> added = texts(labels(&before));
    EXPECT_EQ(added.count("+ track 2 \"Dialogue\", colour 12"), 1u);
    EXPECT_EQ(added.count("+ marker \"Intro\" at 01:00:01:05, colour 0"), 1u);
    EXPECT_EQ(added.count("Changes since the earlier state"), 1u);

    before = ctl("state");
    ctl("set-logic", { { "tracks", { { { "name", "Music" }, { "color", nullptr } }, { { "name", "Dialogue" }, { "color", 12 } } } }, { "markers", json::array() } });
    std::multiset<std::string> renamed = texts(labels(&before));
    EXPECT_EQ(renamed.count("~ track 1 \"Music\": renamed from \"Audio 1\""), 1u);
    EXPECT_EQ(renamed.count("- marker \"Intro\""), 1u);

    std::string beforeFile = m_dir.file("before.json");
    std::ofstream(beforeFile) << before.dump();
    QImage picture = snapshot({ "--diff", beforeFile });
    EXPECT_FALSE(picture.isNull());
}

TEST_F(Snapshot, BadArgumentsSayWhatIsWrong)
{
    struct Row {
        std::vector<std::string> arguments;
        int status;
    };
    for (const Row& row : { Row { {}, 2 }, Row { { m_dir.file("x.png"), "--diff", m_dir.file("missing.json") }, 2 },
             Row { { m_dir.file("x.png"), "--state", m_dir.file("missing.json") }, 2 } }) {
        std::vector<std::string> command { MQ_LOGICSIM_PATH, "--socket", socketPath(), "ctl", "snapshot" };
        command.insert(command.end(), row.arguments.begin(), row.arguments.end());
        ChildProcess process(command);
        auto status = process.waitForExit(10s);
        ASSERT_TRUE(status && WIFEXITED(*status));
        EXPECT_EQ(WEXITSTATUS(*status), row.status) << row.arguments.size();
    }
}

} // namespace
} // namespace mq::test
