#include "timecode/TimecodeParsing.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace mq::timecode {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct ValueTextCase {
    std::string text;
    std::optional<TimecodeFields> expected;
};

TEST(ParseTimecodeValueText, ShapesAndLayouts)
{
    const std::vector<ValueTextCase> cases {
        { "01:00:00:00", TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 0, 0 } },
        { "01:00:00:00.40", TimecodeFields { TimecodeLayout::subframes(), 1, 0, 0, 0, 40 } },
        { "01:00:00:00.1", TimecodeFields { TimecodeLayout::quarterFrames(), 1, 0, 0, 0, 1 } },
        { "01:00:00,250", TimecodeFields { TimecodeLayout::secondsFraction(3), 1, 0, 0, 0, 250 } },
        { "12:34:56,0078", TimecodeFields { TimecodeLayout::secondsFraction(4), 12, 34, 56, 0, 78 } },
        { "01:00:00:00,1234", TimecodeFields { TimecodeLayout::samples(), 1, 0, 0, 0, 1234 } },
        { "23:59:59:29/3", TimecodeFields { TimecodeLayout::quarterFrames(), 23, 59, 59, 29, 3 } },
        { "1:00:00:00", TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 0, 0 } },
        // Any non-digit separates; what is around the numbers does not matter.
        { "  SMPTE 01 : 02 : 03 : 04 fps", TimecodeFields { TimecodeLayout::frames(), 1, 2, 3, 4, 0 } },
        { "-01:00:00:00", TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 0, 0 } },
        // Shapes are checked, ranges are not.
        { "99:99:99:99", TimecodeFields { TimecodeLayout::frames(), 99, 99, 99, 99, 0 } },
        // A long fraction keeps its digit count as long as its value fits.
        { "00:00:00:" + std::string(29, '0') + "1", TimecodeFields { TimecodeLayout::secondsFraction(30), 0, 0, 0, 0, 1 } },
        { "01:0:00:00", std::nullopt },
        { "01:00:00:0", std::nullopt },
        { "001:00:00:00", std::nullopt },
        { "01:00:0:00:00", std::nullopt },
        { "01:00:00:0.40", std::nullopt },
        { "01:00:00:000.40", std::nullopt },
        { "01000000", std::nullopt },
        { "01.00.00.00", std::nullopt },
        { "01:00:00", std::nullopt },
        { "01:00:00:00.40.1", std::nullopt },
        { "01:00:00:00:00:00:00:00", std::nullopt },
        { "", std::nullopt },
        { ":", std::nullopt },
        // Values that do not fit in 64 bits do not parse.
        { "01:00:00:99999999999999999999", std::nullopt },
        { "01:00:00:00.9223372036854775808", std::nullopt },
        { "01:00:00:00.9223372036854775807", TimecodeFields { TimecodeLayout::samples(), 1, 0, 0, 0, std::numeric_limits<std::int64_t>::max() } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseTimecodeValueText(c.text), c.expected) << '"' << c.text << '"';
}

struct PiecesCase {
    std::vector<std::string> pieces;
    std::optional<TimecodeFields> expected;
};

TEST(ParseTimecodeFields, PiecesAreTrimmedAndMustBeDigits)
{
    const std::vector<PiecesCase> cases {
        { { " 01 ", "\t02", "03\n", "04" }, TimecodeFields { TimecodeLayout::frames(), 1, 2, 3, 4, 0 } },
        { { "1", "02", "03", "04", "12345" }, TimecodeFields { TimecodeLayout::samples(), 1, 2, 3, 4, 12345 } },
        { { "01", "02", "03", "004" }, TimecodeFields { TimecodeLayout::secondsFraction(3), 1, 2, 3, 0, 4 } },
        { { "01", "02", "03", "" }, std::nullopt },
        { { "01", "02", "03", "  " }, std::nullopt },
        { { "01", "0a", "03", "04" }, std::nullopt },
        { { "+1", "02", "03", "04" }, std::nullopt },
        { { "01", "02", "03", "-4" }, std::nullopt },
        { { "01", "0 2", "03", "04" }, std::nullopt },
        { { "01", "02", "03" }, std::nullopt },
        { { "01", "02", "03", "04", "05", "06" }, std::nullopt },
        { { "01", "02", "03", "004", "05" }, std::nullopt },
        { {}, std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseTimecodeFields(c.pieces), c.expected) << testing::PrintToString(c.pieces);
}

struct LCDCase {
    std::string text;
    double frameRate;
    std::optional<double> expected;
};

TEST(ParseLCDTimecode, FourPiecesToSeconds)
{
    const std::vector<LCDCase> cases {
        { "01.00.00.12", 25, 3600.48 },
        { "01:00:00:12", 25, 3600.48 },
        { "00;01;00;02", 29.97, 60 + 2 / 29.97 },
        { "  00:00:01:00 \n", 25, 1.0 },
        { "01::00:00:12", 25, 3600.48 },
        { ":01:00:00:12.", 25, 3600.48 },
        { "01:02:03:12", 0, 3723.0 },
        { "01:02:03:12", -25, 3723.0 },
        { "01:02:03:12", kNaN, 3723.0 },
        { "01:00:00", 25, std::nullopt },
        { "01:00:00:12:00", 25, std::nullopt },
        { "01:00:00:12.40", 25, std::nullopt },
        { "a1:00:00:12", 25, std::nullopt },
        { "-1:00:00:12", 25, std::nullopt },
        { "01:00:00: 12", 25, std::nullopt },
        { "1e3:00:00:12", 25, std::nullopt },
        { "99999999999999999999:00:00:12", 25, std::nullopt },
        { "", 25, std::nullopt },
        { "   ", 25, std::nullopt },
    };
    for (const auto& c : cases) {
        const std::optional<double> got = parseLCDTimecode(c.text, c.frameRate);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << '"' << c.text << '"';
        if (got) {
            EXPECT_DOUBLE_EQ(*got, *c.expected) << '"' << c.text << '"';
        }
    }
}

} // namespace
} // namespace mq::timecode
