// `logicsim ctl snapshot FILE.png` draws what logicsim holds: the picture is the
// main screen's size, regions show in their colours where they lie, and the
// playhead is drawn where the transport puts it.
#include "sim/snapshot/LogicPalette.h"
#include "tests/sim/LogicSimFixture.h"

#include <QColor>
#include <QImage>

#include <sys/wait.h>

namespace mq::test {
namespace {

class Snapshot : public LogicSimTest {
protected:
    /// Runs the snapshot command and loads the picture it wrote.
    QImage snapshot()
    {
        std::string file = m_dir.file("snapshot.png");
        ChildProcess process({ MQ_LOGICSIM_PATH, "--socket", socketPath(), "ctl", "snapshot", file });
        auto status = process.waitForExit(20s);
        EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "logicsim ctl snapshot failed";
        return QImage(QString::fromStdString(file));
    }
    static QColor color(sim::RGB rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }
};

TEST_F(Snapshot, DrawsTheDefaultProjectAsLogicsimHoldsIt)
{
    QImage picture = snapshot();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 1920);
    EXPECT_EQ(picture.height(), 1080);
    // The default project's first region, "Audio 1#1", lies at (500, 150), 38 by 36.
    EXPECT_EQ(picture.pixelColor(525, 178), color(sim::defaultRegionColor()));
    // The playhead at bar 1 runs down the tracks area's left edge.
    EXPECT_EQ(picture.pixelColor(500, 600), QColor(0xf2, 0xf2, 0xf2));
    // Beyond the project window (1600 wide) lies the desktop.
    EXPECT_NE(picture.pixelColor(1800, 600), picture.pixelColor(1000, 600));
}

TEST_F(Snapshot, ThePlayheadFollowsTheTransport)
{
    // Twenty bars of 2 s span the 800-pixel tracks area: 10 s is 200 pixels.
    ctl("set-playhead", { { "seconds", 3610.0 } });
    QImage picture = snapshot();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.pixelColor(700, 600), QColor(0xf2, 0xf2, 0xf2));
    EXPECT_NE(picture.pixelColor(500, 600), QColor(0xf2, 0xf2, 0xf2));
}

// Logic's document drawn over the tracks area: a region in its palette colour on
// its track's lane, the track's colour beside its header, a marker in the marker
// track, and the locators.
TEST_F(Snapshot, TheDocumentShowsInItsColours)
{
    // Bar 1 is 3600 s at the area's left edge (x 500); 20 pixels a second.
    ctl("set-logic",
        { { "tracks", { { { "name", "Audio 1" }, { "color", nullptr } }, { { "name", "Dialogue" }, { "color", 27 } } } },
            { "regions", { { { "track", 1 }, { "name", "Line 1" }, { "start", 3610.0 }, { "length", 6.0 }, { "color", 5 } } } },
            { "markers", { { { "start", 3620.0 }, { "end", 3624.0 }, { "name", "Scene 2" }, { "color", 60 } } } },
            { "locators", { { "left", 3626.0 }, { "right", 3630.0 } } } });
    QImage picture = snapshot();
    ASSERT_FALSE(picture.isNull());
    // The region: 3610 to 3616 s on the second lane (y 190 to 230).
    EXPECT_EQ(picture.pixelColor(760, 222), color(sim::logicColor(5)));
    // The second track's colour strip at its header's left edge (x 250).
    EXPECT_EQ(picture.pixelColor(251, 215), color(sim::logicColor(27)));
    // The marker: 3620 to 3624 s in the strip along the area's top (y 150 to 168).
    EXPECT_EQ(picture.pixelColor(940, 164), color(sim::logicColor(60)));
    // The locators tint the area between 3626 and 3630 s.
    EXPECT_NE(picture.pixelColor(1060, 700), picture.pixelColor(1150, 700));
}

// A track renamed in the document shows its new name in its header, not the
// name the window was built with.
TEST_F(Snapshot, ATrackHeaderShowsTheDocumentsName)
{
    // The second header's name lies at (280, 190), 100 by 20.
    auto titleOfSecondTrack = [&](const char* name) {
        ctl("set-logic", { { "tracks", { { { "name", "Audio 1" }, { "color", nullptr } }, { { "name", name }, { "color", nullptr } } } } });
        return snapshot().copy(280, 190, 100, 20);
    };
    QImage asBuilt = titleOfSecondTrack("Audio 2");
    QImage renamed = titleOfSecondTrack("Dialogue");
    ASSERT_FALSE(asBuilt.isNull());
    EXPECT_NE(asBuilt, renamed);
    EXPECT_EQ(titleOfSecondTrack("Audio 2"), asBuilt);
}

TEST_F(Snapshot, WithoutAFileItSaysWhatIsMissing)
{
    ChildProcess process({ MQ_LOGICSIM_PATH, "--socket", socketPath(), "ctl", "snapshot" });
    auto status = process.waitForExit(10s);
    ASSERT_TRUE(status && WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 2);
}

} // namespace
} // namespace mq::test
