// The three privacy permissions the helper needs, their states, and the fixed
// identifiers that go with them (Automation targets, System Settings panes).
#pragma once

#include <array>
#include <string_view>

namespace mq::permissions {

/// One permission, in the order every list of them uses.
enum class PermissionKind {
    accessibility,
    automationLogic,
    automationSystemEvents,
};

inline constexpr std::array<PermissionKind, 3> kAllPermissionKinds {
    PermissionKind::accessibility,
    PermissionKind::automationLogic,
    PermissionKind::automationSystemEvents,
};

/// What the system says of one permission.
enum class PermissionStatus {
    granted,
    denied,
    undetermined,
};

/// The case name ("granted", "denied", "undetermined"), as log lines show it.
constexpr std::string_view toString(PermissionStatus status)
{
    switch (status) {
    case PermissionStatus::granted:
        return "granted";
    case PermissionStatus::denied:
        return "denied";
    case PermissionStatus::undetermined:
        return "undetermined";
    }
    return "undetermined";
}

/// The Automation target used for Logic when no Logic runs or it reports no identifier.
inline constexpr std::string_view kDefaultLogicBundleIdentifier = "com.apple.logic10";
inline constexpr std::string_view kSystemEventsBundleIdentifier = "com.apple.systemevents";

/// System Settings addresses of the two privacy panes.
inline constexpr std::string_view kAccessibilityPaneAddress
    = "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";
inline constexpr std::string_view kAutomationPaneAddress
    = "x-apple.systempreferences:com.apple.preference.security?Privacy_Automation";

/// The pane where the user grants `kind`: Accessibility for accessibility,
/// Automation for both Automation kinds.
constexpr std::string_view settingsPaneAddress(PermissionKind kind)
{
    return kind == PermissionKind::accessibility ? kAccessibilityPaneAddress : kAutomationPaneAddress;
}

} // namespace mq::permissions
