#include "sim/snapshot/Canvas.h"

#include <QFontMetricsF>

#include <algorithm>

namespace mq::sim {

QFont Canvas::font(int pixels, bool bold)
{
    QFont f("DejaVu Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

double Canvas::widthOf(const QString& text, const QFont& font) { return QFontMetricsF(font).horizontalAdvance(text); }

QRectF Canvas::text(const QRectF& frame, const QString& text, const QFont& font, const QColor& color, Qt::Alignment alignment)
{
    if (text.isEmpty())
        return {};
    QFontMetricsF metrics(font);
    double width = metrics.horizontalAdvance(text);
    double height = metrics.height();
    double x = frame.left();
    if (alignment & Qt::AlignHCenter)
        x = frame.center().x() - width / 2;
    else if (alignment & Qt::AlignRight)
        x = frame.right() - width;
    double y = frame.top();
    if (alignment & Qt::AlignVCenter)
        y = frame.center().y() - height / 2;
    else if (alignment & Qt::AlignBottom)
        y = frame.bottom() - height;
    QRectF box(x, y, width, height);
    m_painter.setFont(font);
    m_painter.setPen(color);
    m_painter.drawText(QPointF(x, y + metrics.ascent()), text);
    // The ledger keeps the ink's box: the line's height less the leading.
    QRectF ink = box.adjusted(0, 1, 0, -1);
    m_labels.push_back({ m_window, text.toStdString(), ink.x(), ink.y(), ink.width(), ink.height() });
    return box;
}

void Canvas::outline(const QRectF& frame, const QColor& color, double width)
{
    m_painter.setPen(QPen(color, width));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(frame);
}

QRectF Canvas::button(const QRectF& frame, const QString& label, const QFont& font)
{
    QRectF shape = frame;
    double needed = widthOf(label, font) + 12;
    if (shape.width() < needed)
        shape.setWidth(needed);
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(palette::control);
    m_painter.drawRoundedRect(shape.adjusted(1, 1, -1, -1), 4, 4);
    text(shape, label, font, palette::text, Qt::AlignCenter);
    return shape;
}

} // namespace mq::sim
