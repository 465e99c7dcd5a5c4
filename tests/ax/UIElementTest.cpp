#include "ax/SystemWideElement.h"
#include "ax/UIElement.h"
#include "ax/ValuePacking.h"
#include "tests/support/ScriptedAccessibility.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mq::ax {
namespace {

using test::AXCall;
using test::ScriptedAccessibility;

class UIElementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        appRef = backend.addApplication(200);
        windowRef = backend.addWindow(appRef, "Song", "AXStandardWindow", false);
    }
    void TearDown() override { SystemWideElement::releaseShared(backend); }

    UIElement window() { return UIElement(backend, windowRef); }
    platform::CFValue lastWritten() const
    {
        auto calls = backend.calls();
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->call == AXCall::setAttributeValue)
                return it->argument;
        return {};
    }

    ScriptedAccessibility backend;
    platform::AXElementRef appRef;
    platform::AXElementRef windowRef;
};

TEST_F(UIElementTest, AMissingAttributeIsAbsentAndAQuitProcessFailsWithInvalidUIElement)
{
    EXPECT_EQ(window().attribute<std::string>(Attribute::document), std::nullopt);
    backend.quit(200);
    EXPECT_EQ(window().attribute<std::string>(Attribute::title), failure(-25202));
}

TEST_F(UIElementTest, AValueOfAnotherTypeIsAbsent)
{
    EXPECT_EQ(window().attribute<std::string>(Attribute::title), "Song");
    EXPECT_EQ(window().attribute<std::int64_t>(Attribute::title), std::nullopt);
    EXPECT_EQ(window().attribute<UIElement>(Attribute::title), std::nullopt);
    EXPECT_EQ(window().attribute<std::vector<UIElement>>(Attribute::title), std::nullopt);
}

TEST_F(UIElementTest, NumbersConvertWhenExactlyRepresented)
{
    struct Row {
        platform::CFValue stored;
        std::optional<bool> asBool;
        std::optional<std::int64_t> asInteger;
        std::optional<double> asDouble;
    };
    const Row rows[] = {
        { true, true, 1, 1.0 },
        { false, false, 0, 0.0 },
        { std::int64_t { 1 }, true, 1, 1.0 },
        { std::int64_t { 2 }, std::nullopt, 2, 2.0 },
        { 0.0, false, 0, 0.0 },
        { 2.5, std::nullopt, std::nullopt, 2.5 },
        { "1", std::nullopt, std::nullopt, std::nullopt },
    };
    for (const Row& row : rows) {
        backend.setAttribute(windowRef, "AXValue", row.stored);
        EXPECT_EQ(window().attribute<bool>(Attribute::value).value(), row.asBool);
        EXPECT_EQ(window().attribute<std::int64_t>(Attribute::value).value(), row.asInteger);
        EXPECT_EQ(window().attribute<double>(Attribute::value).value(), row.asDouble);
    }
}

TEST_F(UIElementTest, UnpacksElementsGeometryAndErrors)
{
    platform::AXElementRef child = backend.addChild(windowRef, "AXButton");
    backend.setAttribute(windowRef, "AXDefaultButton", child);
    backend.setAttribute(windowRef, "AXPosition", platform::AXValue(platform::CGPoint { 3, 4 }));
    backend.setAttribute(windowRef, "AXSize", platform::AXValue(platform::CGSize { 5, 6 }));
    backend.setAttribute(windowRef, "AXFrame", platform::AXValue(platform::CGRect { { 1, 2 }, { 3, 4 } }));
    backend.setAttribute(windowRef, "AXSelectedTextRange", platform::AXValue(platform::CFRange { 7, 8 }));
    backend.setAttribute(windowRef, "AXValue", platform::AXValue(platform::AXValueError { -25204 }));
    backend.setAttribute(windowRef, "AXHelp", platform::AXValue(platform::AXValueOpaque { 99 }));

    std::optional<UIElement> button = window().attribute<UIElement>(Attribute::defaultButton).value();
    ASSERT_TRUE(button.has_value());
    EXPECT_EQ(button->element(), child);
    EXPECT_EQ(*button, UIElement(backend, child)); // a new object for the same element is equal
    EXPECT_EQ(button->attribute<std::string>(Attribute::role), "AXButton");
    EXPECT_EQ(button->messagingTimeout(), 0.0f);
    EXPECT_EQ(window().attribute<platform::CGPoint>(Attribute::position), (platform::CGPoint { 3, 4 }));
    EXPECT_EQ(window().attribute<platform::CGSize>(Attribute::size), (platform::CGSize { 5, 6 }));
    EXPECT_EQ(window().attribute<platform::CGRect>(Attribute::frame), (platform::CGRect { { 1, 2 }, { 3, 4 } }));
    EXPECT_EQ(window().attribute<platform::CFRange>(Attribute::selectedTextRange), (platform::CFRange { 7, 8 }));
    // An error inside a value is a value, not a failure.
    EXPECT_EQ(window().attribute<AXError>(Attribute::value), AXError(-25204));
    EXPECT_EQ(window().attribute<platform::AXValueOpaque>(Attribute::help), (platform::AXValueOpaque { 99 }));
    EXPECT_EQ(window().attribute<std::vector<UIElement>>(Attribute::children), (std::vector<UIElement> { *button }));
}

TEST_F(UIElementTest, WritingPacksGeometryAndElementsAndPassesOtherValues)
{
    platform::AXElementRef other = backend.addElement(200);
    backend.setAttribute(windowRef, "AXPosition", platform::AXValue(platform::CGPoint {}));
    backend.setSettable(windowRef, "AXPosition", true);

    struct Row {
        Value written;
        platform::CFValue sent;
    };
    const Row rows[] = {
        { platform::CGPoint { 10, 20 }, platform::AXValue(platform::CGPoint { 10, 20 }) },
        { platform::CGSize { 1, 2 }, platform::AXValue(platform::CGSize { 1, 2 }) },
        { platform::CGRect { { 1, 2 }, { 3, 4 } }, platform::AXValue(platform::CGRect { { 1, 2 }, { 3, 4 } }) },
        { platform::CFRange { 5, 6 }, platform::AXValue(platform::CFRange { 5, 6 }) },
        { UIElement(backend, other), other },
        { "text", "text" },
        { true, true },
        { 2.5, 2.5 },
        { ValueArray { UIElement(backend, other), platform::CGPoint { 1, 1 } },
            platform::CFArray { other, platform::AXValue(platform::CGPoint { 1, 1 }) } },
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(window().setAttribute(Attribute::position, row.written));
        EXPECT_EQ(lastWritten(), row.sent);
        EXPECT_EQ(backend.storedAttribute(windowRef, "AXPosition"), row.sent);
    }
}

TEST_F(UIElementTest, PackAndUnpackAreInverse)
{
    const Value values[] = { platform::CGPoint { 1, 2 }, platform::CFRange { 3, 4 }, UIElement(backend, windowRef), "x",
        std::int64_t { 5 }, AXError(-25212), ValueDictionary { { "k", platform::CGSize { 1, 1 } } } };
    for (const Value& value : values)
        EXPECT_EQ(unpack(backend, pack(value)), value);
}

TEST_F(UIElementTest, GetMultipleAttributesLeavesOutNullsAndNoValueEntries)
{
    backend.setAttributeWithoutValue(windowRef, "AXDocument");
    std::map<Attribute, Value> values
        = window().getMultipleAttributes(Attribute::title, Attribute::document, Attribute::description, Attribute::modal).value();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values.at(Attribute::title), Value("Song"));
    EXPECT_EQ(values.at(Attribute::modal), Value(false));

    std::map<std::string, Value> byName = window().getMultipleAttributes(std::vector<std::string> { "AXTitle", "AXBogus" }).value();
    ASSERT_EQ(byName.size(), 1u);
    EXPECT_EQ(byName.at("AXTitle"), Value("Song"));

    // One call for every name, with options 0.
    auto calls = backend.calls();
    EXPECT_EQ(backend.count(AXCall::copyMultipleAttributeValues), 2u);
    EXPECT_EQ(calls.back().argument, (platform::CFValue(platform::CFArray { "AXTitle", "AXBogus", std::int64_t { 0 } })));
}

TEST_F(UIElementTest, ArrayAttributeFailsWithIllegalArgumentForANonList)
{
    EXPECT_EQ(window().arrayAttribute<std::string>(Attribute::title), failure(-25201));
    EXPECT_EQ(window().arrayAttribute<std::string>(Attribute::document), std::nullopt);
    // Entries of another type: absent.
    EXPECT_EQ(window().arrayAttribute<std::string>(Attribute::children), std::nullopt);
}

TEST_F(UIElementTest, ValuesForAttributeTakesARange)
{
    platform::AXElementRef a = backend.addChild(windowRef, "AXButton");
    platform::AXElementRef b = backend.addChild(windowRef, "AXButton");
    platform::AXElementRef c = backend.addChild(windowRef, "AXButton");
    auto middle = window().valuesForAttribute<UIElement>(Attribute::children, 1, 1).value();
    ASSERT_TRUE(middle.has_value());
    EXPECT_EQ(*middle, (std::vector<UIElement> { UIElement(backend, b) }));
    EXPECT_EQ(window().valueCountForAttribute(Attribute::children), 3);
    EXPECT_EQ(window().valuesForAttribute<UIElement>(Attribute::children, 0, 10).value()->size(), 3u);
    (void)a;
    (void)c;
}

TEST_F(UIElementTest, AttributesPrintsUnrecognizedNamesAndReturnsTheOthers)
{
    backend.setAttribute(windowRef, "AXBogusThing", 1);
    ::testing::internal::CaptureStdout();
    std::vector<Attribute> attributes = window().attributes().value();
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "Unrecognized attribute: AXBogusThing\n");
    EXPECT_EQ(attributes,
        (std::vector<Attribute> { Attribute::role, Attribute::parent, Attribute::title, Attribute::subrole, Attribute::modal }));
}

TEST_F(UIElementTest, NameListsDropEntriesThatAreNotStrings)
{
    backend.setAttribute(windowRef, "AXTitle", "x");
    // Action names: unknown ones are skipped without a word.
    backend.addAction(windowRef, "AXPress");
    backend.addAction(windowRef, "AXCustomThing");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(window().actions(), (std::vector<Action> { Action::press }));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(window().actionsAsStrings(), (std::vector<std::string> { "AXPress", "AXCustomThing" }));
}

TEST_F(UIElementTest, PerformActionNamesTheAction)
{
    bool pressed = false;
    backend.addAction(windowRef, "AXPress", {}, 0, [&] { pressed = true; });
    EXPECT_TRUE(window().performAction(Action::press));
    EXPECT_TRUE(pressed);
    EXPECT_EQ(backend.count(AXCall::performAction, "AXPress"), 1u);
    EXPECT_EQ(window().actionDescription(Action::press), std::nullopt); // listed, no description: -25212
    EXPECT_EQ(window().actionDescription("AXNothing"), std::nullopt); // -25206
}

TEST_F(UIElementTest, AttributeIsSupportedAndSettable)
{
    backend.setAttributeWithoutValue(windowRef, "AXChildren");
    EXPECT_EQ(window().attributeIsSupported(Attribute::children), true); // -25212 counts as supported
    EXPECT_EQ(window().attributeIsSupported(Attribute::rows), false);
    EXPECT_EQ(window().attributeIsSettable(Attribute::title), false);
    backend.setSettable(windowRef, "AXTitle", true);
    EXPECT_EQ(window().attributeIsSettable("AXTitle"), true);
}

struct TimeoutRow {
    float set;
    float stored;
};

TEST_F(UIElementTest, MessagingTimeoutStoresZeroForZeroOrBelow)
{
    const TimeoutRow rows[] = { { -3.0f, 0.0f }, { 0.0f, 0.0f }, { 2.5f, 2.5f }, { NAN, 0.0f }, { 0.001f, 0.001f } };
    for (const TimeoutRow& row : rows) {
        UIElement element = window();
        ASSERT_TRUE(element.setMessagingTimeout(row.set));
        EXPECT_EQ(element.messagingTimeout(), row.stored) << row.set;
        EXPECT_EQ(backend.messagingTimeoutOf(windowRef), row.stored) << row.set;
    }
}

TEST_F(UIElementTest, MessagingTimeoutIsSharedByCopiesAndAFailureOtherThanInvalidLeavesItUnchanged)
{
    UIElement element = window();
    UIElement copy = element;
    ASSERT_TRUE(element.setMessagingTimeout(4.0f));
    EXPECT_EQ(copy.messagingTimeout(), 4.0f);
    EXPECT_EQ(window().messagingTimeout(), 0.0f); // a new object starts at 0

    backend.failCall(AXCall::setMessagingTimeout, -25204);
    EXPECT_EQ(element.setMessagingTimeout(1.0f).error(), AXError(-25204));
    EXPECT_EQ(element.messagingTimeout(), 4.0f);
}

TEST_F(UIElementTest, GlobalMessagingTimeoutLivesOnTheSharedSystemWideElement)
{
    EXPECT_EQ(UIElement::globalMessagingTimeout(backend), 0.0f);
    ASSERT_TRUE(UIElement::setGlobalMessagingTimeout(backend, 1.5f));
    EXPECT_EQ(UIElement::globalMessagingTimeout(backend), 1.5f);
    EXPECT_EQ(SystemWideElement::shared(backend).messagingTimeout(), 1.5f);
    EXPECT_EQ(backend.messagingTimeoutOf(platform::AXElementRef { 0, 0, true }), 1.5f);
    EXPECT_EQ(backend.count(AXCall::createSystemWide), 1u); // made once, lazily

    // Another backend has its own shared element.
    ScriptedAccessibility other;
    EXPECT_EQ(UIElement::globalMessagingTimeout(other), 0.0f);
    SystemWideElement::releaseShared(other);
}

TEST_F(UIElementTest, ElementAtPositionAndPid)
{
    EXPECT_EQ(UIElement(backend, appRef).elementAtPosition(1, 2), std::nullopt);
    backend.setElementAtPosition(windowRef);
    EXPECT_EQ(UIElement(backend, appRef).elementAtPosition(1, 2), window());
    EXPECT_EQ(backend.calls().back().argument, platform::CFValue(platform::CGPoint { 1, 2 }));
    EXPECT_EQ(window().pid(), 200);
}

TEST_F(UIElementTest, DebugDescription)
{
    EXPECT_EQ(UIElement(backend, appRef).debugDescription(), "UIElement(application 200)");
    EXPECT_EQ(window().debugDescription(), "UIElement(pid 200, element " + std::to_string(windowRef.token) + ")");
    EXPECT_EQ(SystemWideElement(backend).debugDescription(), "UIElement(system-wide)");
}

} // namespace
} // namespace mq::ax
