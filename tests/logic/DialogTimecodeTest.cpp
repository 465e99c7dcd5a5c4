#include "logic/DialogTimecode.h"
#include "tests/logic/LogicFixture.h"

#include <cmath>

namespace mq::logic {
namespace {

using test::AXCall;
using testing::LogicFixture;
using timecode::TimecodeFields;
using timecode::TimecodeLayout;

class DialogTimecodeTest : public LogicFixture {
public:
    void SetUp() override { dialogRef = scripted.accessibility.addWindow(startLogic(), "Go to Position", "AXDialog", true); }

    ax::UIElement dialog() { return ax::UIElement(scripted.accessibility, dialogRef); }

    /// A timecode group showing its position as AXValue text.
    platform::AXElementRef addTextGroup(const std::string& text)
    {
        platform::AXElementRef group = scripted.accessibility.addChild(dialogRef, "AXGroup");
        scripted.accessibility.setAttribute(group, "AXValue", text);
        return group;
    }
    /// A timecode group of children with the given value descriptions.
    platform::AXElementRef addFieldGroup(const std::vector<std::string>& pieces)
    {
        platform::AXElementRef group = scripted.accessibility.addChild(dialogRef, "AXGroup");
        for (const std::string& piece : pieces) {
            platform::AXElementRef field = scripted.accessibility.addChild(group, "AXSlider");
            scripted.accessibility.setAttribute(field, "AXValueDescription", piece);
        }
        return group;
    }

    platform::AXElementRef dialogRef;
};

TEST_F(DialogTimecodeTest, ReadsGroupsByIndexAmongTheGroupChildren)
{
    scripted.accessibility.addChild(dialogRef, "AXStaticText");
    addTextGroup("01:00:00:00");
    scripted.accessibility.addChild(dialogRef, "AXButton");
    addTextGroup("00:59:59:24");
    addFieldGroup({ "02", "03", "04", "05" });

    EXPECT_EQ(readDialogTimecodeGroup(dialog(), 0), (TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 0, 0 }));
    EXPECT_EQ(readDialogTimecodeGroup(dialog(), 1), (TimecodeFields { TimecodeLayout::frames(), 0, 59, 59, 24, 0 }));
    EXPECT_EQ(readDialogTimecodeGroup(dialog(), 2), (TimecodeFields { TimecodeLayout::frames(), 2, 3, 4, 5, 0 }));
    EXPECT_FALSE(readDialogTimecodeGroup(dialog(), 3).has_value());
}

struct GroupRow {
    const char* name;
    std::optional<std::string> valueText; // absent: no AXValue
    std::vector<std::string> pieces; // the children's value descriptions
    std::optional<TimecodeFields> expected;
};

class GroupShapes : public DialogTimecodeTest, public ::testing::WithParamInterface<GroupRow> { };

TEST_P(GroupShapes, ParseOrGiveNothing)
{
    const GroupRow& row = GetParam();
    platform::AXElementRef group = addFieldGroup(row.pieces);
    if (row.valueText)
        scripted.accessibility.setAttribute(group, "AXValue", *row.valueText);
    EXPECT_EQ(readDialogTimecodeGroup(dialog(), 0), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, GroupShapes,
    ::testing::Values(GroupRow { "ValueText", "01:00:00:00", {}, TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 0, 0 } },
        GroupRow { "ValueTextSubframes", "01:00:00:00.40", {}, TimecodeFields { TimecodeLayout::subframes(), 1, 0, 0, 0, 40 } },
        GroupRow { "ValueTextSecondsFraction", "01:00:00,250", {},
            TimecodeFields { TimecodeLayout::secondsFraction(3), 1, 0, 0, 0, 250 } },
        GroupRow { "NoColonFallsBackToChildren", "01000012", { "01", "00", "00", "12" },
            TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 12, 0 } },
        GroupRow { "UnparsableTextFallsBackToChildren", "1:2:3", { "10", "20", "30", "04" },
            TimecodeFields { TimecodeLayout::frames(), 10, 20, 30, 4, 0 } },
        GroupRow { "FourChildren", std::nullopt, { "01", "00", "00", "00" }, TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 0, 0 } },
        GroupRow { "FiveChildrenQuarterFrames", std::nullopt, { "01", "00", "00", "03", "2" },
            TimecodeFields { TimecodeLayout::quarterFrames(), 1, 0, 0, 3, 2 } },
        GroupRow { "ThreeChildren", std::nullopt, { "01", "00", "00" }, std::nullopt },
        GroupRow { "SixChildren", std::nullopt, { "01", "00", "00", "00", "00", "00" }, std::nullopt },
        GroupRow { "NoChildren", "no timecode", {}, std::nullopt },
        GroupRow { "BadPiece", std::nullopt, { "01", "0", "00", "00" }, std::nullopt }),
    [](const ::testing::TestParamInfo<GroupRow>& row) { return std::string(row.param.name); });

TEST_F(DialogTimecodeTest, AChildWithoutValueDescriptionGivesNothing)
{
    platform::AXElementRef group = addFieldGroup({ "01", "00", "00", "00" });
    platform::AXElementRef extra = scripted.accessibility.addChild(group, "AXSlider");
    (void)extra; // five children, the last without a value description
    EXPECT_FALSE(readDialogTimecodeGroup(dialog(), 0).has_value());
}

TEST_F(DialogTimecodeTest, ReadsThatThrowCountAsAbsent)
{
    platform::AXElementRef group = addFieldGroup({ "01", "00", "00", "05" });
    scripted.accessibility.setAttribute(group, "AXValue", "09:00:00:00");
    scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, group, std::string("AXValue"));
    EXPECT_EQ(readDialogTimecodeGroup(dialog(), 0), (TimecodeFields { TimecodeLayout::frames(), 1, 0, 0, 5, 0 }));
    scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, dialogRef, std::string("AXChildren"));
    EXPECT_FALSE(readDialogTimecodeGroup(dialog(), 0).has_value());
}

TEST_F(DialogTimecodeTest, LayoutIsThatOfTheFirstGroupThatParses)
{
    addTextGroup("Position");
    scripted.accessibility.addChild(dialogRef, "AXTextField");
    addTextGroup("00:00:10,5000");
    addTextGroup("01:00:00:00");
    EXPECT_EQ(timecodeLayout(dialog()), TimecodeLayout::secondsFraction(4));
    EXPECT_EQ(serviceLineCount(), 0u);
}

TEST_F(DialogTimecodeTest, LayoutIsFramesWhenNoGroupParses)
{
    addTextGroup("Position");
    addFieldGroup({ "01", "00", "00" });
    EXPECT_EQ(timecodeLayout(dialog()), TimecodeLayout::frames());
    EXPECT_EQ(levelOf("timecodeLayout: no timecode group found — assuming hh:mm:ss:ff"), log::Level::info);
}

struct OffsetRow {
    const char* name;
    std::optional<double> controlBar;
    std::string dialogText;
    double frameRate;
    double expected; // NaN: cannot be measured
    const char* logLine; // nullptr: no line
};

class ViewOffset : public DialogTimecodeTest, public ::testing::WithParamInterface<OffsetRow> { };

TEST_P(ViewOffset, IsTheControlBarLessTheDialogInWholeFrames)
{
    const OffsetRow& row = GetParam();
    if (!row.dialogText.empty())
        addTextGroup(row.dialogText);
    double offset = measureViewOffset(row.controlBar, dialog(), row.frameRate);
    if (std::isnan(row.expected)) {
        EXPECT_TRUE(std::isnan(offset)) << offset;
    } else {
        EXPECT_NEAR(offset, row.expected, 1e-9);
    }
    if (row.logLine) {
        EXPECT_EQ(levelOf(row.logLine), log::Level::info);
    } else if (std::isnan(row.expected)) {
        EXPECT_EQ(serviceLineCount(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ViewOffset,
    ::testing::Values(
        OffsetRow { "OneSecondAt25", 3600.0, "00:59:59:00", 25, 1.0,
            "measureViewOffset: LCD 3600.000000s vs dialog-current 3599.000000s → view offset 1.000000s" },
        OffsetRow { "RoundsToWholeFrames", 3600.03, "00:59:59:00", 25, 1.04,
            "measureViewOffset: LCD 3600.030000s vs dialog-current 3599.000000s → view offset 1.040000s" },
        OffsetRow { "RoundsHalfAFrameUp", 3600.25, "01:00:00:00", 2, 0.5, nullptr },
        OffsetRow { "RoundsNegativeHalfAFrameDown", 3599.75, "01:00:00:00", 2, -0.5, nullptr },
        OffsetRow { "NegativeOffset", 3598.5, "00:59:59:00", 25, -0.52,
            "measureViewOffset: LCD 3598.500000s vs dialog-current 3599.000000s → view offset -0.520000s" },
        OffsetRow { "RawDifferenceAtRateZero", 3600.3, "00:59:59:12", 0, 1.3,
            "measureViewOffset: LCD 3600.300000s vs dialog-current 3599.000000s → view offset 1.300000s" },
        OffsetRow { "NoControlBar", std::nullopt, "00:59:59:00", 25, NAN, nullptr },
        OffsetRow { "NoDialogGroup", 3600.0, "", 25, NAN, nullptr }),
    [](const ::testing::TestParamInfo<OffsetRow>& row) { return std::string(row.param.name); });

} // namespace
} // namespace mq::logic
