// Accessibility notification names ("AXWindowCreated", ...) as an enumeration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ax/detail/CaseList.h"

// clang-format off
#define MQ_AX_NOTIFICATIONS(X) \
    X(mainWindowChanged) X(focusedWindowChanged) X(focusedUIElementChanged) X(applicationActivated) \
    X(applicationDeactivated) X(applicationHidden) X(applicationShown) X(windowCreated) X(windowMoved) \
    X(windowResized) X(windowMiniaturized) X(windowDeminiaturized) X(drawerCreated) X(sheetCreated) \
    X(uiElementDestroyed) X(valueChanged) X(titleChanged) X(resized) X(moved) X(created) X(layoutChanged) \
    X(helpTagCreated) X(selectedTextChanged) X(rowCountChanged) X(selectedChildrenChanged) \
    X(selectedRowsChanged) X(selectedColumnsChanged) X(rowExpanded) X(rowCollapsed) \
    X(selectedCellsChanged) X(unitsChanged) X(selectedChildrenMoved) X(announcementRequested)
// clang-format on

namespace mq::ax {

enum class AXNotification : std::uint8_t { MQ_AX_NOTIFICATIONS(MQ_AX_ENUMERATOR) };

inline constexpr std::size_t kAXNotificationCount = 0 MQ_AX_NOTIFICATIONS(MQ_AX_COUNT);

/// "AX" and the case name with its first letter in upper case, except
/// `uiElementDestroyed` "AXUIElementDestroyed".
std::string_view rawValue(AXNotification notification);
std::string_view caseName(AXNotification notification);
/// The case whose raw value is `raw`; nothing for any other string.
[[nodiscard]] std::optional<AXNotification> notificationFromRawValue(std::string_view raw);
const std::array<AXNotification, kAXNotificationCount>& allNotifications();

} // namespace mq::ax
