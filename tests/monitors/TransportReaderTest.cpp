// The transport scrub reader against a scripted Logic, with real files read back
// through the client's reader (a second mapping) or by a second process.
#include "marquee/ScrubReader.h"
#include "monitors/TransportReader.h"
#include "tests/monitors/MonitorFixture.h"
#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace mq {
namespace {

using monitors::testing::MonitorFixture;
using monitors::testing::SliderField;
using monitors::testing::timeSliders;
using platform::AXElementRef;
using test::AXCall;

constexpr const char* kScrub = "helper.scrub";

/// hh:mm:ss:ff of a frame count at 25 fps.
std::vector<std::string> timeOfFrame(long frame)
{
    auto two = [](long value) {
        char text[8];
        std::snprintf(text, sizeof text, "%02ld", value);
        return std::string(text);
    };
    return { two(frame / 90000), two(frame / 1500 % 60), two(frame / 25 % 60), two(frame % 25) };
}

/// Seconds as the display reading computes them, so that doubles compare exactly.
double tc(int hours, int minutes, int seconds, int frames, double fps)
{
    return static_cast<double>(hours) * 3600 + static_cast<double>(minutes) * 60 + static_cast<double>(seconds) + frames / fps;
}

class TransportReaderTest : public MonitorFixture {
public:
    /// A reader whose timer never fires during a test: ticks are driven by hand.
    void makeReader(std::chrono::nanoseconds interval = std::chrono::hours(1))
    {
        main.sync([&] { reader = std::make_unique<TransportReader>(scripted.platform, main.loop, interval); });
    }
    void TearDown() override
    {
        main.sync([&] { reader.reset(); });
        MonitorFixture::TearDown();
    }

    bool start(double fps, const std::string& path, bool dropFrame = false)
    {
        return main.sync([&] {
            // Without a read queue the answer comes within the call.
            std::optional<bool> answer;
            reader->start(fps, dropFrame, path, [&](bool found) { answer = found; });
            EXPECT_TRUE(answer.has_value()) << "start did not answer within the call";
            return answer.value_or(false);
        });
    }
    void stop(const std::string& path)
    {
        main.sync([&] { reader->stop(path); });
    }
    void ticks(int count = 1)
    {
        main.sync([&] {
            for (int i = 0; i < count; ++i)
                reader->pollTick();
        });
    }
    /// A client's view of the file at `path`.
    client::ScrubReader clientOf(const std::string& path)
    {
        auto opened = client::ScrubReader::open(path);
        EXPECT_TRUE(opened.hasValue());
        return std::move(opened.value());
    }
    client::ScrubSnapshot snapshotOf(const client::ScrubReader& client)
    {
        std::optional<client::ScrubSnapshot> snapshot = client.snapshot();
        EXPECT_TRUE(snapshot);
        return snapshot.value_or(client::ScrubSnapshot {});
    }
    std::size_t valueReads() const { return scripted.accessibility.count(AXCall::copyAttributeValue, "AXValueDescription"); }

    std::unique_ptr<TransportReader> reader;
};

TEST_F(TransportReaderTest, StartFindsTheDisplayAndTheFirstTickPublishes)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "01", "00", "00", "12" }));
    makeReader();
    std::string path = files.file("scrub");
    EXPECT_TRUE(start(25, path));
    EXPECT_EQ(levelOf("scrub: SMPTE sliders found; 1 target(s); polling at 60.000000 Hz (fps 25.000000 df false)", kScrub),
        log::Level::info);
    EXPECT_EQ(levelOf("scrub: LCD display mode 0 (4 fields)", kScrub), log::Level::info);
    EXPECT_TRUE(main.sync([&] { return reader->isPolling(); }));

    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 64);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    client::ScrubReader client = clientOf(path);
    EXPECT_EQ(snapshotOf(client).sequence, 0u);
    ticks();
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { tc(1, 0, 0, 12, 25), true, 1, 1 }));
    EXPECT_EQ(levelOf("scrub: 01:00:00:12 → 1 target(s)", kScrub), log::Level::debug);
}

TEST_F(TransportReaderTest, StartWithoutADisplayAnswersFalseAndKeepsLooking)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("Film", std::string("/Music/Film.logicx"));
    AXElementRef bar = scene.addGroup(window, std::string("Control Bar"));
    makeReader();
    std::string path = files.file("scrub");
    EXPECT_FALSE(start(25, path));
    EXPECT_EQ(levelOf("scrub: SMPTE display not found yet (set Control Bar LCD to Time); polling to recover", kScrub),
        log::Level::notice);
    EXPECT_TRUE(main.sync([&] { return reader->isPolling(); }));
    client::ScrubReader client = clientOf(path);

    // The display appears; it is searched for once every 60 lost ticks.
    scene.displayGroup = scene.addGroup(bar);
    scene.display = scene.addSliders(scene.displayGroup, timeSliders({ "00", "00", "01", "00" }));
    ticks(59);
    EXPECT_EQ(linesExactly("scrub: SMPTE sliders (re)resolved", kScrub), 0u);
    EXPECT_FALSE(snapshotOf(client).valid);
    ticks(1);
    EXPECT_EQ(linesExactly("scrub: SMPTE sliders (re)resolved", kScrub), 1u);
    ticks(1);
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { 1.0, true, 1, 1 }));
}

TEST_F(TransportReaderTest, AThreeFieldDisplayIsNotReadUntilItShowsFour)
{
    scene.startLogic();
    scene.addProjectWithDisplay({ { "Hour", "01", 10 }, { "Minute", "00", 20 }, { "Second", "00", 30 } });
    makeReader();
    std::string path = files.file("scrub");
    EXPECT_FALSE(start(25, path));
    client::ScrubReader client = clientOf(path);
    ticks(60);
    EXPECT_EQ(linesExactly("scrub: SMPTE sliders (re)resolved", kScrub), 0u);
    EXPECT_FALSE(snapshotOf(client).valid);

    // The frame field appears: found at the next search, and read.
    scene.addSliders(scene.displayGroup, { { "Frame", std::string("05"), 40 } });
    ticks(60);
    EXPECT_EQ(linesExactly("scrub: SMPTE sliders (re)resolved", kScrub), 1u);
    ticks(1);
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { tc(1, 0, 0, 5, 25), true, 1, 1 }));
}

TEST_F(TransportReaderTest, ARestartWithAnotherRateKeepsTheSequenceAndConvertsAtTheNewRate)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "00", "00", "10", "12" }));
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    client::ScrubReader client = clientOf(path);
    ticks();
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { tc(0, 0, 10, 12, 25), true, 1, 1 }));

    ASSERT_TRUE(start(30, path, true));
    EXPECT_EQ(main.sync([&] { return reader->targetCount(); }), 1u);
    EXPECT_EQ(levelOf("scrub: SMPTE sliders found; 1 target(s); polling at 60.000000 Hz (fps 30.000000 df true)", kScrub),
        log::Level::info);
    ticks(); // The restart forgets the last text, so this reading is a change.
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { tc(0, 0, 10, 12, 30), true, 1, 2 }));
    scene.showTime({ "00", "00", "10", "15" });
    ticks();
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { tc(0, 0, 10, 15, 30), true, 1, 3 }));
}

TEST_F(TransportReaderTest, TheSequenceWrapsToZero)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "00", "00", "00", "01" }));
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    client::ScrubReader client = clientOf(path);
    main.sync([&] { reader->target(path)->scrubSeq = 4294967294u; });
    ticks();
    EXPECT_EQ(snapshotOf(client).sequence, 4294967295u);
    scene.showTime({ "00", "00", "00", "02" });
    ticks();
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { tc(0, 0, 0, 2, 25), true, 1, 0 }));
    scene.showTime({ "00", "00", "00", "03" });
    ticks();
    EXPECT_EQ(snapshotOf(client).sequence, 1u);
}

TEST_F(TransportReaderTest, TheSteadyRateWordReadsEverySecondTickAndNeverIdles)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    client::ScrubReader client = clientOf(path);
    client.requestSteadyRate(true);

    std::size_t before = valueReads();
    ticks(120); // A static display: without the word it would idle after 30.
    EXPECT_EQ(valueReads() - before, 60u * 4);
    EXPECT_LE(main.sync([&] { return reader->ticksSinceChange(); }), 1) << "each tick starts the count again";

    client.requestSteadyRate(false);
    ticks(60);
    EXPECT_EQ(main.sync([&] { return reader->ticksSinceChange(); }), 30);
}

TEST_F(TransportReaderTest, AStaticDisplayIdlesAtATwentiethOfASecond)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    ASSERT_TRUE(start(25, files.file("scrub")));
    ticks(31); // One changed reading, then 30 unchanged ones.
    EXPECT_EQ(main.sync([&] { return reader->ticksSinceChange(); }), 30);
    std::size_t before = valueReads();
    ticks(60);
    EXPECT_EQ(valueReads() - before, 20u * 4);
}

class ChangeWhileIdle : public TransportReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(ChangeWhileIdle, IsSeenWithinThreeTicks)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    client::ScrubReader client = clientOf(path);
    ticks(31 + GetParam());
    ASSERT_EQ(snapshotOf(client).sequence, 1u);

    scene.showTime({ "01", "00", "00", "05" });
    int ticksToSee = 0;
    while (snapshotOf(client).sequence == 1 && ticksToSee < 10) {
        ticks();
        ++ticksToSee;
    }
    EXPECT_LE(ticksToSee, 3);
    EXPECT_EQ(snapshotOf(client).position, tc(1, 0, 0, 5, 25));
    EXPECT_EQ(main.sync([&] { return reader->ticksSinceChange(); }), 0);
}

INSTANTIATE_TEST_SUITE_P(Phases, ChangeWhileIdle, ::testing::Values(0, 1, 2, 3, 4, 5));

TEST_F(TransportReaderTest, AnUnreadableTextInvalidatesEveryTargetUntilItReadsAgain)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "00", "00", "02", "00" }));
    makeReader();
    std::string first = files.file("a");
    std::string second = files.file("b");
    ASSERT_TRUE(start(25, first));
    ASSERT_TRUE(start(30, second));
    client::ScrubReader a = clientOf(first);
    client::ScrubReader b = clientOf(second);
    ticks();
    ASSERT_TRUE(snapshotOf(a).valid && snapshotOf(b).valid);

    const std::string unreadableLine = "scrub: LCD value '00:00:--:00' unreadable — scrub invalid until it reads again";
    scene.showTime({ "00", "00", "--", "00" });
    ticks();
    for (const client::ScrubReader* client : { &a, &b })
        EXPECT_EQ(snapshotOf(*client), (client::ScrubSnapshot { 2.0, false, 0, 1 }));
    EXPECT_EQ(levelOf(unreadableLine, kScrub), log::Level::error);

    scene.showTime({ "00", "00", "-", "00" });
    ticks(3);
    EXPECT_FALSE(snapshotOf(a).valid);
    EXPECT_EQ(capture.count("unreadable", kScrub), 1u) << "only the change into the unreadable state is logged";

    scene.showTime({ "00", "00", "03", "00" });
    ticks();
    EXPECT_EQ(levelOf("scrub: LCD readable again", kScrub), log::Level::info);
    EXPECT_EQ(snapshotOf(a), (client::ScrubSnapshot { 3.0, true, 1, 2 }));
    EXPECT_EQ(snapshotOf(b), (client::ScrubSnapshot { 3.0, true, 1, 2 }));
}

TEST_F(TransportReaderTest, AFieldThatCannotBeReadLosesTheDisplay)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    client::ScrubReader client = clientOf(path);
    ticks();
    ASSERT_TRUE(snapshotOf(client).valid);
    scripted.accessibility.removeAttribute(scene.display[3], "AXValueDescription");
    ticks();
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { 3600.0, false, 0, 1 }));
    EXPECT_EQ(main.sync([&] { return reader->sliderCount(); }), 0u);
}

TEST_F(TransportReaderTest, TwoTargetsAtTwoRates)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "00", "01", "00", "12" }));
    makeReader();
    std::string at25 = files.file("a25");
    std::string at30 = files.file("b30");
    ASSERT_TRUE(start(25, at25));
    ASSERT_TRUE(start(30, at30));
    EXPECT_EQ(levelOf("scrub: SMPTE sliders found; 2 target(s); polling at 60.000000 Hz (fps 30.000000 df false)", kScrub),
        log::Level::info);
    client::ScrubReader a = clientOf(at25);
    client::ScrubReader b = clientOf(at30);
    ticks();
    EXPECT_EQ(snapshotOf(a), (client::ScrubSnapshot { tc(0, 1, 0, 12, 25), true, 1, 1 }));
    EXPECT_EQ(snapshotOf(b), (client::ScrubSnapshot { tc(0, 1, 0, 12, 30), true, 1, 1 }));
    EXPECT_EQ(levelOf("scrub: 00:01:00:12 → 2 target(s)", kScrub), log::Level::debug);
}

TEST_F(TransportReaderTest, AnUnknownFifthFieldKeepsPublishingWithModeWordZero)
{
    scene.startLogic();
    std::vector<SliderField> fields = timeSliders({ "00", "00", "04", "10" });
    fields.push_back({ "Bits", std::string(" 42 "), 50 });
    scene.addProjectWithDisplay(fields);
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    EXPECT_EQ(levelOf("scrub: LCD display mode -1 (5 fields)", kScrub), std::nullopt) << "-1 is the mode before, so no change";
    client::ScrubReader client = clientOf(path);
    ticks();
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { tc(0, 0, 4, 10, 25), true, 0, 1 }));
    EXPECT_EQ(levelOf("scrub: 00:00:04:10:42 → 1 target(s)", kScrub), log::Level::debug) << "a numeric fifth field is part of the text";

    // A change of the fifth field alone is a new reading.
    scene.showTime({ "00", "00", "04", "10", "43" });
    ticks();
    EXPECT_EQ(snapshotOf(client).sequence, 2u);
}

TEST_F(TransportReaderTest, ANonNumericFifthFieldIsLeftOut)
{
    scene.startLogic();
    std::vector<SliderField> fields = timeSliders({ "00", "00", "04", "10" });
    fields.push_back({ "Subframe", std::string("--"), 50 });
    scene.addProjectWithDisplay(fields);
    makeReader();
    ASSERT_TRUE(start(25, files.file("scrub")));
    EXPECT_EQ(levelOf("scrub: LCD display mode 1 (5 fields)", kScrub), log::Level::info);
    ticks();
    EXPECT_EQ(levelOf("scrub: 00:00:04:10 → 1 target(s)", kScrub), log::Level::debug);
}

TEST_F(TransportReaderTest, TheGroupIsRecheckedOnceASecond)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    client::ScrubReader client = clientOf(path);
    ticks();
    // The display gains a subframe field: seen at the next whole second.
    scene.addSliders(scene.displayGroup, { { "Subframe", std::string("07"), 50 } });
    ticks(58);
    EXPECT_EQ(main.sync([&] { return reader->displayMode(); }), timecode::DisplayMode::frames);
    ticks(1);
    EXPECT_EQ(main.sync([&] { return reader->displayMode(); }), timecode::DisplayMode::subframes);
    EXPECT_EQ(levelOf("scrub: LCD display mode 1 (5 fields)", kScrub), log::Level::info);
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { 3600.0, true, 2, 2 }));
}

TEST_F(TransportReaderTest, StoppingAnUnknownPathOnlyLogs)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    ASSERT_TRUE(start(25, files.file("a")));
    stop(files.file("never"));
    EXPECT_EQ(levelOf("scrub: stop for unregistered path; ignored", kScrub), log::Level::info);
    EXPECT_TRUE(main.sync([&] { return reader->isPolling(); }));
    EXPECT_EQ(main.sync([&] { return reader->targetCount(); }), 1u);
}

TEST_F(TransportReaderTest, StoppingTheLastPathEndsTheTimer)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string first = files.file("a");
    std::string second = files.file("b");
    ASSERT_TRUE(start(25, first));
    ASSERT_TRUE(start(25, second));
    client::ScrubReader a = clientOf(first);
    ticks();
    ASSERT_EQ(snapshotOf(a), (client::ScrubSnapshot { 3600.0, true, 1, 1 }));

    stop(first);
    EXPECT_EQ(levelOf("scrub: target removed; 1 remain", kScrub), log::Level::info);
    EXPECT_EQ(snapshotOf(a), (client::ScrubSnapshot { 3600.0, false, 0, 1 })) << "stop leaves position and sequence";
    EXPECT_TRUE(main.sync([&] { return reader->isPolling(); }));
    stop(second);
    EXPECT_EQ(levelOf("scrub: stopped (no targets remain)", kScrub), log::Level::info);
    EXPECT_FALSE(main.sync([&] { return reader->isPolling(); }));
    EXPECT_EQ(main.sync([&] { return reader->sliderCount(); }), 0u);
}

TEST_F(TransportReaderTest, TheHelperLeavesTheClientsBytesAlone)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string path = files.file("scrub");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 64; ++i) // A block the client filled before starting.
            out.put(static_cast<char>(0xA0 + i % 16));
    }
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(start(25, path));
    ticks();
    stop(path);

    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 64u);
    for (auto [from, to] : { std::pair { 0, 16 }, std::pair { 20, 24 }, std::pair { 40, 56 }, std::pair { 60, 64 } })
        for (int i = from; i < to; ++i)
            EXPECT_EQ(static_cast<unsigned char>(bytes[i]), 0xA0 + i % 16) << "byte " << i;
}

TEST_F(TransportReaderTest, TheTimerTicksSixtyTimesASecondOnTheMainRunLoop)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader(TransportReader::kPollInterval);
    ASSERT_TRUE(start(25, files.file("scrub")));
    auto begin = std::chrono::steady_clock::now();
    std::uint32_t count = 0;
    while (std::chrono::steady_clock::now() - begin < std::chrono::seconds(5) && (count = main.sync([&] { return reader->pollTickCount(); })) < 30)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_GE(count, 30u);
    EXPECT_GE(elapsed, 29.0 / 60) << "ticks came faster than 60 a second";
}

TEST_F(TransportReaderTest, TheOneShotReadSearchesAfreshFromAnyThread)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders({ "01", "00", "00", "12" }));
    EXPECT_DOUBLE_EQ(TransportReader::readDisplaySecondsOnce(scripted.platform, 25).value_or(0), 3600.48);
    EXPECT_EQ(TransportReader::readDisplaySecondsOnce(scripted.platform, 30), tc(1, 0, 0, 12, 30));
    scene.showTime({ "01", "00", "xx", "12" });
    EXPECT_EQ(TransportReader::readDisplaySecondsOnce(scripted.platform, 25), std::nullopt);
    scene.quitLogic();
    EXPECT_EQ(TransportReader::readDisplaySecondsOnce(scripted.platform, 25), std::nullopt);
}

TEST_F(TransportReaderTest, AFailedRestartUnregistersThePathAndNeverWritesItsOldMapping)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));
    client::ScrubReader client = clientOf(path); // Maps the original file.
    ticks();
    ASSERT_EQ(snapshotOf(client).sequence, 1u);

    // The path now names a FIFO: the restart fails.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(start(25, path));
    EXPECT_EQ(levelOf("scrub: open shm failed errno 22", kScrub), log::Level::error);
    EXPECT_FALSE(main.sync([&] { return reader->hasTarget(path); }));
    EXPECT_FALSE(main.sync([&] { return reader->isPolling(); }));

    scene.showTime({ "02", "00", "00", "00" });
    ticks(5);
    EXPECT_EQ(snapshotOf(client), (client::ScrubSnapshot { 3600.0, false, 0, 1 }));
}

TEST_F(TransportReaderTest, AnotherProcessSeesEveryWriteInOrder)
{
    scene.startLogic();
    scene.addProjectWithDisplay(timeSliders(timeOfFrame(0)));
    makeReader();
    std::string path = files.file("scrub");
    ASSERT_TRUE(start(25, path));

    constexpr long kWrites = 3000;
    test::ChildProcess probe({ MQ_SHM_PROBE, "scrub", path, "25", std::to_string(kWrites), "20000" });
    ASSERT_TRUE(probe.waitForLine("ready", std::chrono::seconds(10)));
    main.sync([&] {
        for (long frame = 1; frame <= kWrites; ++frame) {
            scene.showTime(timeOfFrame(frame));
            reader->pollTick();
        }
    });
    std::optional<int> status = probe.waitForExit(std::chrono::seconds(30));
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "probe status " << *status;
    for (const std::string& line : probe.lines(test::ChildProcess::Stream::standardOutput))
        EXPECT_EQ(line.find("inconsistent:"), std::string::npos) << line;
}

TEST_F(TransportReaderTest, AFileCutShortDropsItsTargetAndTheOthersGoOn)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    std::string victimPath = files.file("victim");
    std::string otherPath = files.file("other");
    ASSERT_TRUE(start(25, victimPath));
    ASSERT_TRUE(start(25, otherPath));
    client::ScrubReader other = clientOf(otherPath);
    ticks();
    ASSERT_EQ(snapshotOf(other).sequence, 1u);

    ASSERT_EQ(::truncate(victimPath.c_str(), 0), 0);
    scene.showTime({ "01", "00", "00", "05" });
    ticks(); // Its stores fault and land on a private page.
    EXPECT_EQ(snapshotOf(other), (client::ScrubSnapshot { tc(1, 0, 0, 5, 25), true, 1, 2 }));
    ticks(); // The next tick drops it.
    EXPECT_EQ(levelOf("scrub: shared-memory file " + victimPath + " was cut short under its mapping; target dropped", kScrub),
        log::Level::error);
    EXPECT_FALSE(main.sync([&] { return reader->hasTarget(victimPath); }));
    EXPECT_TRUE(main.sync([&] { return reader->isPolling(); }));

    scene.showTime({ "01", "00", "00", "06" });
    ticks();
    EXPECT_EQ(snapshotOf(other).sequence, 3u);
    struct stat status {};
    ASSERT_EQ(::stat(victimPath.c_str(), &status), 0);
    EXPECT_EQ(status.st_size, 0) << "the helper never grows a file back behind its client";

    // The last target cut short ends polling.
    ASSERT_EQ(::truncate(otherPath.c_str(), 0), 0);
    ticks(2);
    EXPECT_FALSE(main.sync([&] { return reader->isPolling(); }));
    EXPECT_EQ(main.sync([&] { return reader->targetCount(); }), 0u);
}

TEST_F(TransportReaderTest, NewPathsBeyondTheLimitAreRefused)
{
    scene.startLogic();
    scene.addProjectWithDisplay();
    makeReader();
    for (std::size_t i = 0; i < TransportReader::kMaxTargets; ++i)
        ASSERT_TRUE(start(25, files.file("scrub" + std::to_string(i)))) << i;
    std::string oneTooMany = files.file("one-too-many");
    EXPECT_FALSE(start(25, oneTooMany));
    EXPECT_EQ(levelOf("scrub: target limit 256 reached; start refused", kScrub), log::Level::error);
    EXPECT_NE(::access(oneTooMany.c_str(), F_OK), 0) << "a refused start creates no file";
    EXPECT_EQ(main.sync([&] { return reader->targetCount(); }), TransportReader::kMaxTargets);

    EXPECT_TRUE(start(30, files.file("scrub0"))) << "a registered path may still be restarted";
    stop(files.file("scrub0"));
    EXPECT_TRUE(start(25, oneTooMany)) << "a freed place can be taken again";
}

} // namespace
} // namespace mq
