// Every operation of the accessibility layer against every status code: which
// codes give an absent result, which are ignored, and which are thrown.
#include "ax/Application.h"
#include "ax/Observer.h"
#include "ax/SystemWideElement.h"
#include "tests/support/ScriptedAccessibility.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace mq::ax {
namespace {

using test::AXCall;
using test::ScriptedAccessibility;

struct World {
    ScriptedAccessibility backend;
    platform::AXElementRef appRef;
    platform::AXElementRef windowRef;
    platform::AXElementRef buttonRef;

    World()
    {
        appRef = backend.addApplication(100);
        windowRef = backend.addWindow(appRef, "Project", "AXStandardWindow", false);
        buttonRef = backend.addChild(windowRef, "AXButton");
        backend.setAttribute(windowRef, "AXPosition", platform::AXValue(platform::CGPoint { 10, 20 }));
        backend.setSettable(windowRef, "AXPosition", true);
        backend.addAction(windowRef, "AXRaise", std::string("raise"));
        backend.setParameterizedAttribute(windowRef, "AXStringForRangeParameterized",
            [](const platform::CFValue&) { return platform::CFValue("text"); });
        backend.setElementAtPosition(buttonRef);
    }
    ~World() { SystemWideElement::releaseShared(backend); }

    Application app() { return Application(backend, 100); }
    UIElement window() { return UIElement(backend, windowRef); }
};

struct Outcome {
    enum class Kind { value, absent, thrown };
    Kind kind;
    platform::AXErrorCode code { 0 };
};

/// Runs `operation`, which says whether it gave a value.
Outcome outcomeOf(const std::function<bool()>& operation)
{
    try {
        return operation() ? Outcome { Outcome::Kind::value } : Outcome { Outcome::Kind::absent };
    } catch (const AXError& error) {
        return Outcome { Outcome::Kind::thrown, error.code() };
    }
}

struct OperationRow {
    const char* name;
    AXCall call;
    /// The fault is injected for this name only (an entry of a multiple read).
    std::optional<std::string> faultName;
    std::set<platform::AXErrorCode> absentCodes;
    /// Non-zero codes that still count as a value (ignored or read as "yes").
    std::set<platform::AXErrorCode> valueCodes;
    std::function<bool(World&)> run;
};

const std::vector<OperationRow>& operations()
{
    static const std::vector<OperationRow> rows = {
        { "attribute", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) { return w.window().attribute<std::string>(Attribute::title).has_value(); } },
        { "attributeByString", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) { return w.window().attribute<std::string>("AXTitle").has_value(); } },
        { "windows", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {}, [](World& w) { return w.app().windows().has_value(); } },
        { "setAttribute", AXCall::setAttributeValue, {}, {}, {},
            [](World& w) {
                w.window().setAttribute(Attribute::position, platform::CGPoint { 1, 2 });
                return true;
            } },
        { "performAction", AXCall::performAction, {}, {}, {},
            [](World& w) {
                w.window().performAction(Action::raise);
                return true;
            } },
        { "attributesAsStrings", AXCall::copyAttributeNames, {}, { -25212, -25205 }, {},
            [](World& w) { return !w.window().attributesAsStrings().empty(); } },
        { "attributes", AXCall::copyAttributeNames, {}, { -25212, -25205 }, {}, [](World& w) { return !w.window().attributes().empty(); } },
        { "parameterizedAttributesAsStrings", AXCall::copyParameterizedAttributeNames, {}, { -25212, -25205 }, {},
            [](World& w) { return !w.window().parameterizedAttributesAsStrings().empty(); } },
        { "parameterizedAttributes", AXCall::copyParameterizedAttributeNames, {}, { -25212, -25205 }, {},
            [](World& w) { return !w.window().parameterizedAttributes().empty(); } },
        { "actionsAsStrings", AXCall::copyActionNames, {}, { -25212, -25205 }, {},
            [](World& w) { return !w.window().actionsAsStrings().empty(); } },
        { "actions", AXCall::copyActionNames, {}, { -25212, -25205 }, {}, [](World& w) { return !w.window().actions().empty(); } },
        { "attributeIsSupported", AXCall::copyAttributeValues, {}, { -25205 }, { -25212 },
            [](World& w) { return w.window().attributeIsSupported(Attribute::children); } },
        { "attributeIsSettable", AXCall::isAttributeSettable, {}, { -25212, -25205 }, {},
            [](World& w) { return w.window().attributeIsSettable(Attribute::position); } },
        { "getMultipleAttributes", AXCall::copyMultipleAttributeValues, {}, {}, {},
            [](World& w) { return w.window().getMultipleAttributes(Attribute::title, Attribute::role).size() == 2; } },
        { "getMultipleAttributesEntry", AXCall::copyMultipleAttributeValues, std::string("AXTitle"), { -25212, -25205 }, {},
            [](World& w) { return w.window().getMultipleAttributes(Attribute::title, Attribute::role).contains(Attribute::title); } },
        { "arrayAttribute", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) { return w.window().arrayAttribute<UIElement>(Attribute::children).has_value(); } },
        { "valuesForAttribute", AXCall::copyAttributeValues, {}, { -25212, -25205 }, {},
            [](World& w) { return w.window().valuesForAttribute<UIElement>(Attribute::children, 0, 5).has_value(); } },
        { "valueCountForAttribute", AXCall::getAttributeValueCount, {}, { -25205, -25201 }, {},
            [](World& w) { return w.window().valueCountForAttribute(Attribute::children).has_value(); } },
        { "parameterizedAttribute", AXCall::copyParameterizedAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) {
                return w.window()
                    .parameterizedAttribute<std::string>(Attribute::stringForRangeParameterized, platform::CFRange { 0, 4 })
                    .has_value();
            } },
        { "actionDescription", AXCall::copyActionDescription, {}, { -25206, -25212 }, {},
            [](World& w) { return w.window().actionDescription(Action::raise).has_value(); } },
        { "pid", AXCall::getPid, {}, {}, {}, [](World& w) { return w.window().pid() == 100; } },
        { "elementAtPosition", AXCall::copyElementAtPosition, {}, { -25212 }, {},
            [](World& w) { return w.app().elementAtPosition(5, 5).has_value(); } },
        { "setMessagingTimeout", AXCall::setMessagingTimeout, {}, {}, { -25202 },
            [](World& w) {
                UIElement window = w.window();
                window.setMessagingTimeout(2.5f);
                return window.messagingTimeout() == 2.5f;
            } },
        { "observerCreate", AXCall::observerCreate, {}, { -25202 }, {},
            [](World& w) { return Observer::create(w.app(), [](Observer&, const UIElement&, AXNotification) {}) != nullptr; } },
        { "observerAddNotification", AXCall::observerAddNotification, {}, {}, {},
            [](World& w) {
                auto observer = Observer::create(w.app(), [](Observer&, const UIElement&, AXNotification) {});
                observer->addNotification(AXNotification::windowCreated, w.app());
                return true;
            } },
        { "observerRemoveNotification", AXCall::observerRemoveNotification, {}, {}, {},
            [](World& w) {
                auto observer = Observer::create(w.app(), [](Observer&, const UIElement&, AXNotification) {});
                observer->addNotification(AXNotification::windowCreated, w.app());
                observer->removeNotification(AXNotification::windowCreated, w.app());
                return true;
            } },
    };
    return rows;
}

// Every code of the platform's table, and two it does not know.
constexpr platform::AXErrorCode kCodes[] = { 0, -25200, -25201, -25202, -25203, -25204, -25205, -25206, -25207, -25208, -25209,
    -25210, -25211, -25212, -25213, -25214, -1, 7 };

class StatusCodeMapping : public ::testing::TestWithParam<std::tuple<std::size_t, platform::AXErrorCode>> { };

TEST_P(StatusCodeMapping, GivesTheOutcomeOfItsRow)
{
    const auto& [rowIndex, code] = GetParam();
    const OperationRow& row = operations()[rowIndex];
    World world;
    if (code != 0)
        world.backend.failCall(row.call, code, std::nullopt, row.faultName);

    Outcome outcome = outcomeOf([&] { return row.run(world); });

    if (code == 0 || row.valueCodes.contains(code)) {
        EXPECT_EQ(outcome.kind, Outcome::Kind::value) << "code " << code << " thrown " << outcome.code;
    } else if (row.absentCodes.contains(code)) {
        EXPECT_EQ(outcome.kind, Outcome::Kind::absent) << "code " << code << " thrown " << outcome.code;
    } else {
        ASSERT_EQ(outcome.kind, Outcome::Kind::thrown) << "code " << code;
        EXPECT_EQ(outcome.code, code);
    }
    if (code != 0) {
        EXPECT_GE(world.backend.count(row.call), 1u) << "the fault was never reached";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryOperationAndCode, StatusCodeMapping,
    ::testing::Combine(::testing::Range<std::size_t>(0, operations().size()), ::testing::ValuesIn(kCodes)),
    [](const ::testing::TestParamInfo<StatusCodeMapping::ParamType>& param) {
        platform::AXErrorCode code = std::get<1>(param.param);
        return std::string(operations()[std::get<0>(param.param)].name) + "_" + (code < 0 ? "minus" : "") + std::to_string(code < 0 ? -code : code);
    });

TEST(StatusCodeMapping, IsProcessTrustedNeverThrowsAndPassesThePromptFlag)
{
    ScriptedAccessibility backend;
    backend.setTrusted(false);
    EXPECT_FALSE(UIElement::isProcessTrusted(backend, true));
    backend.setTrusted(true);
    EXPECT_TRUE(UIElement::isProcessTrusted(backend, false));
    EXPECT_EQ(backend.trustChecks(), (std::vector<bool> { true, false }));
}

TEST(StatusCodeMapping, AnUntrustedCallerGetsAPIDisabledThrown)
{
    World world;
    world.backend.setTrusted(false);
    try {
        (void)world.window().attribute<std::string>(Attribute::title);
        FAIL() << "no throw";
    } catch (const AXError& error) {
        EXPECT_EQ(error.code(), -25211);
        EXPECT_EQ(error.description(), "AXError.APIDisabled");
    }
}

} // namespace
} // namespace mq::ax
