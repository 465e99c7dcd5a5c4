#include "permissions/PermissionRowView.h"

#include "permissions/OnboardingAppearance.h"
#include "permissions/StatusDotView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mq::permissions {

namespace {

constexpr int kRowSpacing = 14;
constexpr int kTextSpacing = 2;

} // namespace

QString PermissionRowView::title(PermissionKind kind)
{
    switch (kind) {
    case PermissionKind::accessibility:
        return QStringLiteral("Accessibility");
    case PermissionKind::automationLogic:
        return QStringLiteral("Automation · Logic Pro");
    case PermissionKind::automationSystemEvents:
        return QStringLiteral("Automation · System Events");
    }
    return {};
}

QString PermissionRowView::description(PermissionKind kind)
{
    switch (kind) {
    case PermissionKind::accessibility:
        return QStringLiteral("Lets Marquee read Logic Pro’s windows and dialogs.");
    case PermissionKind::automationLogic:
        return QStringLiteral("Lets Marquee send edits and export commands to Logic Pro.");
    case PermissionKind::automationSystemEvents:
        return QStringLiteral("Lets Marquee send key commands while driving Logic Pro.");
    }
    return {};
}

PermissionRowView::PermissionRowView(PermissionKind kind, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_dot(new StatusDotView(this))
    , m_title(new QLabel(title(kind), this))
    , m_description(new QLabel(description(kind), this))
    , m_badge(new QLabel(QStringLiteral("Granted ✓"), this))
    , m_grantButton(new QPushButton(QStringLiteral("Grant…"), this))
{
    m_title->setFont(appearance::rowTitleFont());
    m_title->setForegroundRole(appearance::kLabelColorRole);
    m_description->setFont(appearance::rowDescriptionFont());
    m_description->setForegroundRole(appearance::kSecondaryLabelColorRole);
    // Wraps rather than being cut off where the platform's font is wider than
    // the one the row was measured with.
    m_description->setWordWrap(true);

    m_badge->setFont(appearance::rowTitleFont());
    QPalette badgePalette = m_badge->palette();
    badgePalette.setColor(QPalette::WindowText, appearance::systemGreen());
    m_badge->setPalette(badgePalette);

    // Return belongs to the window's default button ("Done"), even while this
    // button has the keyboard focus.
    m_grantButton->setAutoDefault(false);
    connect(m_grantButton, &QPushButton::clicked, this, [this] { grantTapped(); });

    auto* text = new QVBoxLayout;
    text->setContentsMargins(0, 0, 0, 0);
    text->setSpacing(kTextSpacing);
    text->addWidget(m_title);
    text->addWidget(m_description);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kRowSpacing);
    row->addWidget(m_dot, 0, Qt::AlignVCenter);
    // The text takes whatever width the dot, badge and button leave.
    row->addLayout(text, 1);
    row->addWidget(m_badge, 0, Qt::AlignVCenter);
    row->addWidget(m_grantButton, 0, Qt::AlignVCenter);

    setGranted(false);
}

void PermissionRowView::setGranted(bool granted)
{
    m_dot->setColor(granted ? appearance::systemGreen() : appearance::systemRed());
    m_grantButton->setHidden(granted);
    m_badge->setHidden(!granted);
}

void PermissionRowView::grantTapped()
{
    // A copy: the grant step may close the window and so end this row's life.
    if (auto handler = m_onGrant)
        handler(m_kind);
}

} // namespace mq::permissions
