// The onboarding window's content and appearance table, free of any toolkit: its
// texts, the fonts (size and weight) and colours each text uses, and its layout
// metrics in points. The Qt window (Linux) and the AppKit window (macOS) are both
// built from it, so the two cannot drift apart.
#pragma once

#include "permissions/PermissionKind.h"

#include <string_view>

namespace mq::permissions::content {

// Texts.
inline constexpr std::string_view kWindowTitle = "Marquee — Permissions";
inline constexpr std::string_view kHeading = "Marquee needs a few permissions";
inline constexpr std::string_view kBody = "Marquee controls Logic Pro to export and place your clips. Grant these once so exports "
                                          "don’t fail silently. You can change them later in System Settings.";
inline constexpr std::string_view kFootnote = "Re-checks automatically when you return to this window.";
inline constexpr std::string_view kOpenSettingsButton = "Open System Settings…";
inline constexpr std::string_view kDoneButton = "Done";
inline constexpr std::string_view kGrantButton = "Grant…";
inline constexpr std::string_view kGrantedBadge = "Granted ✓";
inline constexpr std::string_view kAllGrantedLogLine = "all permissions granted — closing onboarding";

constexpr std::string_view rowTitle(PermissionKind kind)
{
    switch (kind) {
    case PermissionKind::accessibility:
        return "Accessibility";
    case PermissionKind::automationLogic:
        return "Automation · Logic Pro";
    case PermissionKind::automationSystemEvents:
        return "Automation · System Events";
    }
    return "";
}

constexpr std::string_view rowDescription(PermissionKind kind)
{
    switch (kind) {
    case PermissionKind::accessibility:
        return "Lets Marquee read Logic Pro’s windows and dialogs.";
    case PermissionKind::automationLogic:
        return "Lets Marquee send edits and export commands to Logic Pro.";
    case PermissionKind::automationSystemEvents:
        return "Lets Marquee send key commands while driving Logic Pro.";
    }
    return "";
}

// Fonts: the system font at a size in points, regular or semibold.
struct FontStyle {
    int points;
    bool semibold;
};
inline constexpr FontStyle kTitleFont { 17, true };
inline constexpr FontStyle kBodyFont { 13, false };
inline constexpr FontStyle kRowTitleFont { 13, true };
inline constexpr FontStyle kRowDescriptionFont { 12, false };
inline constexpr FontStyle kFootnoteFont { 11, false };
/// The badge is set like a row title, in system green.
inline constexpr FontStyle kBadgeFont = kRowTitleFont;

// Layout, in points.
inline constexpr int kContentWidth = 520;
inline constexpr int kContentHeight = 200; ///< Before the window fits its content.
inline constexpr int kTopMargin = 24;
inline constexpr int kSideMargin = 28;
inline constexpr int kBottomMargin = 20;
inline constexpr int kStackSpacing = 12;
inline constexpr int kSectionSpacing = 20;
inline constexpr int kButtonSpacing = 10;
inline constexpr int kWrapWidth = kContentWidth - 2 * kSideMargin; // 464
inline constexpr int kRowSpacing = 14;
inline constexpr int kRowTextSpacing = 2;
inline constexpr int kDotSize = 11;
inline constexpr double kDotCornerRadius = 5.5;
/// A fitting height plus this gives the window's content height.
inline constexpr int kVerticalMargins = kTopMargin + kBottomMargin; // 44

} // namespace mq::permissions::content
