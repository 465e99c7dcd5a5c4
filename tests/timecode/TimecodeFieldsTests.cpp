#include "timecode/TimecodeFields.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace mq::timecode {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(TimecodeLayout, DisplayModeNumbers)
{
    EXPECT_EQ(displayMode(TimecodeLayout::frames()), 0);
    EXPECT_EQ(displayMode(TimecodeLayout::subframes()), 1);
    EXPECT_EQ(displayMode(TimecodeLayout::quarterFrames()), 2);
    EXPECT_EQ(displayMode(TimecodeLayout::samples()), 3);
    EXPECT_EQ(displayMode(TimecodeLayout::secondsFraction(3)), 3);
}

TEST(TimecodeLayout, ComparesKindAndDigits)
{
    EXPECT_EQ(TimecodeLayout(), TimecodeLayout::frames());
    EXPECT_EQ(TimecodeLayout::secondsFraction(3), TimecodeLayout::secondsFraction(3));
    EXPECT_NE(TimecodeLayout::secondsFraction(3), TimecodeLayout::secondsFraction(4));
    EXPECT_NE(TimecodeLayout::samples(), TimecodeLayout::secondsFraction(3));
    EXPECT_EQ(toString(TimecodeLayout::secondsFraction(5)), "secondsFraction(5)");
    EXPECT_EQ(toString(TimecodeLayout::quarterFrames()), "quarterFrames");
}

struct DisplayCase {
    TimecodeFields fields;
    std::string expected;
};

TEST(TimecodeDisplayText, EveryLayout)
{
    const std::vector<DisplayCase> cases {
        { { TimecodeLayout::frames(), 1, 2, 3, 4, 0 }, "01:02:03:04" },
        { { TimecodeLayout::subframes(), 1, 2, 3, 4, 40 }, "01:02:03:04.40" },
        { { TimecodeLayout::subframes(), 1, 2, 3, 4, 7 }, "01:02:03:04.07" },
        { { TimecodeLayout::quarterFrames(), 1, 2, 3, 4, 3 }, "01:02:03:04/3" },
        { { TimecodeLayout::samples(), 1, 2, 3, 4, 250 }, "01:02:03:04,0250" },
        { { TimecodeLayout::samples(), 1, 2, 3, 4, 123456 }, "01:02:03:04,123456" },
        { { TimecodeLayout::secondsFraction(3), 1, 2, 3, 0, 5 }, "01:02:03,005" },
        { { TimecodeLayout::secondsFraction(30), 0, 0, 0, 0, 1 }, "00:00:00," + std::string(29, '0') + "1" },
        // Negative and extreme values print as "%0Nd" prints them.
        { { TimecodeLayout::samples(), 0, 0, 0, 0, -5 }, "00:00:00:00,-005" },
        { { TimecodeLayout::frames(), kMax, 0, 0, 0, 0 }, "9223372036854775807:00:00:00" },
        { { TimecodeLayout::secondsFraction(-4), 0, 0, 0, 0, 7 }, "00:00:00,7" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(timecodeDisplayText(c.fields), c.expected);
}

struct FramesCase {
    TimecodeFields fields;
    double frameRate;
    std::int64_t expected;
};

TEST(FramesFromFields, FrameFieldOrFrameOfTheShownFraction)
{
    const auto fraction = [](int digits, std::int64_t value) {
        return TimecodeFields { TimecodeLayout::secondsFraction(digits), 0, 0, 0, 0, value };
    };
    const std::vector<FramesCase> cases {
        { { TimecodeLayout::frames(), 0, 0, 0, 17, 0 }, 25, 17 },
        { { TimecodeLayout::subframes(), 0, 0, 0, 17, 79 }, 25, 17 },
        { { TimecodeLayout::samples(), 0, 0, 0, 99, 250 }, 25, 99 },
        // 0.500 s at 25 fps covers frames 12.5 to 12.525: no boundary inside, frame 12.
        { fraction(3, 500), 25, 12 },
        // 0.520 s covers 13.0 to 13.025: frame 13 starts inside.
        { fraction(3, 520), 25, 13 },
        { fraction(3, 519), 25, 12 },
        // 0.033 s at 29.97 (30 nominal) covers 0.99 to 1.02: frame 1 starts inside.
        { fraction(3, 33), 29.97, 1 },
        { fraction(3, 32), 29.97, 0 },
        { fraction(3, 0), 25, 0 },
        // 0.999 s covers 24.975 to 25.0: the boundary at 25 lies at the end, not inside.
        { fraction(3, 999), 25, 24 },
        // A value of more than a second still gives at most the last frame.
        { fraction(3, 5000), 25, 24 },
        { fraction(3, kMax), 25, 24 },
        { fraction(3, -40), 25, -1 },
        // Many digits: the value is a tiny fraction of a second.
        { fraction(30, kMax), 25, 0 },
        { fraction(400, 1), 25, 0 },
        // No usable rate counts 1 frame a second, so the only frame is 0.
        { fraction(3, 500), 0, 0 },
        { fraction(3, 500), kNaN, 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(framesFromFields(c.fields, c.frameRate), c.expected) << c.fields << " at " << c.frameRate;
}

struct SecondsCase {
    TimecodeFields fields;
    double frameRate;
    double expected;
};

TEST(FieldsToSeconds, RealRateDividesAndNoDropCorrection)
{
    const std::vector<SecondsCase> cases {
        { { TimecodeLayout::frames(), 1, 0, 0, 12, 0 }, 25, 3600.48 },
        { { TimecodeLayout::frames(), 0, 1, 0, 2, 0 }, 29.97, 60 + 2 / 29.97 },
        { { TimecodeLayout::subframes(), 0, 0, 1, 15, 40 }, 30, 1.5 },
        { { TimecodeLayout::secondsFraction(3), 0, 0, 2, 0, 500 }, 25, 2.48 },
        { { TimecodeLayout::frames(), 1, 2, 3, 12, 0 }, 0, 3723 },
        { { TimecodeLayout::frames(), 1, 2, 3, 12, 0 }, -25, 3723 },
        { { TimecodeLayout::frames(), 1, 2, 3, 12, 0 }, kNaN, 3723 },
        { { TimecodeLayout::frames(), 1, 2, 3, 12, 0 }, kInfinity, 3723 },
        { { TimecodeLayout::frames(), kMax, kMax, kMax, kMax, 0 }, 25, 3661.0 * 9223372036854775807.0 + 9223372036854775807.0 / 25 },
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(fieldsToSeconds(c.fields, c.frameRate), c.expected) << c.fields << " at " << c.frameRate;
}

} // namespace
} // namespace mq::timecode
