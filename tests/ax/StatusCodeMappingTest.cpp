// Every operation of the accessibility layer against the status codes that it
// treats differently: which codes give an absent result, which are ignored, and
// which fail.
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
    enum class Kind { value, absent, failed };
    Kind kind;
    platform::AXErrorCode code { 0 };
};

Outcome failedWith(const AXError& error)
{
    return Outcome { Outcome::Kind::failed, error.code() };
}

Outcome valueIf(bool present)
{
    return Outcome { present ? Outcome::Kind::value : Outcome::Kind::absent };
}

/// A read that may be absent: a value when the optional holds one.
template<typename T>
Outcome outcomeOf(const Result<std::optional<T>>& result)
{
    return result ? valueIf(result.value().has_value()) : failedWith(result.error());
}

/// A list: a value when it is not empty.
template<typename T>
Outcome outcomeOf(const Result<std::vector<T>>& result)
{
    return result ? valueIf(!result.value().empty()) : failedWith(result.error());
}

Outcome outcomeOf(const Result<bool>& result)
{
    return result ? valueIf(result.value()) : failedWith(result.error());
}

Outcome outcomeOf(const Result<void>& result)
{
    return result ? valueIf(true) : failedWith(result.error());
}

struct OperationRow {
    const char* name;
    AXCall call;
    /// The fault is injected for this name only (an entry of a multiple read).
    std::optional<std::string> faultName;
    std::set<platform::AXErrorCode> absentCodes;
    /// Non-zero codes that still count as a value (ignored or read as "yes").
    std::set<platform::AXErrorCode> valueCodes;
    std::function<Outcome(World&)> run;
};

const std::vector<OperationRow>& operations()
{
    auto noCallback = [](Observer&, const UIElement&, AXNotification) {};
    static const std::vector<OperationRow> rows = {
        { "attribute", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().attribute<std::string>(Attribute::title)); } },
        { "attributeByString", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().attribute<std::string>("AXTitle")); } },
        { "windows", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {}, [](World& w) { return outcomeOf(w.app().windows()); } },
        { "setAttribute", AXCall::setAttributeValue, {}, {}, {},
            [](World& w) { return outcomeOf(w.window().setAttribute(Attribute::position, platform::CGPoint { 1, 2 })); } },
        { "performAction", AXCall::performAction, {}, {}, {}, [](World& w) { return outcomeOf(w.window().performAction(Action::raise)); } },
        { "attributesAsStrings", AXCall::copyAttributeNames, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().attributesAsStrings()); } },
        { "attributes", AXCall::copyAttributeNames, {}, { -25212, -25205 }, {}, [](World& w) { return outcomeOf(w.window().attributes()); } },
        { "parameterizedAttributesAsStrings", AXCall::copyParameterizedAttributeNames, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().parameterizedAttributesAsStrings()); } },
        { "parameterizedAttributes", AXCall::copyParameterizedAttributeNames, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().parameterizedAttributes()); } },
        { "actionsAsStrings", AXCall::copyActionNames, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().actionsAsStrings()); } },
        { "actions", AXCall::copyActionNames, {}, { -25212, -25205 }, {}, [](World& w) { return outcomeOf(w.window().actions()); } },
        { "attributeIsSupported", AXCall::copyAttributeValues, {}, { -25205 }, { -25212 },
            [](World& w) { return outcomeOf(w.window().attributeIsSupported(Attribute::children)); } },
        { "attributeIsSettable", AXCall::isAttributeSettable, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().attributeIsSettable(Attribute::position)); } },
        { "getMultipleAttributes", AXCall::copyMultipleAttributeValues, {}, {}, {},
            [](World& w) {
                auto values = w.window().getMultipleAttributes(Attribute::title, Attribute::role);
                return values ? valueIf(values->size() == 2) : failedWith(values.error());
            } },
        { "getMultipleAttributesEntry", AXCall::copyMultipleAttributeValues, std::string("AXTitle"), { -25212, -25205 }, {},
            [](World& w) {
                auto values = w.window().getMultipleAttributes(Attribute::title, Attribute::role);
                return values ? valueIf(values->contains(Attribute::title)) : failedWith(values.error());
            } },
        { "arrayAttribute", AXCall::copyAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().arrayAttribute<UIElement>(Attribute::children)); } },
        { "valuesForAttribute", AXCall::copyAttributeValues, {}, { -25212, -25205 }, {},
            [](World& w) { return outcomeOf(w.window().valuesForAttribute<UIElement>(Attribute::children, 0, 5)); } },
        { "valueCountForAttribute", AXCall::getAttributeValueCount, {}, { -25205, -25201 }, {},
            [](World& w) { return outcomeOf(w.window().valueCountForAttribute(Attribute::children)); } },
        { "parameterizedAttribute", AXCall::copyParameterizedAttributeValue, {}, { -25212, -25205 }, {},
            [](World& w) {
                return outcomeOf(
                    w.window().parameterizedAttribute<std::string>(Attribute::stringForRangeParameterized, platform::CFRange { 0, 4 }));
            } },
        { "actionDescription", AXCall::copyActionDescription, {}, { -25206, -25212 }, {},
            [](World& w) { return outcomeOf(w.window().actionDescription(Action::raise)); } },
        { "pid", AXCall::getPid, {}, {}, {},
            [](World& w) {
                auto pid = w.window().pid();
                return pid ? valueIf(*pid == 100) : failedWith(pid.error());
            } },
        { "elementAtPosition", AXCall::copyElementAtPosition, {}, { -25212 }, {},
            [](World& w) { return outcomeOf(w.app().elementAtPosition(5, 5)); } },
        { "setMessagingTimeout", AXCall::setMessagingTimeout, {}, {}, { -25202 },
            [](World& w) {
                UIElement window = w.window();
                auto set = window.setMessagingTimeout(2.5f);
                return set ? valueIf(window.messagingTimeout() == 2.5f) : failedWith(set.error());
            } },
        { "observerCreate", AXCall::observerCreate, {}, { -25202 }, {},
            [noCallback](World& w) {
                auto observer = Observer::create(w.app(), noCallback);
                return observer ? valueIf(*observer != nullptr) : failedWith(observer.error());
            } },
        { "observerAddNotification", AXCall::observerAddNotification, {}, {}, {},
            [noCallback](World& w) {
                auto observer = Observer::create(w.app(), noCallback).value();
                return outcomeOf(observer->addNotification(AXNotification::windowCreated, w.app()));
            } },
        { "observerRemoveNotification", AXCall::observerRemoveNotification, {}, {}, {},
            [noCallback](World& w) {
                auto observer = Observer::create(w.app(), noCallback).value();
                EXPECT_TRUE(observer->addNotification(AXNotification::windowCreated, w.app()));
                return outcomeOf(observer->removeNotification(AXNotification::windowCreated, w.app()));
            } },
    };
    return rows;
}

/// The cases worth running for each operation: success, each code that the
/// operation treats specially, and one code that it does not. Every other code of
/// the platform's table takes the same path as that last one (a failure carrying
/// the code): -25202 (the element is gone) is the failure met in practice, and
/// -25204 stands in where -25202 is itself special.
std::vector<std::pair<std::size_t, platform::AXErrorCode>> cases()
{
    std::vector<std::pair<std::size_t, platform::AXErrorCode>> result;
    for (std::size_t row = 0; row < operations().size(); ++row) {
        const OperationRow& operation = operations()[row];
        std::set<platform::AXErrorCode> codes { 0 };
        codes.insert(operation.absentCodes.begin(), operation.absentCodes.end());
        codes.insert(operation.valueCodes.begin(), operation.valueCodes.end());
        codes.insert(codes.contains(-25202) ? -25204 : -25202);
        for (platform::AXErrorCode code : codes)
            result.emplace_back(row, code);
    }
    return result;
}

class StatusCodeMapping : public ::testing::TestWithParam<std::pair<std::size_t, platform::AXErrorCode>> { };

Outcome runWithFault(const OperationRow& row, platform::AXErrorCode code, World& world)
{
    if (code != 0)
        world.backend.failCall(row.call, code, std::nullopt, row.faultName);
    return row.run(world);
}

TEST_P(StatusCodeMapping, GivesTheOutcomeOfItsRow)
{
    const auto& [rowIndex, code] = GetParam();
    const OperationRow& row = operations()[rowIndex];
    World world;

    Outcome outcome = runWithFault(row, code, world);

    if (code == 0 || row.valueCodes.contains(code)) {
        EXPECT_EQ(outcome.kind, Outcome::Kind::value) << "code " << code << " failed with " << outcome.code;
    } else if (row.absentCodes.contains(code)) {
        EXPECT_EQ(outcome.kind, Outcome::Kind::absent) << "code " << code << " failed with " << outcome.code;
    } else {
        ASSERT_EQ(outcome.kind, Outcome::Kind::failed) << "code " << code;
        EXPECT_EQ(outcome.code, code);
    }
    if (code != 0) {
        EXPECT_GE(world.backend.count(row.call), 1u) << "the fault was never reached";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, StatusCodeMapping, ::testing::ValuesIn(cases()),
    [](const ::testing::TestParamInfo<StatusCodeMapping::ParamType>& param) {
        platform::AXErrorCode code = param.param.second;
        return std::string(operations()[param.param.first].name) + "_" + (code < 0 ? "minus" : "") + std::to_string(code < 0 ? -code : code);
    });

TEST(StatusCodeMapping, EveryOtherCodeFailsWithItselfLikeTheRepresentativeOne)
{
    // The codes left out of the cases above, including two outside the platform's
    // table, on the commonest read: each fails carrying its own code.
    for (platform::AXErrorCode code : { -25200, -25201, -25203, -25204, -25206, -25207, -25208, -25209, -25210, -25211, -25213, -25214, -1, 7 }) {
        World world;
        Outcome outcome = runWithFault(operations()[0], code, world);
        EXPECT_EQ(outcome.kind, Outcome::Kind::failed) << code;
        EXPECT_EQ(outcome.code, code);
    }
}

TEST(StatusCodeMapping, IsProcessTrustedNeverFailsAndPassesThePromptFlag)
{
    ScriptedAccessibility backend;
    backend.setTrusted(false);
    EXPECT_FALSE(UIElement::isProcessTrusted(backend, true));
    backend.setTrusted(true);
    EXPECT_TRUE(UIElement::isProcessTrusted(backend, false));
    EXPECT_EQ(backend.trustChecks(), (std::vector<bool> { true, false }));
}

TEST(StatusCodeMapping, AnUntrustedCallerGetsAPIDisabled)
{
    World world;
    world.backend.setTrusted(false);
    auto title = world.window().attribute<std::string>(Attribute::title);
    ASSERT_FALSE(title.hasValue());
    EXPECT_EQ(title.error().code(), -25211);
    EXPECT_EQ(title.error().description(), "AXError.APIDisabled");
}

} // namespace
} // namespace mq::ax
