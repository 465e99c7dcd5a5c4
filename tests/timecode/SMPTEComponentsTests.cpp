#include "timecode/NominalRate.h"
#include "marquee/SMPTEComponents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

namespace mq::timecode {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kMaxDouble = std::numeric_limits<double>::max();

struct NominalRateCase {
    double frameRate;
    std::int64_t expected;
};

TEST(NominalRate, RoundsHalfAwayFromZeroAndIsAtLeastOne)
{
    const std::vector<NominalRateCase> cases {
        { 23.976, 24 }, { 24, 24 }, { 25, 25 }, { 29.97, 30 }, { 30, 30 }, { 50, 50 }, { 59.94, 60 },
        { 60, 60 }, { 0.4, 1 }, { 0.5, 1 }, { 2.5, 3 }, { 1.49, 1 }, { 0, 1 }, { -30, 1 }, { kNaN, 1 },
        { -kInfinity, 1 }, { kInfinity, kMaxNominalRate }, { 1e300, kMaxNominalRate },
    };
    for (const auto& c : cases)
        EXPECT_EQ(nominalRate(c.frameRate), c.expected) << "rate " << c.frameRate;
}

struct ComponentsCase {
    double seconds;
    double frameRate;
    bool isDropFrame;
    SMPTEComponents expected;
};

void expectComponents(const ComponentsCase& c)
{
    const SMPTEComponents got = smpteComponents(c.seconds, c.frameRate, c.isDropFrame);
    EXPECT_EQ(got.hours, c.expected.hours) << c.seconds << " s at " << c.frameRate << " (drop " << c.isDropFrame << ")";
    EXPECT_EQ(got.minutes, c.expected.minutes) << c.seconds << " s at " << c.frameRate;
    EXPECT_EQ(got.seconds, c.expected.seconds) << c.seconds << " s at " << c.frameRate;
    EXPECT_EQ(got.frames, c.expected.frames) << c.seconds << " s at " << c.frameRate;
    EXPECT_NEAR(got.fraction, c.expected.fraction, 1e-6) << c.seconds << " s at " << c.frameRate;
}

TEST(SMPTEComponents, KnownPositions)
{
    const std::vector<ComponentsCase> cases {
        // 29.97 drop frame: labels 0 and 1 of minute 1 are skipped, minute 10 keeps them.
        { 60.0, 29.97, true, { 0, 1, 0, 2, 0 } },
        { 599.4, 29.97, true, { 0, 10, 0, 0, 0 } },
        { 600.0, 29.97, true, { 0, 10, 0, 18, 0 } },
        { 59.9, 29.97, true, { 0, 0, 59, 27, 0 } },
        // Frame 1799 is the last of minute 0; the next frame is labelled 00:01:00:02.
        { 1799.0 / 30, 29.97, true, { 0, 0, 59, 29, 0 } },
        { 1800.0 / 30, 29.97, true, { 0, 1, 0, 2, 0 } },
        // One hour of 29.97 drop frame is 107892 frames.
        { 107892.0 / 30, 29.97, true, { 1, 0, 0, 0, 0 } },
        // 59.94 drop frame skips 4 labels a minute.
        { 60.0, 59.94, true, { 0, 1, 0, 4, 0 } },
        { 600.0, 59.94, true, { 0, 10, 0, 36, 0 } },
        // Drop frame is honoured at any rate: 25 fps drops 2 labels a minute.
        { 60.0, 25, true, { 0, 1, 0, 2, 0 } },
        // The count is the nearest integer to 2n/30: 3 at 50 fps, 7 at 100 fps, 3 at 38.
        { 60.0, 50, true, { 0, 1, 0, 3, 0 } },
        { 60.0, 100, true, { 0, 1, 0, 7, 0 } },
        { 60.0, 38, true, { 0, 1, 0, 3, 0 } },
        // Without drop frame the nominal rate counts plainly.
        { 60.0, 29.97, false, { 0, 1, 0, 0, 0 } },
        { 3661.52, 25, false, { 1, 1, 1, 13, 0 } },
        { 1.0, 23.976, false, { 0, 0, 1, 0, 0 } },
        { 0.5 / 24, 23.976, false, { 0, 0, 0, 0, 0.5 } },
        { 10.25 / 25, 25, false, { 0, 0, 0, 10, 0.25 } },
        // 24 hours and more wrap to the start of the day.
        { 86400.0, 25, false, { 0, 0, 0, 0, 0 } },
        { 86399.99, 25, false, { 23, 59, 59, 24, 0.75 } },
        { 3 * 86400.0 + 3661.52, 25, false, { 1, 1, 1, 13, 0 } },
        // A negative position is the start of the day, whatever the rate.
        { -1.0, 25, false, { 0, 0, 0, 0, 0 } },
        { -0.02, 25, true, { 0, 0, 0, 0, 0 } },
        // No usable rate or seconds: time of day of floor(max(0, seconds)), frames 0.
        { 90061.7, 0, false, { 1, 1, 1, 0, 0 } },
        { 3725.9, -25, true, { 1, 2, 5, 0, 0 } },
        { 3725.9, kNaN, false, { 1, 2, 5, 0, 0 } },
        { -5.5, 0, false, { 0, 0, 0, 0, 0 } },
        { kNaN, 25, false, { 0, 0, 0, 0, 0 } },
        { kInfinity, 25, true, { 0, 0, 0, 0, 0 } },
        { -kInfinity, 25, false, { 0, 0, 0, 0, 0 } },
        // Huge values stay exact through the day wrap. Worked out in exact integer
        // arithmetic: 1e300 s is 17:36:00 of its day; the frame products are the
        // double 25 x 1e300, itself rounded.
        { 1e300, 0, false, { 17, 36, 0, 0, 0 } },
        { 1e300, 25, false, { 15, 18, 26, 14, 0 } },
        { -1e300, 25, false, { 0, 0, 0, 0, 0 } },
        { -1e300, 0, false, { 0, 0, 0, 0, 0 } },
        { 9.3e18, 0, false, { 21, 20, 0, 0, 0 } },
    };
    for (const auto& c : cases)
        expectComponents(c);
}

TEST(SMPTEComponents, HugeDropFramePositionWrapsLikeItsFrameOfDay)
{
    // 30 x 1e300 is 117184 modulo the 2589408 frames of a 29.97 drop-frame day.
    EXPECT_EQ(smpteComponents(1e300, 29.97, true), smpteComponents(117184.0 / 30, 29.97, true));
}

// Every combination of hostile seconds and rates gives components inside their
// ranges; under UBSan this also proves that no conversion overflows.
TEST(SMPTEComponents, HostileInputsStayInRange)
{
    const double secondsValues[] = { kNaN, kInfinity, -kInfinity, 0.0, -0.0, 1e-320, -1e-320, 1e300, -1e300,
        kMaxDouble, -kMaxDouble, 9.3e18, -9.3e18, 9223372036854775807.0, 1.5e299, -86400.0, 86400.0 * 365 };
    const double rates[] = { kNaN, kInfinity, -kInfinity, 0.0, -25.0, 1e-300, 0.4, 23.976, 29.97, 59.94, 1e12,
        1e300, kMaxDouble };
    for (double seconds : secondsValues) {
        for (double rate : rates) {
            for (bool drop : { false, true }) {
                const SMPTEComponents c = smpteComponents(seconds, rate, drop);
                const std::int64_t n = nominalRate(rate);
                EXPECT_TRUE(c.hours >= 0 && c.hours < 24) << seconds << " " << rate << " " << c;
                EXPECT_TRUE(c.minutes >= 0 && c.minutes < 60) << seconds << " " << rate << " " << c;
                EXPECT_TRUE(c.seconds >= 0 && c.seconds < 60) << seconds << " " << rate << " " << c;
                EXPECT_TRUE(c.frames >= 0 && c.frames < n) << seconds << " " << rate << " " << c;
                EXPECT_TRUE(c.fraction >= 0 && c.fraction < 1) << seconds << " " << rate << " " << c;
            }
        }
    }
}

struct WholeDayCase {
    double frameRate;
    std::int64_t nominal;
    std::int64_t dropped; // labels skipped at the start of a dropping minute
};

void PrintTo(const WholeDayCase& day, std::ostream* out)
{
    *out << day.frameRate << " fps";
}

class DropFrameDay : public testing::TestWithParam<WholeDayCase> { };

// Walks every frame of one day and checks the labels it gets: they strictly
// increase, no skipped label ever appears, and since there are exactly as many
// frames as labels that may appear, each of those appears exactly once.
TEST_P(DropFrameDay, EveryLabelOnceAndNoDroppedLabel)
{
    const WholeDayCase day = GetParam();
    const std::int64_t n = day.nominal;
    const std::int64_t droppingMinutes = 24 * 60 - 24 * 6;
    const std::int64_t framesPerDay = 86400 * n - day.dropped * droppingMinutes;

    std::int64_t previousLabel = -1;
    for (std::int64_t frame = 0; frame < framesPerDay; ++frame) {
        const SMPTEComponents c = smpteComponents(static_cast<double>(frame) / static_cast<double>(n), day.frameRate, true);
        const bool inRange = c.hours >= 0 && c.hours < 24 && c.minutes >= 0 && c.minutes < 60 && c.seconds >= 0
            && c.seconds < 60 && c.frames >= 0 && c.frames < n;
        const std::int64_t label = ((c.hours * 60 + c.minutes) * 60 + c.seconds) * n + c.frames;
        const bool droppedLabel = c.seconds == 0 && c.frames < day.dropped && c.minutes % 10 != 0;
        if (!inRange || label <= previousLabel || droppedLabel || c.fraction > 1e-6) {
            ADD_FAILURE() << "frame " << frame << " got " << c << " after label " << previousLabel;
            return;
        }
        previousLabel = label;
    }
    // The last label of the day is 23:59:59 and the last frame of the second.
    EXPECT_EQ(previousLabel, 86400 * n - 1);
    // The next frame starts the day again.
    EXPECT_EQ(smpteComponents(static_cast<double>(framesPerDay) / static_cast<double>(n), day.frameRate, true),
        (SMPTEComponents { 0, 0, 0, 0, 0 }));
}

INSTANTIATE_TEST_SUITE_P(Rates, DropFrameDay,
    testing::Values(WholeDayCase { 29.97, 30, 2 }, WholeDayCase { 59.94, 60, 4 }),
    [](const testing::TestParamInfo<WholeDayCase>& rate) { return rate.param.nominal == 30 ? "At29_97" : "At59_94"; });

TEST(SMPTEComponents, MidFrameKeepsItsLabelAndFraction)
{
    // Half-way through the first frame after 00:01:00 at 29.97 drop frame.
    const SMPTEComponents c = smpteComponents(1800.5 / 30, 29.97, true);
    EXPECT_EQ(c.minutes, 1);
    EXPECT_EQ(c.frames, 2);
    EXPECT_NEAR(c.fraction, 0.5, 1e-9);
}

} // namespace
} // namespace mq::timecode
