#include "permissions/PermissionRowView.h"

#include "permissions/OnboardingAppearance.h"
#include "permissions/OnboardingContent.h"
#include "permissions/StatusDotView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mq::permissions {

namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QString PermissionRowView::title(PermissionKind kind)
{
    return toQString(content::rowTitle(kind));
}

QString PermissionRowView::description(PermissionKind kind)
{
    return toQString(content::rowDescription(kind));
}

PermissionRowView::PermissionRowView(PermissionKind kind, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_dot(new StatusDotView(this))
    , m_title(new QLabel(title(kind), this))
    , m_description(new QLabel(description(kind), this))
    , m_badge(new QLabel(toQString(content::kGrantedBadge), this))
    , m_grantButton(new QPushButton(toQString(content::kGrantButton), this))
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
    text->setSpacing(content::kRowTextSpacing);
    text->addWidget(m_title);
    text->addWidget(m_description);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(content::kRowSpacing);
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
