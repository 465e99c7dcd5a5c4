#include "logic/LogicApplication.h"
#include "tests/logic/LogicFixture.h"

namespace mq::logic {
namespace {

using test::AXCall;
using testing::LogicFixture;

TEST_F(LogicFixture, FindPrefersLogic10ThenMobileLogic)
{
    EXPECT_FALSE(findLogicRunningApplication(platform).has_value());
    scripted.workspace.addRunningApplication({ std::string("com.apple.mobilelogic"), 20, std::string("Logic Pro"), false });
    ASSERT_TRUE(findLogicRunningApplication(platform).has_value());
    EXPECT_EQ(findLogicRunningApplication(platform)->pid, 20);
    scripted.workspace.addRunningApplication({ std::string("com.apple.logic10"), 21, std::string("Logic Pro X"), false });
    scripted.workspace.addRunningApplication({ std::string("com.apple.logic10"), 22, std::string("Logic Pro X"), false });
    EXPECT_EQ(findLogicRunningApplication(platform)->pid, 21);
    EXPECT_EQ(findLogicRunningApplication(platform)->localizedName, "Logic Pro X");
}

TEST_F(LogicFixture, ApplicationElementIsTheFirstInstanceOfTheFoundIdentifier)
{
    EXPECT_FALSE(logicApplicationElement(platform).has_value());
    startLogic("com.apple.mobilelogic", 30);
    ASSERT_TRUE(logicApplicationElement(platform).has_value());
    EXPECT_EQ(logicApplicationElement(platform)->element().pid, 30);
    startLogic("com.apple.logic10", 31);
    startLogic("com.apple.logic10", 32);
    EXPECT_EQ(logicApplicationElement(platform)->element().pid, 31);
}

TEST_F(LogicFixture, ApplicationElementIsAbsentWhenAccessibilityIsDenied)
{
    startLogic();
    scripted.accessibility.setTrusted(false);
    EXPECT_FALSE(logicApplicationElement(platform).has_value());
    EXPECT_EQ(scripted.accessibility.trustChecks(), std::vector<bool> { false }); // never prompts
}

TEST_F(LogicFixture, ATerminatedLogicIsNotReachable)
{
    scripted.workspace.addRunningApplication({ std::string("com.apple.logic10"), 40, std::string("Logic Pro"), true });
    EXPECT_TRUE(findLogicRunningApplication(platform).has_value());
    EXPECT_FALSE(logicApplicationElement(platform).has_value());
}

TEST_F(LogicFixture, WindowsAreEmptyWhenTheyCannotBeRead)
{
    EXPECT_TRUE(logicWindows(platform).empty());
    startLogic();
    platform::AXElementRef song = scripted.accessibility.addWindow(logicRef, "Song");
    EXPECT_EQ(logicWindows(platform), (std::vector<ax::UIElement> { ax::UIElement(scripted.accessibility, song) }));
    scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, logicRef, std::string("AXWindows"));
    EXPECT_TRUE(logicWindows(platform).empty());
}

struct SnapshotRow {
    const char* name;
    std::function<void(LogicFixture&)> arrange;
    std::string expected;
};

class SnapshotTest : public LogicFixture, public ::testing::WithParamInterface<SnapshotRow> { };

TEST_P(SnapshotTest, DescribesLogicsWindowsOnOneLine)
{
    GetParam().arrange(*this);
    EXPECT_EQ(logicWindowsSnapshot(platform), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SnapshotTest,
    ::testing::Values(SnapshotRow { "NotRunning", [](LogicFixture&) {}, "snapshot-error: Logic not reachable via AX" },
        SnapshotRow { "Denied",
            [](LogicFixture& f) {
                f.startLogic();
                f.scripted.accessibility.setTrusted(false);
            },
            "snapshot-error: Logic not reachable via AX" },
        SnapshotRow { "WindowsReadFails",
            [](LogicFixture& f) {
                f.startLogic();
                f.scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, std::nullopt, std::string("AXWindows"));
            },
            "snapshot-error: cannot read windows" },
        SnapshotRow { "NoWindowsAttribute",
            [](LogicFixture& f) { f.scripted.accessibility.removeAttribute(f.startLogic(), "AXWindows"); },
            "snapshot-error: cannot read windows" },
        SnapshotRow { "NoWindows", [](LogicFixture& f) { f.startLogic(); }, "count=0" },
        SnapshotRow { "OneDocumentWindow",
            [](LogicFixture& f) { f.scripted.accessibility.addWindow(f.startLogic(), "Song - Tracks"); },
            "count=1 | title=Song - Tracks subrole=AXStandardWindow modal=false" },
        SnapshotRow { "UnreadableValues",
            [](LogicFixture& f) {
                platform::AXElementRef app = f.startLogic();
                f.scripted.accessibility.addWindow(app, "Song");
                platform::AXElementRef odd = f.scripted.accessibility.addWindow(app, "Go to Position", "AXDialog", std::nullopt);
                f.scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, odd, std::string("AXTitle"));
                f.scripted.accessibility.setAttribute(odd, "AXModal", "yes");
                platform::AXElementRef modal = f.scripted.accessibility.addWindow(app, "", "AXDialog", true);
                f.scripted.accessibility.removeAttribute(modal, "AXSubrole");
            },
            "count=3 | title=Song subrole=AXStandardWindow modal=false | title=? subrole=AXDialog modal=? | title= subrole=? "
            "modal=true" }),
    [](const ::testing::TestParamInfo<SnapshotRow>& row) { return std::string(row.param.name); });

} // namespace
} // namespace mq::logic
