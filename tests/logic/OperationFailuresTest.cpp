// The failure paths of the marker, placement and bounce sequences, against a
// scripted Logic: each stored action and keystroke script does what the test
// says, and the test checks the reply, what was sent, and that no dialog the
// operation opened is left open.
#include "logic/AudioPlacement.h"
#include "logic/BounceSteps.h"
#include "logic/GoToPosition.h"
#include "logic/MarkerCreation.h"
#include "logic/ScreenGeometry.h"
#include "ax/SystemWideElement.h"
#include "platform/Log.h"
#include "tests/logic/LogicFixture.h"

#include <cmath>

#include <functional>
#include <map>

namespace mq::logic {
namespace {

using platform::AXElementRef;
using platform::CFArray;
using platform::CFValue;

/// Where in a sequence the scripted Logic gives the front to another application.
enum class LoseFrontAt { never, start, locatorsDialog, goToDialog, markerNameEditor, trackNameEditor };

/// Logic in front with its project window; each stored action and script does
/// what a real Logic does with it, as far as these sequences look.
class ScriptedLogic {
public:
    ScriptedLogic()
    {
        scripted.workspace.addRunningApplication(platform::RunningApplication { "com.apple.logic10", testing::kLogicPid, std::string("Logic Pro") });
        logicRef = scripted.accessibility.addApplication(testing::kLogicPid);
        scripted.accessibility.setAttribute(logicRef, "AXWindows", CFArray {});
        setFrontmost(true);
        mainWindow = scripted.accessibility.addWindow(logicRef, "Untitled - Tracks");
        scripted.scripting.scriptHandler = [this](const std::string& source) { return actOutScript(source); };
        onAction[kSetLocatorsAction] = [this] { locators = openDialog("Set Left and Right Locator", 2); };
        onAction[kGoToPositionAction] = [this] { openDialog("Go to Position", 3); };
        onAction[kCreateMarkerActions[2]] = [this] { openNameEditor("Marker Name"); };
        onAction[kEditTrackNameAction] = [this] { openNameEditor("Track Name"); };
    }

    void setFrontmost(bool frontmost) { scripted.accessibility.setAttribute(logicRef, "AXFrontmost", frontmost); }

    /// A modal dialog with `groups` timecode groups and a cancel button that closes it.
    AXElementRef openDialog(const std::string& title, int groups)
    {
        AXElementRef dialog = scripted.accessibility.addWindow(logicRef, title, "AXDialog", true);
        for (int i = 0; i < groups; ++i) {
            AXElementRef group = scripted.accessibility.addChild(dialog, "AXGroup");
            scripted.accessibility.setAttribute(group, "AXValue", std::string("01:00:00:00"));
        }
        AXElementRef cancel = scripted.accessibility.addChild(dialog, "AXButton");
        scripted.accessibility.addAction(cancel, "AXPress", std::nullopt, 0, [this, dialog] {
            ++cancelPresses;
            closeWindow(dialog);
        });
        scripted.accessibility.setAttribute(dialog, "AXCancelButton", cancel);
        loseFrontIf(title == "Go to Position" ? LoseFrontAt::goToDialog : LoseFrontAt::locatorsDialog);
        return dialog;
    }

    /// A floating name editor whose text field has Logic's keyboard focus.
    void openNameEditor(const std::string& title)
    {
        AXElementRef editor = scripted.accessibility.addWindow(logicRef, title, "AXFloatingWindow");
        AXElementRef field = scripted.accessibility.addChild(editor, "AXTextField");
        scripted.accessibility.setAttribute(field, "AXWindow", editor);
        if (nameEditorTakesFocus)
            scripted.accessibility.setAttribute(logicRef, "AXFocusedUIElement", field);
        loseFrontIf(title == "Marker Name" ? LoseFrontAt::markerNameEditor : LoseFrontAt::trackNameEditor);
    }

    void loseFrontIf(LoseFrontAt step)
    {
        if (loseFrontAt == step)
            setFrontmost(false);
    }

    void closeWindow(const AXElementRef& window)
    {
        for (const char* list : { "AXWindows", "AXChildren" }) {
            CFArray kept;
            if (std::optional<CFValue> current = scripted.accessibility.storedAttribute(logicRef, list))
                for (const CFValue& value : std::get<CFArray>(current->storage))
                    if (!(value == CFValue(window)))
                        kept.push_back(value);
            scripted.accessibility.setAttribute(logicRef, list, kept);
        }
    }

    /// The front modal window, as Logic would close it on Return or Escape.
    std::optional<AXElementRef> frontModal()
    {
        std::optional<CFValue> windows = scripted.accessibility.storedAttribute(logicRef, "AXWindows");
        for (const CFValue& value : std::get<CFArray>(windows->storage)) {
            AXElementRef window = std::get<AXElementRef>(value.storage);
            if (scripted.accessibility.storedAttribute(window, "AXModal") == std::optional(CFValue(true)))
                return window;
        }
        return std::nullopt;
    }

    platform::ScriptResult actOutScript(const std::string& source)
    {
        ++scriptIndex;
        if (failingScript == scriptIndex)
            return platform::ScriptResult { true, platform::CFDictionary { { "NSAppleScriptErrorNumber", CFValue(std::int64_t { -1719 }) } } };
        bool closes = source.find("keystroke return") != std::string::npos || source.find("key code 53") != std::string::npos;
        if (closes)
            if (std::optional<AXElementRef> modal = frontModal())
                closeWindow(*modal);
        return platform::ScriptResult { true, std::nullopt };
    }

    std::size_t modalWindowsOpen()
    {
        std::size_t count = 0;
        std::optional<CFValue> windows = scripted.accessibility.storedAttribute(logicRef, "AXWindows");
        for (const CFValue& value : std::get<CFArray>(windows->storage))
            if (scripted.accessibility.storedAttribute(std::get<AXElementRef>(value.storage), "AXModal") == std::optional(CFValue(true)))
                ++count;
        return count;
    }

    void run(std::uint32_t code)
    {
        actionsRun.push_back(code);
        if (auto found = onAction.find(code); found != onAction.end())
            found->second();
    }

    ServiceResult<double> createMarker()
    {
        MarkerRequest request { 3600.0, 0.5, "Scene \"1\"", -1, 0, 25.0, false };
        return createLogicMarker(driving, batch, request, nullRect());
    }

    ServiceResult<double> place()
    {
        PlacementRequest request { URL::fileURLWithPath("/tmp/take.wav"), 3600.0, "Take", true, "Dialogue", -1, false, 0, 25.0, false };
        return placeAudioFile(driving, batch, request, nullRect());
    }

    ~ScriptedLogic() { ax::SystemWideElement::releaseShared(scripted.accessibility); }

    log::LogCapture capture;
    test::ScriptedPlatform scripted;
    platform::Platform& platform { scripted.platform };
    AXElementRef logicRef;
    AXElementRef mainWindow;
    std::optional<AXElementRef> locators;
    ColorsBatch batch;
    std::map<std::uint32_t, std::function<void()>> onAction;
    std::vector<std::uint32_t> actionsRun;
    LoseFrontAt loseFrontAt { LoseFrontAt::never };
    bool nameEditorTakesFocus { true };
    int scriptIndex { 0 };
    std::optional<int> failingScript;
    int cancelPresses { 0 };
    LogicDriving driving {
        platform,
        [this](std::uint32_t code) { run(code); },
        [](double) -> std::optional<double> { return 3600.0; },
        [this](std::uint32_t code) {
            run(code);
            return true;
        },
        [] {},
    };
};

class OperationFailures : public ::testing::Test {
protected:
    std::unique_ptr<ScriptedLogic> logic = std::make_unique<ScriptedLogic>();
    /// A fresh Logic for the next row of a table: it gives the front away at
    /// `loseFront` and fails script number `failingScript` (1 for the first).
    ScriptedLogic& fresh(LoseFrontAt loseFront, std::optional<int> failingScript)
    {
        logic.reset();
        logic = std::make_unique<ScriptedLogic>();
        logic->loseFrontAt = loseFront;
        logic->setFrontmost(loseFront != LoseFrontAt::start);
        logic->failingScript = failingScript;
        return *logic;
    }
};

bool contains(const std::vector<std::uint32_t>& list, std::uint32_t code) { return std::find(list.begin(), list.end(), code) != list.end(); }

TEST_F(OperationFailures, AMarkerSucceedsWhenNothingStandsInTheWay)
{
    ServiceResult<double> result = logic->createMarker();
    ASSERT_TRUE(result) << result.error().localizedDescription;
    EXPECT_EQ(*result, 0.0);
    // Locators, clip-end check, the read-back's Escape, the name.
    EXPECT_EQ(logic->scripted.scripting.scripts.size(), 4u);
    EXPECT_EQ(logic->modalWindowsOpen(), 0u);
}

TEST_F(OperationFailures, MarkerFailuresAnswerTheirCodeAndLeaveNoDialog)
{
    struct Case {
        const char* name;
        LoseFrontAt loseFront;
        std::optional<int> failingScript;
        bool nameEditorTakesFocus;
        std::int64_t code;
        std::string message;
        std::size_t scripts;
        bool markerMade;
    };
    const Case cases[] = {
        { "another application in front from the start", LoseFrontAt::start, {}, true, kLocatorDialogMissing,
            "Logic is not the frontmost application; nothing was sent", 0, false },
        { "the locators script fails", LoseFrontAt::never, 1, true, kLocatorEntryFailed, "Could not enter left locator value", 1, false },
        { "Logic loses the front once the locators dialog is up", LoseFrontAt::locatorsDialog, {}, true, kLocatorEntryFailed,
            "Could not enter left locator value (Logic is not the frontmost application; nothing more was typed)", 0, false },
        { "Logic loses the front once the clip-end dialog is up", LoseFrontAt::goToDialog, {}, true, kMarkerInputRefused,
            "Could not check the clip end (Logic is not the frontmost application; nothing more was typed); the locators are set, no "
            "marker was made",
            1, false },
        { "the name script fails", LoseFrontAt::never, 4, true, kMarkerNameFailed, "Could not enter marker name", 4, true },
        { "Logic loses the front once the name editor is up", LoseFrontAt::markerNameEditor, {}, true, kMarkerNameFailed,
            "Could not enter marker name (Logic is not the frontmost application; nothing was typed)", 3, true },
        { "the name editor never takes the focus", LoseFrontAt::never, {}, false, kMarkerNameFailed,
            "Could not enter marker name (no name field of Logic has the keyboard focus; nothing was typed)", 3, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLogic& l = fresh(c.loseFront, c.failingScript);
        l.nameEditorTakesFocus = c.nameEditorTakesFocus;

        ServiceResult<double> result = l.createMarker();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().localizedDescription, c.message);
        EXPECT_EQ(l.scripted.scripting.scripts.size(), c.scripts);
        EXPECT_TRUE(l.scripted.input.posted().empty());
        EXPECT_EQ(l.modalWindowsOpen(), 0u) << "a dialog the marker opened is left open";
        EXPECT_EQ(contains(l.actionsRun, kCreateMarkerActions[2]), c.markerMade);
    }
}

TEST_F(OperationFailures, AnInconclusiveClipEndCheckStillMakesTheMarker)
{
    logic->onAction[kGoToPositionAction] = [] {};
    ServiceResult<double> result = logic->createMarker();
    ASSERT_TRUE(result) << result.error().localizedDescription;
    EXPECT_TRUE(std::isnan(*result));
    EXPECT_TRUE(logic->capture.contains("createLogicMarker: clip-end verification inconclusive — proceeding without clamp guard"));
    EXPECT_TRUE(contains(logic->actionsRun, kCreateMarkerActions[2]));
}

TEST_F(OperationFailures, AModalWindowAlreadyUpIsNamedAndLeftAlone)
{
    ScriptedLogic& l = *logic;
    AXElementRef alert = l.scripted.accessibility.addWindow(l.logicRef, "Export", "AXDialog", true);
    const std::string named = "Logic shows \"Export\" (AXWindow/AXDialog); nothing was typed";

    ServiceResult<double> marker = l.createMarker();
    ASSERT_FALSE(marker);
    EXPECT_EQ(marker.error().code, kLocatorDialogMissing);
    EXPECT_EQ(marker.error().localizedDescription, named);

    ServiceResult<double> placed = l.place();
    ASSERT_FALSE(placed);
    EXPECT_EQ(placed.error().code, kPlacementDialogMissing);
    EXPECT_EQ(placed.error().localizedDescription, named);

    ServiceResult<double> bounced = bounceGoToPosition(l.driving, 3600.0, true, 25.0, false);
    ASSERT_FALSE(bounced);
    EXPECT_EQ(bounced.error().code, kBounceGoToPositionMissing);
    EXPECT_EQ(bounced.error().localizedDescription, named);

    ServiceResult<PlayheadMove> moved = goToLogicPlayheadSMPTESeconds(l.driving, 3600.0, 25.0, false);
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().code, kMoveDialogMissing);
    EXPECT_EQ(moved.error().localizedDescription, named);

    EXPECT_TRUE(l.actionsRun.empty());
    EXPECT_TRUE(l.scripted.scripting.scripts.empty());
    EXPECT_TRUE(l.scripted.input.posted().empty());
    EXPECT_EQ(l.frontModal(), std::optional(alert)) << "a window the helper did not open was closed";
    EXPECT_EQ(l.cancelPresses, 0);
}

TEST_F(OperationFailures, ADialogWithoutTimecodeGroupsIsNotTypedInto)
{
    ScriptedLogic& l = *logic;
    l.onAction[kGoToPositionAction] = [&l] { l.openDialog("Go to Position", 1); };
    ServiceResult<PlayheadMove> moved = goToLogicPlayheadSMPTESeconds(l.driving, 3600.0, 25.0, false);
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().code, kMoveDialogMissing);
    EXPECT_EQ(moved.error().localizedDescription, "Logic shows \"Go to Position\" (AXWindow/AXDialog) instead of Go to Position (move playhead); nothing was typed");
    EXPECT_TRUE(l.scripted.input.posted().empty());
    EXPECT_EQ(l.modalWindowsOpen(), 1u) << "a window that is not the operation's is left alone";
}

TEST_F(OperationFailures, PlacementFailuresAnswerTheirCodeAndLeaveNoDialog)
{
    struct Case {
        const char* name;
        LoseFrontAt loseFront;
        std::optional<int> failingScript;
        std::int64_t code;
        std::string message;
        bool trackMade;
    };
    const Case cases[] = {
        { "another application in front from the start", LoseFrontAt::start, {}, kPlacementDialogMissing,
            "Logic is not the frontmost application; nothing was sent", false },
        { "the playhead script fails", LoseFrontAt::never, 1, kPlacementPlayheadNotSet, "Could not set playhead position", false },
        { "Logic loses the front once the dialog is up", LoseFrontAt::goToDialog, {}, kPlacementPlayheadNotSet,
            "Could not set playhead position (Logic is not the frontmost application; nothing more was typed)", false },
        { "Logic loses the front once the track name editor is up", LoseFrontAt::trackNameEditor, {}, kPlacementInputRefused,
            "A new track was made but not named (Logic is not the frontmost application; nothing was typed); nothing was placed", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLogic& l = fresh(c.loseFront, c.failingScript);

        ServiceResult<double> result = l.place();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().localizedDescription, c.message);
        EXPECT_TRUE(l.scripted.scripting.sentEvents.empty()) << "the file was sent";
        EXPECT_EQ(l.modalWindowsOpen(), 0u) << "a dialog the placement opened is left open";
        EXPECT_EQ(contains(l.actionsRun, kNewTrackAction), c.trackMade);
    }
}

TEST_F(OperationFailures, BounceStepOneFailuresLeaveNoDialog)
{
    struct Case {
        const char* name;
        LoseFrontAt loseFront;
        std::optional<int> failingScript;
        std::int64_t code;
        std::string message;
    };
    const Case cases[] = {
        { "another application in front from the start", LoseFrontAt::start, {}, kBounceGoToPositionMissing,
            "Logic is not the frontmost application; nothing was sent" },
        { "the playhead script fails", LoseFrontAt::never, 1, kBouncePlayheadNotSet, "Could not set Logic's playhead position." },
        { "Logic loses the front once the dialog is up", LoseFrontAt::goToDialog, {}, kBouncePlayheadNotSet,
            "Could not set Logic's playhead position. (Logic is not the frontmost application; nothing more was typed)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedLogic& l = fresh(c.loseFront, c.failingScript);

        ServiceResult<double> result = bounceGoToPosition(l.driving, 3600.0, false, 25.0, false);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, c.code);
        EXPECT_EQ(result.error().localizedDescription, c.message);
        EXPECT_EQ(l.modalWindowsOpen(), 0u) << "the Go to Position dialog is left open";
    }
}

} // namespace
} // namespace mq::logic
