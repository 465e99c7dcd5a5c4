// The control-bar display: the word lists, the control-bar check, the display
// search, display modes, the display text and the control-bar state.
#include "logic/LogicApplication.h"
#include "tests/monitors/MonitorFixture.h"
#include "timecode/ControlBarDisplay.h"
#include "timecode/ControlBarState.h"
#include "timecode/LocalizedNames.h"

namespace mq::timecode {
namespace {

using monitors::testing::MonitorFixture;
using monitors::testing::SliderField;
using monitors::testing::timeSliders;
using platform::AXElementRef;
using test::AXCall;

class ControlBarDisplayTest : public MonitorFixture {
public:
    ax::UIElement element(const AXElementRef& ref) { return ax::UIElement(scripted.accessibility, ref); }
    std::vector<AXElementRef> refsOf(const std::vector<ax::UIElement>& elements)
    {
        std::vector<AXElementRef> out;
        for (const ax::UIElement& e : elements)
            out.push_back(e.element());
        return out;
    }
};

// Lower-casing covers the scripts of the word lists that have case.

struct LowercaseRow {
    const char* text;
    const char* lowered;
};

class Lowercase : public ::testing::TestWithParam<LowercaseRow> {};

TEST_P(Lowercase, LowersTheLettersOfTheWordLists)
{
    EXPECT_EQ(lowercased(GetParam().text), GetParam().lowered);
}

INSTANTIATE_TEST_SUITE_P(Texts, Lowercase,
    ::testing::Values(LowercaseRow { "Control Bar", "control bar" }, LowercaseRow { "ÉCHANTILLONS", "échantillons" },
        LowercaseRow { "Ÿ Ł Ž İ", "ÿ ł ž i" }, LowercaseRow { "コントロールバー", "コントロールバー" }, LowercaseRow { "제어 막대", "제어 막대" },
        LowercaseRow { "QUART D’IMAGE", "quart d’image" }, LowercaseRow { "×÷", "×÷" }, LowercaseRow { "\xff\xfe" "A", "\xff\xfe" "a" }));

TEST(WordLists, AreLoweredOnceAndKept)
{
    std::span<const std::string> first = loweredHourNames();
    EXPECT_EQ(first.data(), loweredHourNames().data());
    EXPECT_EQ(first.size(), 7u);
    EXPECT_EQ(first[0], "hour");
    EXPECT_EQ(loweredControlBarNames()[1], "steuerungsleiste");
    EXPECT_EQ(loweredSecondFractionNames()[2], "sekundenbruchteil");
    EXPECT_EQ(loweredControlBarStateSampleNames().size(), 9u);
}

// isControlBarGroup: description, title, help, in that order; failed reads skipped.

struct ControlBarRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::optional<std::string> failingAttribute; // read answers -25204
    bool expected;
};

class IsControlBarGroup : public ControlBarDisplayTest, public ::testing::WithParamInterface<ControlBarRow> {};

TEST_P(IsControlBarGroup, MatchesTheControlBarNames)
{
    scene.startLogic();
    AXElementRef group = scripted.accessibility.addChild(scene.addWindow("w"), "AXGroup");
    for (const auto& [name, value] : GetParam().attributes)
        scripted.accessibility.setAttribute(group, name, value);
    if (GetParam().failingAttribute)
        scripted.accessibility.failCall(AXCall::copyAttributeValue, -25204, group, *GetParam().failingAttribute);
    EXPECT_EQ(isControlBarGroup(element(group)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IsControlBarGroup,
    ::testing::Values(ControlBarRow { "English", { { "AXDescription", "Control Bar" } }, {}, true },
        ControlBarRow { "German", { { "AXDescription", "Steuerungsleiste" } }, {}, true },
        ControlBarRow { "FrenchMixedCase", { { "AXDescription", "BARRE DES Commandes" } }, {}, true },
        ControlBarRow { "Japanese", { { "AXTitle", "コントロールバー" } }, {}, true },
        ControlBarRow { "ChineseInHelp", { { "AXHelp", "这是控制栏" } }, {}, true },
        ControlBarRow { "ContainedInLongerText", { { "AXDescription", "Main Control Bar Area" } }, {}, true },
        ControlBarRow { "TitleAfterFailingDescription", { { "AXDescription", "Control Bar" }, { "AXTitle", "Barra de controles" } },
            "AXDescription", true },
        ControlBarRow { "OnlyDescriptionAndItFails", { { "AXDescription", "Control Bar" } }, "AXDescription", false },
        ControlBarRow { "Toolbar", { { "AXDescription", "Toolbar" }, { "AXTitle", "Tracks" } }, {}, false },
        ControlBarRow { "NothingToRead", {}, {}, false }),
    [](const auto& info) { return info.param.name; });

// ControlBarDisplay::find

TEST_F(ControlBarDisplayTest, SlidersFollowTheScreenNotTheAccessibilityOrder)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("w");
    AXElementRef group = scene.addGroup(window);
    // Listed frames first, but placed left to right from the hours.
    std::vector<AXElementRef> sliders = scene.addSliders(group,
        { { "Frame", "12", 400 }, { "Second", "00", 300 }, { "Hour", "01", 100 }, { "Minute", "00", 200 } });
    std::optional<ControlBarDisplay> found = ControlBarDisplay::find(element(window));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->group(), element(group));
    EXPECT_EQ(refsOf(found->fields()), (std::vector<AXElementRef> { sliders[2], sliders[3], sliders[1], sliders[0] }));
    EXPECT_EQ(found->text(), "01:00:00:12");
    EXPECT_DOUBLE_EQ(found->seconds(25).value_or(0), 3600.48);
}

TEST_F(ControlBarDisplayTest, ASliderWithoutAPositionCountsAsLeftmost)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("w");
    AXElementRef group = scene.addGroup(window);
    std::vector<AXElementRef> sliders = scene.addSliders(group, { { "Minute", "00", 20 }, { "Hour", "01", 10 }, { "Second", "00", 30 } });
    scripted.accessibility.removeAttribute(sliders[1], "AXPosition");
    std::optional<ControlBarDisplay> found = ControlBarDisplay::find(element(window));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->fields().front().element(), sliders[1]);
}

TEST_F(ControlBarDisplayTest, AThreeFieldDisplayIsFoundButNotRead)
{
    // One rule finds the display for the state request and for reading; the
    // readers then decline a display of fewer than four fields.
    scene.startLogic();
    AXElementRef window = scene.addWindow("w");
    scene.addSliders(scene.addGroup(window), { { "Hour", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 } });
    std::optional<ControlBarDisplay> found = ControlBarDisplay::find(element(window));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->fieldCount(), 3u);
    EXPECT_FALSE(found->isReadable());
    EXPECT_EQ(found->text(), std::nullopt);
    EXPECT_EQ(found->seconds(25), std::nullopt);
    EXPECT_EQ(ControlBarDisplay::locate(logic::logicApplicationElement(scripted.platform)), found);
}

TEST_F(ControlBarDisplayTest, LocateSearchesLogicsWindowsInOrder)
{
    EXPECT_EQ(ControlBarDisplay::locate(logic::logicApplicationElement(scripted.platform)), std::nullopt); // Logic not running
    scene.startLogic();
    scene.addGroup(scene.addWindow("Mixer"), std::string("Mixer"));
    scene.addProjectWithDisplay();
    std::optional<ControlBarDisplay> found = ControlBarDisplay::locate(logic::logicApplicationElement(scripted.platform));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->group(), element(scene.displayGroup));
    scripted.accessibility.setTrusted(false);
    EXPECT_EQ(ControlBarDisplay::locate(logic::logicApplicationElement(scripted.platform)), std::nullopt);
}

struct SearchRow {
    const char* name;
    std::vector<SliderField> sliders;
    bool found;
};

class FindDisplay : public ControlBarDisplayTest, public ::testing::WithParamInterface<SearchRow> {};

TEST_P(FindDisplay, NeedsThreeSlidersLedByAnHourField)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("w");
    scene.addSliders(scene.addGroup(scene.addGroup(window)), GetParam().sliders);
    EXPECT_EQ(ControlBarDisplay::find(element(window)).has_value(), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Cases, FindDisplay,
    ::testing::Values(SearchRow { "FourFields", timeSliders(), true },
        SearchRow { "ThreeFields", { { "Hour", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 } }, true },
        SearchRow { "TwoFields", { { "Hour", "01", 1 }, { "Minute", "00", 2 } }, false },
        SearchRow { "German", { { "Stunde", "01", 1 }, { "Minute", "00", 2 }, { "Sekunde", "00", 3 }, { "Bild", "00", 4 } }, true },
        SearchRow { "Korean", { { "시간", "01", 1 }, { "분", "00", 2 }, { "초", "00", 3 }, { "프레임", "00", 4 } }, true },
        SearchRow { "HoursInLongerText", { { "Hours field", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 } }, true },
        SearchRow { "BarsAndBeats", { { "Bar", "1", 1 }, { "Beat", "1", 2 }, { "Division", "1", 3 }, { "Tick", "1", 4 } }, false },
        SearchRow { "HourNotFirstOnScreen", { { "Hour", "01", 50 }, { "Minute", "00", 2 }, { "Second", "00", 3 } }, false }),
    [](const auto& info) { return info.param.name; });

TEST_F(ControlBarDisplayTest, TheSearchExaminesAtMost6000Elements)
{
    scene.startLogic();
    for (std::size_t filler : { 5998u, 5999u }) {
        AXElementRef window = scene.addWindow("w");
        // The display group is pushed first, so it is examined last: after the
        // window and every filler element.
        AXElementRef group = scene.addGroup(window);
        scene.addSliders(group, timeSliders());
        for (std::size_t i = 0; i < filler; ++i)
            scripted.accessibility.addChild(window, "AXStaticText");
        EXPECT_EQ(ControlBarDisplay::find(element(window)).has_value(), filler == 5998u) << filler << " filler elements";
    }
}

TEST_F(ControlBarDisplayTest, TheSearchReadsEachElementOnceInOneCall)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("w");
    AXElementRef group = scene.addGroup(window);
    for (int i = 0; i < 3; ++i)
        scripted.accessibility.addChild(group, "AXStaticText");
    scripted.accessibility.addChild(window, "AXStaticText");
    scripted.accessibility.clearCalls();
    EXPECT_FALSE(ControlBarDisplay::find(element(window)));
    // The window, its two children and the group's three: the group check reads
    // the three, and examining them afterwards does not read them again.
    EXPECT_EQ(scripted.accessibility.count(AXCall::copyMultipleAttributeValues), 6u);
    EXPECT_EQ(scripted.accessibility.count(AXCall::copyAttributeValue), 0u);
}

// A failure inside the multiple read costs only the value that failed; a failed
// call costs the element, which then counts as having no children.

struct SearchFaultRow {
    const char* name;
    std::optional<std::string> failingEntry; // nothing: the whole call on `target` fails
    bool onFirstSlider;
    bool found;
};

class SearchFault : public ControlBarDisplayTest, public ::testing::WithParamInterface<SearchFaultRow> {};

TEST_P(SearchFault, CostsOnlyWhatFailed)
{
    scene.startLogic();
    AXElementRef window = scene.addWindow("w");
    AXElementRef outer = scene.addGroup(window);
    std::vector<AXElementRef> sliders = scene.addSliders(scene.addGroup(outer), timeSliders());
    AXElementRef target = GetParam().onFirstSlider ? sliders[0] : outer;
    scripted.accessibility.failCall(AXCall::copyMultipleAttributeValues, -25204, target, GetParam().failingEntry);
    EXPECT_EQ(ControlBarDisplay::find(element(window)).has_value(), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Cases, SearchFault,
    ::testing::Values(SearchFaultRow { "RoleOfAnOuterGroup", std::string("AXRole"), false, true },
        SearchFaultRow { "DescriptionOfAnOuterGroup", std::string("AXDescription"), false, true },
        SearchFaultRow { "ChildrenOfAnOuterGroup", std::string("AXChildren"), false, false },
        SearchFaultRow { "WholeReadOfAnOuterGroup", std::nullopt, false, false },
        SearchFaultRow { "PositionOfTheHourSlider", std::string("AXPosition"), true, true },
        SearchFaultRow { "DescriptionOfTheHourSlider", std::string("AXDescription"), true, false },
        SearchFaultRow { "WholeReadOfTheHourSlider", std::nullopt, true, false }),
    [](const auto& info) { return info.param.name; });

// ControlBarDisplay::mode

struct ModeRow {
    const char* name;
    std::size_t count;
    std::optional<std::string> fifth;
    DisplayMode mode;
};

class Mode : public ControlBarDisplayTest, public ::testing::WithParamInterface<ModeRow> {};

TEST_P(Mode, FollowsTheFieldCountAndTheFifthField)
{
    const ModeRow& row = GetParam();
    scene.startLogic();
    AXElementRef group = scene.addGroup(scene.addWindow("w"));
    std::vector<SliderField> fields = timeSliders();
    fields.push_back({ "Extra", "00", 50 });
    fields.push_back({ "More", "00", 60 });
    fields.resize(row.count, SliderField { "Hour", "01", 0 });
    std::vector<AXElementRef> sliders = scene.addSliders(group, fields);
    if (row.count >= 5) {
        if (row.fifth)
            scripted.accessibility.setAttribute(sliders[4], "AXDescription", *row.fifth);
        else
            scripted.accessibility.removeAttribute(sliders[4], "AXDescription");
    }
    std::optional<ControlBarDisplay> display = ControlBarDisplay::fromGroup(element(group));
    ASSERT_TRUE(display);
    EXPECT_EQ(display->mode(), row.mode);

    std::string debugLine = "scrub: unrecognised LCD sub-frame field '" + row.fifth.value_or("") + "' — display mode unknown";
    bool expectDebug = row.count >= 5 && row.fifth && row.mode == DisplayMode::unknown;
    EXPECT_EQ(linesExactly(debugLine, "helper.scrub"), expectDebug ? 1u : 0u);
    if (expectDebug) {
        EXPECT_EQ(levelOf(debugLine, "helper.scrub"), log::Level::debug);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Mode,
    ::testing::Values(ModeRow { "FourFields", 4, {}, DisplayMode::frames }, ModeRow { "Subframe", 5, "Subframe", DisplayMode::subframes },
        ModeRow { "QuarterFrame", 5, "Quarter Frame", DisplayMode::quarterFrames }, ModeRow { "Samples", 5, "Samples", DisplayMode::samples },
        ModeRow { "Bits", 5, "Bits", DisplayMode::unknown }, ModeRow { "FrenchSubframe", 5, "Sous-image", DisplayMode::subframes },
        ModeRow { "FrenchSamplesCapitalised", 5, "Échantillons", DisplayMode::samples },
        ModeRow { "JapaneseQuarterFrame", 5, "4分の1フレーム", DisplayMode::quarterFrames },
        ModeRow { "ItalianSamples", 5, "Campioni", DisplayMode::samples },
        // "quarter frame" is tried before "frame"-like subframe names.
        ModeRow { "QuarterSubframeTriesQuarterFirst", 5, "quarter-frame subframe", DisplayMode::quarterFrames },
        ModeRow { "UnreadableFifth", 5, std::nullopt, DisplayMode::unknown }, ModeRow { "ThreeFields", 3, {}, DisplayMode::unknown },
        // Only the first five fields on screen are kept: the fifth decides.
        ModeRow { "SixFieldsKeepFive", 6, "Subframe", DisplayMode::subframes }),
    [](const auto& info) { return info.param.name; });

// ControlBarDisplay::text and seconds

struct TextRow {
    const char* name;
    std::vector<SliderField> sliders;
    std::optional<std::string> text;
    std::optional<double> secondsAt25; // compared to within 4 ulps
};

class Text : public ControlBarDisplayTest, public ::testing::WithParamInterface<TextRow> {};

TEST_P(Text, JoinsTheFourFieldsAndANumericFifth)
{
    scene.startLogic();
    AXElementRef group = scene.addGroup(scene.addWindow("w"));
    scene.addSliders(group, GetParam().sliders);
    std::optional<ControlBarDisplay> display = ControlBarDisplay::fromGroup(element(group));
    ASSERT_TRUE(display);
    EXPECT_EQ(display->text(), GetParam().text);
    std::optional<double> seconds = display->seconds(25);
    ASSERT_EQ(seconds.has_value(), GetParam().secondsAt25.has_value());
    if (seconds) {
        EXPECT_DOUBLE_EQ(*seconds, *GetParam().secondsAt25);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Text,
    ::testing::Values(TextRow { "OneHourTwelveFrames", timeSliders({ "01", "00", "00", "12" }), "01:00:00:12", 3600.48 },
        TextRow { "NumericFifthShownButNotConverted",
            { { "Hour", "00", 1 }, { "Minute", "01", 2 }, { "Second", "02", 3 }, { "Frame", "05", 4 }, { "Subframe", " 79 ", 5 } },
            "00:01:02:05:79", 62.2 },
        TextRow { "OtherFifthLeftOut",
            { { "Hour", "00", 1 }, { "Minute", "01", 2 }, { "Second", "02", 3 }, { "Frame", "05", 4 }, { "Subframe", "--", 5 } },
            "00:01:02:05", 62.2 },
        TextRow { "UnreadableFifthLeftOut",
            { { "Hour", "00", 1 }, { "Minute", "01", 2 }, { "Second", "02", 3 }, { "Frame", "05", 4 }, { "Subframe", {}, 5 } },
            "00:01:02:05", 62.2 },
        TextRow { "UnreadableFrame", { { "Hour", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 }, { "Frame", {}, 4 } },
            std::nullopt, std::nullopt },
        TextRow { "ThreeFields", { { "Hour", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 } }, std::nullopt, std::nullopt },
        TextRow { "TextThatIsNoTime", timeSliders({ "01", "00", "--", "00" }), "01:00:--:00", std::nullopt }),
    [](const auto& info) { return info.param.name; });

// evaluateControlBarState

enum class Scene {
    notRunning,
    untrusted,
    noWindow,
    windowWithoutBar,
    english,
    german,
    japanese,
    displayOutsideBar,
    barsAndBeats,
    secondsFraction,
    samplesFourth,
    threeFields,
    displayInSecondWindow,
    hiddenBarOnlyDisplayElsewhere,
};

struct StateRow {
    const char* name;
    Scene scene;
    std::int64_t state;
};

class EvaluateControlBarState : public ControlBarDisplayTest, public ::testing::WithParamInterface<StateRow> {
public:
    void arrange(Scene which)
    {
        if (which == Scene::notRunning)
            return;
        scene.startLogic();
        auto barWithDisplay = [&](const std::string& barName, const std::vector<SliderField>& sliders) {
            AXElementRef window = scene.addWindow("Project");
            scene.addGroup(window, std::string("Tracks"));
            AXElementRef bar = scene.addGroup(window, barName);
            scene.addSliders(scene.addGroup(bar), sliders);
        };
        switch (which) {
        case Scene::notRunning:
        case Scene::noWindow:
            break;
        case Scene::untrusted:
            barWithDisplay("Control Bar", timeSliders());
            scripted.accessibility.setTrusted(false);
            break;
        case Scene::windowWithoutBar:
            scene.addGroup(scene.addWindow("Mixer"), std::string("Mixer"));
            break;
        case Scene::english:
            barWithDisplay("Control Bar", timeSliders());
            break;
        case Scene::german:
            barWithDisplay("Steuerungsleiste", { { "Stunde", "01", 1 }, { "Minute", "00", 2 }, { "Sekunde", "00", 3 }, { "Bild", "00", 4 } });
            break;
        case Scene::japanese:
            barWithDisplay("コントロールバー", { { "時", "01", 1 }, { "分", "00", 2 }, { "秒", "00", 3 }, { "フレーム", "00", 4 } });
            break;
        case Scene::displayOutsideBar: {
            AXElementRef window = scene.addWindow("Project");
            scene.addSliders(scene.addGroup(window), timeSliders());
            break;
        }
        case Scene::barsAndBeats:
            barWithDisplay("Control Bar", { { "Bar", "1", 1 }, { "Beat", "1", 2 }, { "Division", "1", 3 }, { "Tick", "1", 4 } });
            break;
        case Scene::secondsFraction:
            barWithDisplay("Control Bar", { { "Hour", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 }, { "Seconds Fraction", "480", 4 } });
            break;
        case Scene::samplesFourth:
            barWithDisplay("Control Bar", { { "Hour", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 }, { "Samples", "1234", 4 } });
            break;
        case Scene::threeFields:
            barWithDisplay("Control Bar", { { "Hour", "01", 1 }, { "Minute", "00", 2 }, { "Second", "00", 3 } });
            break;
        case Scene::displayInSecondWindow:
            scene.addGroup(scene.addWindow("Mixer"), std::string("Mixer"));
            barWithDisplay("Control Bar", timeSliders());
            break;
        case Scene::hiddenBarOnlyDisplayElsewhere: {
            // The control bar shows bars and beats; the display in the other window
            // is outside any control bar and is found by searching that window.
            barWithDisplay("Control Bar", { { "Bar", "1", 1 }, { "Beat", "1", 2 }, { "Division", "1", 3 } });
            scene.addSliders(scene.addGroup(scene.addWindow("Other")), timeSliders());
            break;
        }
        }
    }
};

TEST_P(EvaluateControlBarState, TellsWhetherThePositionCanBeRead)
{
    arrange(GetParam().scene);
    EXPECT_EQ(evaluateControlBarState(logic::logicApplicationElement(scripted.platform)), GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(Cases, EvaluateControlBarState,
    ::testing::Values(StateRow { "LogicNotRunning", Scene::notRunning, 4 }, StateRow { "AccessibilityDenied", Scene::untrusted, 4 },
        StateRow { "NoWindow", Scene::noWindow, 1 }, StateRow { "WindowWithoutBar", Scene::windowWithoutBar, 1 },
        StateRow { "English", Scene::english, 0 }, StateRow { "German", Scene::german, 0 }, StateRow { "Japanese", Scene::japanese, 0 },
        StateRow { "DisplayOutsideAnyBar", Scene::displayOutsideBar, 0 }, StateRow { "BarsAndBeats", Scene::barsAndBeats, 2 },
        StateRow { "SecondsFraction", Scene::secondsFraction, 3 }, StateRow { "SamplesInFourthField", Scene::samplesFourth, 3 },
        StateRow { "ThreeFields", Scene::threeFields, 3 }, StateRow { "DisplayInSecondWindow", Scene::displayInSecondWindow, 0 },
        StateRow { "DisplayInAnotherWindow", Scene::hiddenBarOnlyDisplayElsewhere, 0 }),
    [](const auto& info) { return info.param.name; });

TEST_F(ControlBarDisplayTest, TheBarIsSearchedInsteadOfItsWindow)
{
    // A display outside the control bar of a window that has one is not found.
    scene.startLogic();
    AXElementRef window = scene.addWindow("Project");
    scene.addGroup(window, std::string("Control Bar"));
    scene.addSliders(scene.addGroup(window), timeSliders());
    EXPECT_EQ(evaluateControlBarState(logic::logicApplicationElement(scripted.platform)), 2);
}

} // namespace
} // namespace mq::timecode
