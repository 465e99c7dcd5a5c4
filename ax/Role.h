// Accessibility role names ("AXButton", "AXWindow", ...) as an enumeration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ax/detail/CaseList.h"

// clang-format off
#define MQ_AX_ROLES(X) \
    X(unknown) X(button) X(radioButton) X(checkBox) X(slider) X(tabGroup) X(textField) X(staticText) \
    X(textArea) X(scrollArea) X(popUpButton) X(menuButton) X(table) X(application) X(group) X(radioGroup) \
    X(list) X(scrollBar) X(valueIndicator) X(image) X(menuBar) X(menu) X(menuItem) X(column) X(row) \
    X(toolbar) X(busyIndicator) X(progressIndicator) X(window) X(drawer) X(systemWide) X(outline) \
    X(incrementor) X(browser) X(comboBox) X(splitGroup) X(splitter) X(colorWell) X(growArea) X(sheet) \
    X(helpTag) X(matte) X(ruler) X(rulerMarker) X(link) X(disclosureTriangle) X(grid) \
    X(relevanceIndicator) X(levelIndicator) X(cell) X(popover) X(layoutArea) X(layoutItem) X(handle)
// clang-format on

namespace mq::ax {

enum class Role : std::uint8_t { MQ_AX_ROLES(MQ_AX_ENUMERATOR) };

inline constexpr std::size_t kRoleCount = 0 MQ_AX_ROLES(MQ_AX_COUNT);

/// "AX" and the case name with its first letter in upper case ("AXRadioButton").
std::string_view rawValue(Role role);
std::string_view caseName(Role role);
/// The case whose raw value is `raw`; nothing for any other string.
[[nodiscard]] std::optional<Role> roleFromRawValue(std::string_view raw);
const std::array<Role, kRoleCount>& allRoles();

} // namespace mq::ax
