#include "timecode/TypedTimecodeText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace mq::timecode {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct SubFrameCase {
    int count;
    double fraction;
    std::int64_t expected;
};

TEST(SubFrameIndex, FloorsWithBiasAndCapsAtLastIndex)
{
    const std::vector<SubFrameCase> cases {
        { 80, 0.0, 0 },
        { 80, 0.5, 40 },
        { 80, 0.999999, 79 },
        { 80, 1.0, 79 },
        // Within 0.0001 below a boundary counts as the boundary.
        { 80, 0.99991 / 80, 1 },
        { 80, 0.9998 / 80, 0 },
        { 4, 0.25, 1 },
        { 4, 0.24998, 1 },
        { 4, 0.2499, 0 },
        { 4, 0.75, 3 },
        { 4, 0.999999, 3 },
        { 80, kNaN, 0 },
        { 80, kInfinity, 79 },
        { 80, 1e300, 79 },
        { 80, -1e300, std::numeric_limits<std::int64_t>::min() },
        { 80, -kInfinity, std::numeric_limits<std::int64_t>::min() },
        { 0, 0.5, -1 },
        { INT_MIN, 0.5, static_cast<std::int64_t>(INT_MIN) - 1 },
        { INT_MAX, 0.5, 1073741823 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(subFrameIndex(c.count, c.fraction), c.expected) << c.count << " x " << c.fraction;
}

struct TypedCase {
    SMPTEComponents components;
    TimecodeLayout layout;
    double frameRate;
    std::string expected;
};

TEST(TypedTimecodeText, EveryLayout)
{
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const std::vector<TypedCase> cases {
        { { 1, 2, 3, 4, 0.5 }, TimecodeLayout::frames(), 25, "01:02:03:04" },
        { { 1, 2, 3, 4, 0.5 }, TimecodeLayout::samples(), 25, "01:02:03:04" },
        { { 1, 2, 3, 4, 0.5 }, TimecodeLayout::subframes(), 25, "01:02:03:04:40" },
        { { 1, 2, 3, 4, 0.999999 }, TimecodeLayout::subframes(), 25, "01:02:03:04:79" },
        { { 1, 2, 3, 4, 0.0 }, TimecodeLayout::subframes(), 25, "01:02:03:04:00" },
        { { 1, 2, 3, 4, 0.999999 }, TimecodeLayout::quarterFrames(), 25, "01:02:03:04:3" },
        { { 1, 2, 3, 4, 0.5 }, TimecodeLayout::quarterFrames(), 25, "01:02:03:04:2" },
        // The fraction is clamped to [0, 1] (NaN taken as 0) before it is used.
        { { 0, 0, 0, 0, 7.5 }, TimecodeLayout::subframes(), 25, "00:00:00:00:79" },
        { { 0, 0, 0, 0, -0.3 }, TimecodeLayout::quarterFrames(), 25, "00:00:00:00:0" },
        { { 0, 0, 0, 0, kNaN }, TimecodeLayout::subframes(), 25, "00:00:00:00:00" },
        // Seconds fraction: (frames + fraction) / nominal rate in `digits` digits.
        { { 0, 0, 0, 12, 0.5 }, TimecodeLayout::secondsFraction(3), 25, "00:00:00:500" },
        { { 10, 20, 30, 15, 0 }, TimecodeLayout::secondsFraction(4), 29.97, "10:20:30:5000" },
        { { 0, 0, 1, 1, 0 }, TimecodeLayout::secondsFraction(3), 30, "00:00:01:033" },
        { { 0, 0, 1, 2, 0 }, TimecodeLayout::secondsFraction(3), 24, "00:00:01:083" },
        { { 0, 0, 0, 0, 0.5 }, TimecodeLayout::secondsFraction(4), 40, "00:00:00:0125" },
        // Half-way values round away from zero: half a frame at 4 fps is 12.5 hundredths.
        { { 0, 0, 0, 0, 0.5 }, TimecodeLayout::secondsFraction(2), 4, "00:00:00:13" },
        // Rounding up past the last value stays at all nines.
        { { 0, 0, 0, 24, 0.99 }, TimecodeLayout::secondsFraction(3), 25, "00:00:00:999" },
        { { 0, 0, 0, 500, 0 }, TimecodeLayout::secondsFraction(3), 25, "00:00:00:999" },
        { { 0, 0, 0, -5, 0 }, TimecodeLayout::secondsFraction(3), 25, "00:00:00:000" },
        // Beyond 18 digits the remaining digits are filled, without overflowing 10^digits.
        { { 0, 0, 0, 12, 0.5 }, TimecodeLayout::secondsFraction(30), 25, "00:00:00:5" + std::string(29, '0') },
        { { 0, 0, 0, 25, 0 }, TimecodeLayout::secondsFraction(25), 25, "00:00:00:" + std::string(25, '9') },
        // A rate without a usable value counts 1 frame a second.
        { { 0, 0, 0, 0, 0.25 }, TimecodeLayout::secondsFraction(3), 0, "00:00:00:250" },
        { { 0, 0, 0, 0, 0.25 }, TimecodeLayout::secondsFraction(3), kNaN, "00:00:00:250" },
        // Fields print like "%02d": a sign and no truncation.
        { { -1, 123, 5, 7, 0 }, TimecodeLayout::frames(), 25, "-1:123:05:07" },
        { { kMin, 0, 0, 0, 0 }, TimecodeLayout::frames(), 25, "-9223372036854775808:00:00:00" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(typedTimecodeText(c.components, c.layout, c.frameRate), c.expected) << c.components << " " << c.layout;
}

TEST(TypedTimecodeText, DropFramePositionTypesItsLabel)
{
    EXPECT_EQ(typedTimecodeText(smpteComponents(60.0, 29.97, true), TimecodeLayout::frames(), 29.97), "00:01:00:02");
    EXPECT_EQ(typedTimecodeText(smpteComponents(3661.52, 25, false), TimecodeLayout::quarterFrames(), 25), "01:01:01:13:0");
}

} // namespace
} // namespace mq::timecode
