// The round status dot at the start of a permission row: red while the
// permission is missing, green once it is granted.
#pragma once

#include "permissions/OnboardingContent.h"

#include <QColor>
#include <QWidget>

namespace mq::permissions {

class StatusDotView final : public QWidget {
public:
    static constexpr int kDiameter = content::kDotSize;
    static constexpr qreal kCornerRadius = content::kDotCornerRadius;

    /// An 11 × 11 dot in the system red.
    explicit StatusDotView(QWidget* parent = nullptr);

    const QColor& color() const { return m_color; }
    /// Sets the fill colour and schedules a repaint.
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};

} // namespace mq::permissions
