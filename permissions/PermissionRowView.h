// One row of the onboarding window: status dot, the permission's title and what
// it is for, and either a "Grant…" button or a "Granted ✓" badge.
#pragma once

#include "permissions/PermissionKind.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace mq::permissions {

class StatusDotView;

class PermissionRowView final : public QWidget {
public:
    using GrantHandler = std::function<void(PermissionKind)>;

    /// A row for `kind`, shown as not granted (red dot, "Grant…" button).
    explicit PermissionRowView(PermissionKind kind, QWidget* parent = nullptr);

    PermissionKind kind() const { return m_kind; }

    /// What "Grant…" calls, with this row's kind. Empty: the button does nothing.
    const GrantHandler& onGrant() const { return m_onGrant; }
    void setOnGrant(GrantHandler handler) { m_onGrant = std::move(handler); }

    /// Granted: green dot, badge shown, button hidden. Otherwise: red dot,
    /// button shown, badge hidden.
    void setGranted(bool granted);

    /// The action of the "Grant…" button: calls onGrant with the row's kind.
    void grantTapped();

    StatusDotView* dot() const { return m_dot; }
    QLabel* titleLabel() const { return m_title; }
    QLabel* descriptionLabel() const { return m_description; }
    QLabel* badge() const { return m_badge; }
    QPushButton* grantButton() const { return m_grantButton; }

    /// "Accessibility", "Automation · Logic Pro", "Automation · System Events".
    static QString title(PermissionKind kind);
    /// The one sentence under the title saying what the permission lets Marquee do.
    static QString description(PermissionKind kind);

private:
    PermissionKind m_kind;
    GrantHandler m_onGrant;
    StatusDotView* m_dot;
    QLabel* m_title;
    QLabel* m_description;
    QLabel* m_badge;
    QPushButton* m_grantButton;
};

} // namespace mq::permissions
