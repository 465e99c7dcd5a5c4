// The painter the snapshot draws with, and the ledger of every text it wrote:
// each label's words and the box they cover, so that a test can check that
// labels are whole and never lie on one another within a window.
#pragma once

#include "sim/snapshot/DrawnLabel.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <string>
#include <vector>

namespace mq::sim {

// Logic's dark interface.
namespace palette {
inline const QColor desktop { 0x5a, 0x6b, 0x7d };
inline const QColor menuBar { 0xe8, 0xe8, 0xe8 };
inline const QColor window { 0x2b, 0x2b, 0x2b };
inline const QColor titleBar { 0x3c, 0x3c, 0x3c };
inline const QColor panel { 0x33, 0x33, 0x33 };
inline const QColor tracks { 0x24, 0x24, 0x24 };
inline const QColor line { 0x4a, 0x4a, 0x4a };
inline const QColor text { 0xe0, 0xe0, 0xe0 };
inline const QColor dimText { 0xa0, 0xa0, 0xa0 };
inline const QColor control { 0x4c, 0x4c, 0x4c };
inline const QColor field { 0x1a, 0x1a, 0x1a };
inline const QColor lcd { 0x10, 0x1a, 0x14 };
inline const QColor lcdText { 0x6c, 0xf0, 0x9a };
inline const QColor playhead { 0xf2, 0xf2, 0xf2 };
inline const QColor locators { 0xc8, 0xb4, 0x32 };
inline const QColor dialog { 0x3a, 0x3a, 0x3a };
inline const QColor added { 0x3c, 0xe6, 0x5a };
inline const QColor changed { 0xff, 0xa0, 0x1e };
inline const QColor removed { 0xff, 0x4b, 0x4b };
} // namespace palette

class Canvas {
public:
    explicit Canvas(QPainter& painter)
        : m_painter(painter)
    {
    }

    QPainter& painter() { return m_painter; }
    /// Labels drawn from now on belong to a new window (or sheet, or panel).
    void beginWindow() { m_window = ++m_windowCount; }

    static QFont font(int pixels, bool bold = false);
    static double widthOf(const QString& text, const QFont& font);

    /// Draws `text` in one line inside `frame` as `alignment` places it, in full
    /// (it may run past the frame; the caller makes room), and records it.
    QRectF text(const QRectF& frame, const QString& text, const QFont& font, const QColor& color, Qt::Alignment alignment);
    void outline(const QRectF& frame, const QColor& color, double width = 1);
    /// A rounded button with its label, grown to hold the label.
    QRectF button(const QRectF& frame, const QString& label, const QFont& font);

    const std::vector<DrawnLabel>& labels() const { return m_labels; }

private:
    QPainter& m_painter;
    int m_window { 0 };
    int m_windowCount { 0 };
    std::vector<DrawnLabel> m_labels;
};

} // namespace mq::sim
