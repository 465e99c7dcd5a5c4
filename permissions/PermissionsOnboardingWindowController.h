// The permissions onboarding window: lists Accessibility and the two Automation
// permissions with a status dot each, lets the user ask for each one, opens the
// matching System Settings pane, and closes itself once all three are granted.
//
// Main thread only. The helper never opens this window; a host application
// creates the controller and shows the window.
#pragma once

#include "permissions/OnboardingFlow.h"
#include "permissions/OnboardingPermissions.h"
#include "permissions/PermissionKind.h"
#include "platform/Log.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

class QWidget;
class QPushButton;

namespace mq::permissions {

class PermissionRowView;

class PermissionsOnboardingWindowController final : public QObject {
public:
    /// Builds the window (centred on the primary screen, not shown) and runs one
    /// refresh. When everything is granted already, that refresh closes the
    /// window at once and `onClose` runs before the constructor returns.
    ///
    /// `onClose` runs once on every close (by "Done", by the close box, or by
    /// the controller itself). It may schedule the controller's destruction
    /// (deleteLater) but must not destroy it directly.
    explicit PermissionsOnboardingWindowController(OnboardingPermissions& permissions, std::function<void()> onClose = {});
    ~PermissionsOnboardingWindowController() override;

    PermissionsOnboardingWindowController(const PermissionsOnboardingWindowController&) = delete;
    PermissionsOnboardingWindowController& operator=(const PermissionsOnboardingWindowController&) = delete;

    QWidget* window() const { return m_window.get(); }
    /// The three rows, in PermissionKind order.
    const std::array<PermissionRowView*, 3>& rows() const { return m_rows; }
    QPushButton* openSettingsButton() const { return m_openSettingsButton; }
    QPushButton* doneButton() const { return m_doneButton; }

    /// Whether every permission was granted at the last refresh.
    bool allGranted() const { return m_allGranted; }
    /// Whether the window has been closed since it was built or last shown.
    bool isClosed() const { return !m_open; }

    /// Shows the window in front and gives it the keyboard focus.
    void showWindow();

    /// Reads each permission and shows its state; closes the window, with the
    /// line "all permissions granted — closing onboarding", when all are granted.
    void refresh();

    /// The grant step of a row: asks the system for `kind`; when the answer is
    /// "denied" (the user refused before, so no prompt can come), opens the
    /// pane where it can be granted by hand; then refreshes.
    void grantTapped(PermissionKind kind);
    /// Opens the pane of the first permission not granted (Accessibility when
    /// none is missing).
    void openSettingsTapped();
    /// Closes the window.
    void doneTapped();
    /// The application became active (the user may be back from System
    /// Settings): refreshes.
    void appBecameActive();

private:
    void build();
    void fitWindowToContent();
    void windowWillClose();
    void windowDidShow();
    void observeActivation();
    void stopObservingActivation();

    OnboardingFlow m_flow;
    std::function<void()> m_onClose;
    std::unique_ptr<QWidget> m_window;
    std::array<PermissionRowView*, 3> m_rows {};
    QPushButton* m_openSettingsButton { nullptr };
    QPushButton* m_doneButton { nullptr };
    QMetaObject::Connection m_activationConnection;
    bool m_open { true };
    bool m_allGranted { false };
};

} // namespace mq::permissions
