#include "ax/AXNotification.h"
#include "ax/Action.h"
#include "ax/Attribute.h"
#include "ax/Orientation.h"
#include "ax/Role.h"
#include "ax/Subrole.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace mq::ax {
namespace {

TEST(NameEnumerations, HaveTheirCaseCounts)
{
    EXPECT_EQ(kAttributeCount, 158u);
    EXPECT_EQ(kRoleCount, 54u);
    EXPECT_EQ(kSubroleCount, 29u);
    EXPECT_EQ(kAXNotificationCount, 33u);
    EXPECT_EQ(kActionCount, 11u);
    EXPECT_EQ(allAttributes().size(), 158u);
    EXPECT_EQ(allRoles().size(), 54u);
    EXPECT_EQ(allSubroles().size(), 29u);
    EXPECT_EQ(allNotifications().size(), 33u);
    EXPECT_EQ(allActions().size(), 11u);
}

struct AttributeRaw {
    Attribute attribute;
    const char* raw;
};

// The rule's cases at both ends and in between, and its two exceptions.
constexpr AttributeRaw kAttributes[] = {
    { Attribute::role, "AXRole" },
    { Attribute::roleDescription, "AXRoleDescription" },
    { Attribute::topLevelUIElement, "AXTopLevelUIElement" },
    { Attribute::valueDescription, "AXValueDescription" },
    { Attribute::document, "AXDocument" },
    { Attribute::url, "AXURL" },
    { Attribute::lineForIndexParameterized, "AXLineForIndexParameterized" },
    { Attribute::rtfForRangeParameterized, "AXRTFForRangeParameterized" },
    { Attribute::attributedStringForRangeParameterized, "AXAttributedStringForRangeParameterized" },
    { Attribute::modal, "AXModal" },
    { Attribute::defaultButton, "AXDefaultButton" },
    { Attribute::windows, "AXWindows" },
    { Attribute::mainWindow, "AXMainWindow" },
    { Attribute::focusedWindow, "AXFocusedWindow" },
    { Attribute::identifier, "AXIdentifier" },
    { Attribute::childrenInNavigationOrder, "AXChildrenInNavigationOrder" },
};

TEST(Attribute, RawValuesFollowTheRuleAndItsExceptions)
{
    for (const AttributeRaw& entry : kAttributes) {
        EXPECT_EQ(rawValue(entry.attribute), entry.raw);
        EXPECT_EQ(attributeFromRawValue(entry.raw), entry.attribute) << entry.raw;
    }
    EXPECT_EQ(allAttributes().front(), Attribute::role);
    EXPECT_EQ(allAttributes().back(), Attribute::childrenInNavigationOrder);
    // The exceptions replace the rule's spelling; the rule's spelling is no case.
    EXPECT_FALSE(attributeFromRawValue("AXUrl").has_value());
    EXPECT_FALSE(attributeFromRawValue("AXRtfForRangeParameterized").has_value());
}

TEST(Role, RawValuesFollowTheRule)
{
    EXPECT_EQ(rawValue(Role::unknown), "AXUnknown");
    EXPECT_EQ(rawValue(Role::popUpButton), "AXPopUpButton");
    EXPECT_EQ(rawValue(Role::group), "AXGroup");
    EXPECT_EQ(rawValue(Role::window), "AXWindow");
    EXPECT_EQ(rawValue(Role::handle), "AXHandle");
    EXPECT_EQ(roleFromRawValue("AXSlider"), Role::slider);
}

TEST(Subrole, RawValuesFollowTheRuleAndItsException)
{
    EXPECT_EQ(rawValue(Subrole::standardWindow), "AXStandardWindow");
    EXPECT_EQ(rawValue(Subrole::dialog), "AXDialog");
    EXPECT_EQ(rawValue(Subrole::switchSubrole), "AXSwitch");
    EXPECT_EQ(subroleFromRawValue("AXSwitch"), Subrole::switchSubrole);
    EXPECT_FALSE(subroleFromRawValue("AXSwitchSubrole").has_value());
    EXPECT_EQ(rawValue(Subrole::descriptionList), "AXDescriptionList");
}

TEST(AXNotification, RawValuesFollowTheRuleAndItsException)
{
    EXPECT_EQ(rawValue(AXNotification::mainWindowChanged), "AXMainWindowChanged");
    EXPECT_EQ(rawValue(AXNotification::uiElementDestroyed), "AXUIElementDestroyed");
    EXPECT_FALSE(notificationFromRawValue("AXUiElementDestroyed").has_value());
    EXPECT_EQ(rawValue(AXNotification::announcementRequested), "AXAnnouncementRequested");
}

TEST(Action, RawValuesOfEveryCase)
{
    const std::pair<Action, const char*> expected[] = {
        { Action::press, "AXPress" },
        { Action::increment, "AXIncrement" },
        { Action::decrement, "AXDecrement" },
        { Action::confirm, "AXConfirm" },
        { Action::pick, "AXPick" },
        { Action::cancel, "AXCancel" },
        { Action::raise, "AXRaise" },
        { Action::showMenu, "AXShowMenu" },
        { Action::delete_, "AXDelete" },
        { Action::showAlternateUI, "AXShowAlternateUI" },
        { Action::showDefaultUI, "AXShowDefaultUI" },
    };
    for (const auto& [action, raw] : expected) {
        EXPECT_EQ(rawValue(action), raw);
        EXPECT_EQ(actionFromRawValue(raw), action);
    }
    EXPECT_EQ(caseName(Action::delete_), "delete");
}

template<typename Enum, typename Cases, typename Parse>
void expectRoundTripAndUnique(const Cases& cases, Parse parse)
{
    std::set<std::string> seen;
    for (Enum value : cases) {
        std::string raw(rawValue(value));
        EXPECT_TRUE(raw.starts_with("AX")) << raw;
        EXPECT_TRUE(seen.insert(raw).second) << "duplicate " << raw;
        EXPECT_EQ(parse(raw), value) << raw;
    }
    for (const char* unknown : { "", "AX", "role", "axrole", "AXROLE", "AXNoSuchName", " AXRole" })
        EXPECT_FALSE(parse(unknown).has_value()) << unknown;
}

TEST(NameEnumerations, EveryCaseRoundTripsAndUnknownStringsGiveNoCase)
{
    expectRoundTripAndUnique<Attribute>(allAttributes(), attributeFromRawValue);
    expectRoundTripAndUnique<Role>(allRoles(), roleFromRawValue);
    expectRoundTripAndUnique<Subrole>(allSubroles(), subroleFromRawValue);
    expectRoundTripAndUnique<AXNotification>(allNotifications(), notificationFromRawValue);
    expectRoundTripAndUnique<Action>(allActions(), actionFromRawValue);
}

TEST(NameEnumerations, RuleSpellingsMatchForEveryCaseButTheExceptions)
{
    int exceptions = 0;
    for (Attribute attribute : allAttributes()) {
        std::string name(caseName(attribute));
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        if (rawValue(attribute) != "AX" + name)
            ++exceptions;
    }
    EXPECT_EQ(exceptions, 2);
}

TEST(Orientation, IntegerRawValues)
{
    EXPECT_EQ(orientationFromRawValue(0), Orientation::unknown);
    EXPECT_EQ(orientationFromRawValue(1), Orientation::vertical);
    EXPECT_EQ(orientationFromRawValue(2), Orientation::horizontal);
    EXPECT_FALSE(orientationFromRawValue(3).has_value());
    EXPECT_FALSE(orientationFromRawValue(-1).has_value());
    EXPECT_EQ(rawValue(Orientation::horizontal), 2);
}

} // namespace
} // namespace mq::ax
