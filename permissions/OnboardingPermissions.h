// The permission checks the onboarding window calls: whether a permission is
// granted, asking the system for one, and opening a System Settings pane. The
// window sees nothing else of the desktop, so the host wires it to the real
// checks and tests to a scripted set.
#pragma once

#include "permissions/PermissionKind.h"

#include <string_view>

namespace mq::permissions {

class OnboardingPermissions {
public:
    virtual ~OnboardingPermissions() = default;

    /// Whether `kind` is granted now, without showing any prompt. May block
    /// briefly (an Automation check can start System Events quietly first).
    virtual bool isGranted(PermissionKind kind) = 0;

    /// Asks the system for `kind`, showing its consent prompt where one is due;
    /// blocks while the prompt is shown. Answers what the system decided.
    virtual PermissionStatus request(PermissionKind kind) = 0;

    /// Opens the System Settings pane at `address` (one of the pane addresses
    /// of PermissionKind.h).
    virtual void openSettingsPane(std::string_view address) = 0;
};

} // namespace mq::permissions
