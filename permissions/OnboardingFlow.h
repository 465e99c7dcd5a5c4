// What the onboarding window decides, free of any toolkit: which rows show as
// granted, when the window closes itself, what a row's grant step and the
// settings button do. The Qt and the AppKit controllers both drive their views
// with it.
#pragma once

#include "permissions/OnboardingPermissions.h"
#include "permissions/PermissionKind.h"
#include "platform/Log.h"

#include <array>

namespace mq::permissions {

class OnboardingFlow {
public:
    explicit OnboardingFlow(OnboardingPermissions& permissions);

    struct RowStates {
        /// Per PermissionKind, in kAllPermissionKinds order.
        std::array<bool, 3> granted {};
        bool allGranted { false };
    };

    /// Reads each permission without a prompt. When all are granted and the
    /// window is open, logs that it closes: the caller then closes it.
    RowStates refresh(bool windowIsOpen);

    /// A row's grant step: asks the system for `kind`; when the answer is
    /// "denied" (no prompt can come any more), opens the pane where it can be
    /// granted by hand. The caller refreshes afterwards.
    void grant(PermissionKind kind);

    /// Opens the pane of the first permission not granted (Accessibility when none is missing).
    void openSettings();

private:
    OnboardingPermissions& m_permissions;
    log::Logger m_log { "helper.onboarding" };
};

} // namespace mq::permissions
