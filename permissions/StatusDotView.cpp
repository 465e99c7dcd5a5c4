#include "permissions/StatusDotView.h"

#include "permissions/OnboardingAppearance.h"

#include <QPainter>
#include <QPainterPath>

namespace mq::permissions {

StatusDotView::StatusDotView(QWidget* parent)
    : QWidget(parent)
    , m_color(appearance::systemRed())
{
    setFixedSize(kDiameter, kDiameter);
    // Only the dot is painted: outside its rounded edge shows what lies beneath.
    setAttribute(Qt::WA_TranslucentBackground);
}

void StatusDotView::setColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void StatusDotView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.fillPath(path, m_color);
}

} // namespace mq::permissions
