#include "sim/snapshot/Timeline.h"

#include "sim/TimeLabel.h"
#include "sim/snapshot/LogicPalette.h"
#include "sim/snapshot/StateElements.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace mq::sim {

namespace {

using nlohmann::json;

constexpr double kRulerHeight = 28;
constexpr double kLabelRowHeight = 18;
constexpr double kMinimumLaneHeight = 46;

QColor qcolor(RGB rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

std::optional<int> colorIndex(const json& item)
{
    auto it = item.find("color");
    return it != item.end() && it->is_number_integer() ? std::optional(it->get<int>()) : std::nullopt;
}

QColor textOn(const QColor& fill) { return fill.lightness() > 140 ? QColor(0x15, 0x15, 0x15) : QColor(0xf5, 0xf5, 0xf5); }

QString nameOf(const json& item) { return QString::fromStdString(item.value("name", "")); }

QColor changeColor(Change change) { return change == Change::added ? palette::added : palette::changed; }

Change changeOf(const std::vector<Change>* list, std::size_t index)
{
    return list && index < list->size() ? (*list)[index] : Change::same;
}

/// Places labels that start at `starts` and are `widths` wide in rows so that
/// no two in a row touch: each goes in the first row it fits, left to right.
/// Answers each label's row; `rows` is set to the number of rows used.
std::vector<int> packInRows(const std::vector<double>& starts, const std::vector<double>& widths, int& rows)
{
    std::vector<std::size_t> order(starts.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return starts[a] < starts[b]; });
    std::vector<double> rowEnds;
    std::vector<int> rowOf(starts.size(), 0);
    for (std::size_t i : order) {
        std::size_t row = 0;
        while (row < rowEnds.size() && rowEnds[row] + 6 > starts[i])
            ++row;
        if (row == rowEnds.size())
            rowEnds.push_back(0);
        rowEnds[row] = starts[i] + widths[i];
        rowOf[i] = static_cast<int>(row);
    }
    rows = std::max<int>(1, static_cast<int>(rowEnds.size()));
    return rowOf;
}

class TimelinePainter {
public:
    TimelinePainter(Canvas& canvas, const json& state, const TimelineFrames& frames, const DocumentChanges* changes)
        : m_canvas(canvas)
        , m_painter(canvas.painter())
        , m_frames(frames)
        , m_changes(changes)
        , m_document(elements::objectMember(state, "logic"))
        , m_transport(elements::objectMember(state, "transport"))
    {
        chooseSpan();
    }

    void draw()
    {
        m_painter.fillRect(m_frames.area, palette::tracks);
        m_painter.fillRect(m_frames.headers, palette::window);
        double y = m_frames.area.top();
        QRectF ruler(m_frames.area.left(), y, m_frames.area.width(), kRulerHeight);
        y += kRulerHeight;
        std::optional<QRectF> markerTrack;
        const json& markers = elements::arrayMember(m_document, "markers");
        if (m_document.value("markerTrackShown", false) || !markers.empty()) {
            double height = markerTrackHeight(markers);
            markerTrack = QRectF(m_frames.area.left(), y, m_frames.area.width(), height);
            y += height;
        }
        std::vector<QRectF> lanes = layOutLanes(y);
        drawLocatorsOverLanes(ruler);
        drawRuler(ruler);
        if (markerTrack)
            drawMarkerTrack(*markerTrack, markers);
        drawTracks(lanes);
        drawPlayhead(ruler);
        m_painter.setPen(QPen(palette::line, 1));
        m_painter.drawLine(QPointF(m_frames.area.left(), m_frames.headers.top()), QPointF(m_frames.area.left(), m_frames.headers.bottom()));
    }

private:
    /// The span shown: bar 1 to twenty bars on, widened to hold every marker,
    /// region, the locators and the playhead, with a little room at the end.
    void chooseSpan()
    {
        double bar1 = m_transport.value("bar1Seconds", 0.0);
        double barSeconds = m_transport.value("barSeconds", 2.0);
        if (!(barSeconds > 0))
            barSeconds = 2.0;
        double first = bar1, last = bar1 + 20 * barSeconds;
        auto include = [&](double from, double to) {
            if (!std::isfinite(from) || !std::isfinite(to))
                return;
            first = std::min(first, from);
            last = std::max(last, to + (to - first) * 0.05);
        };
        for (const json& marker : elements::arrayMember(m_document, "markers"))
            include(marker.value("start", bar1), marker.value("end", bar1));
        for (const json& region : elements::arrayMember(m_document, "regions"))
            include(region.value("start", bar1), region.value("start", bar1) + region.value("length", 0.0));
        if (const json& locators = elements::objectMember(m_document, "locators"); locators.contains("left"))
            include(locators.value("left", bar1), locators.value("right", bar1));
        double playhead = m_transport.value("playheadSeconds", bar1);
        include(playhead, playhead);
        m_first = first;
        m_pixelsPerSecond = m_frames.area.width() / std::max(1.0, last - first);
    }

    double xOf(double seconds) const { return m_frames.area.left() + (seconds - m_first) * m_pixelsPerSecond; }

    QString timecode(double seconds) const
    {
        TimeFormat format = TimeFormat::of(m_transport.value("frameRate", 25.0), m_transport.value("dropFrame", false));
        TimeLabel label = frameLabel(seconds, format);
        char text[40];
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld%c%02lld", label.hours, label.minutes, label.seconds, format.dropFrame ? ';' : ':',
            label.frames);
        return text;
    }

    void drawRuler(const QRectF& ruler)
    {
        m_painter.fillRect(ruler, palette::panel);
        if (const json& locators = elements::objectMember(m_document, "locators"); locators.contains("left")) {
            double left = xOf(locators.value("left", 0.0)), right = xOf(locators.value("right", 0.0));
            QRectF band(left, ruler.top() + 2, std::max(2.0, right - left), 8);
            m_painter.fillRect(band, palette::locators);
            if (m_changes && m_changes->locators)
                m_canvas.outline(band.adjusted(-1, -1, 1, 1), palette::changed, 2);
        }
        QFont font = Canvas::font(11);
        double labelWidth = Canvas::widthOf(timecode(m_first), font) + 14;
        static constexpr double steps[] = { 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 21600, 43200, 86400 };
        double step = steps[std::size(steps) - 1];
        for (double candidate : steps)
            if (candidate * m_pixelsPerSecond >= labelWidth) {
                step = candidate;
                break;
            }
        double last = m_first + m_frames.area.width() / m_pixelsPerSecond;
        while ((last - m_first) / step > 200) // a span of days: no more ticks than the ruler can hold
            step *= 10;
        m_painter.save();
        m_painter.setClipRect(ruler);
        for (double t = std::ceil(m_first / step) * step; t <= last; t += step) {
            double x = xOf(t);
            m_painter.setPen(QPen(palette::dimText, 1));
            m_painter.drawLine(QPointF(x, ruler.bottom() - 10), QPointF(x, ruler.bottom()));
            if (x + labelWidth - 10 <= ruler.right())
                m_canvas.text(QRectF(x + 3, ruler.top() + 11, labelWidth, 15), timecode(t), font, palette::text, Qt::AlignLeft | Qt::AlignTop);
            for (int minor = 1; minor < 5; ++minor) {
                double xm = xOf(t + step * minor / 5);
                m_painter.drawLine(QPointF(xm, ruler.bottom() - 4), QPointF(xm, ruler.bottom()));
            }
        }
        m_painter.restore();
        m_canvas.text(QRectF(m_frames.headers.left() + 10, ruler.top(), m_frames.headers.width() - 20, ruler.height()),
            QStringLiteral("SMPTE %1 fps%2").arg(m_transport.value("frameRate", 25.0)).arg(m_transport.value("dropFrame", false) ? " drop" : ""),
            Canvas::font(11), palette::dimText, Qt::AlignVCenter | Qt::AlignLeft);
    }

    struct Labels {
        std::vector<int> rows;
        int rowCount { 1 };
    };

    Labels packLabels(const json& items, double (*start)(const json&)) const
    {
        std::vector<double> starts, widths;
        QFont font = Canvas::font(12, true);
        for (const json& item : items) {
            starts.push_back(xOf(start(item)));
            widths.push_back(Canvas::widthOf(nameOf(item), font) + 10);
        }
        Labels labels;
        labels.rows = packInRows(starts, widths, labels.rowCount);
        return labels;
    }

    static double startOf(const json& item) { return item.value("start", 0.0); }

    double markerTrackHeight(const json& markers) const { return 6 + kLabelRowHeight * packLabels(markers, startOf).rowCount; }

    void drawMarkerTrack(const QRectF& strip, const json& markers)
    {
        m_painter.fillRect(strip, QColor(0x1c, 0x1c, 0x1c));
        m_canvas.text(QRectF(m_frames.headers.left() + 10, strip.top(), m_frames.headers.width() - 20, strip.height()), "Marker",
            Canvas::font(12, true), palette::text, Qt::AlignVCenter | Qt::AlignLeft);
        Labels labels = packLabels(markers, startOf);
        QFont font = Canvas::font(12, true);
        // The spans first, then the names, so that no span covers a name.
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t i = 0; i < markers.size(); ++i) {
                const json& marker = markers[i];
                double start = marker.value("start", 0.0), end = marker.value("end", start);
                std::optional<int> color = colorIndex(marker);
                QColor fill = color ? qcolor(logicColor(*color)) : QColor(0x9a, 0x9a, 0x9a);
                QRectF span(xOf(start), strip.top() + 2, std::max(3.0, (end - start) * m_pixelsPerSecond), strip.height() - 4);
                if (pass == 0) {
                    QColor faint = fill;
                    faint.setAlpha(110);
                    m_painter.fillRect(span, faint);
                    m_painter.fillRect(QRectF(span.left(), span.top(), 2, span.height()), fill);
                    continue;
                }
                QString name = nameOf(marker);
                QRectF plate(span.left(), strip.top() + 3 + labels.rows[i] * kLabelRowHeight, Canvas::widthOf(name, font) + 8, kLabelRowHeight - 2);
                m_painter.fillRect(plate, fill);
                m_canvas.text(plate.adjusted(4, 0, 0, 0), name, font, textOn(fill), Qt::AlignVCenter | Qt::AlignLeft);
                Change change = changeOf(m_changes ? &m_changes->markers : nullptr, i);
                if (change != Change::same)
                    m_canvas.outline(span.united(plate).adjusted(-1, -1, 1, 1), changeColor(change), 2);
            }
    }

    /// One lane per document track below `top`, tall enough for its regions' names.
    std::vector<QRectF> layOutLanes(double top)
    {
        const json& tracks = elements::arrayMember(m_document, "tracks");
        const json& regions = elements::arrayMember(m_document, "regions");
        m_regionRows.assign(regions.size(), 0);
        std::vector<QRectF> lanes;
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            json onTrack = json::array();
            std::vector<std::size_t> indices;
            for (std::size_t r = 0; r < regions.size(); ++r)
                if (regions[r].value("track", std::size_t(0)) == t) {
                    onTrack.push_back(regions[r]);
                    indices.push_back(r);
                }
            Labels labels = packLabels(onTrack, startOf);
            for (std::size_t k = 0; k < indices.size(); ++k)
                m_regionRows[indices[k]] = labels.rows[k];
            double height = std::max(kMinimumLaneHeight, 14 + labels.rowCount * kLabelRowHeight);
            lanes.emplace_back(m_frames.area.left(), top, m_frames.area.width(), height);
            top += height;
        }
        return lanes;
    }

    void drawTracks(const std::vector<QRectF>& lanes)
    {
        const json& tracks = elements::arrayMember(m_document, "tracks");
        const json& regions = elements::arrayMember(m_document, "regions");
        if (tracks.empty()) {
            double top = lanes.empty() ? m_frames.area.top() + kRulerHeight + 40 : lanes.back().bottom();
            m_canvas.text(QRectF(m_frames.area.left(), top, m_frames.area.width(), 40), "The project has no tracks", Canvas::font(13),
                palette::dimText, Qt::AlignCenter);
            return;
        }
        for (std::size_t t = 0; t < tracks.size() && t < lanes.size(); ++t) {
            const QRectF& lane = lanes[t];
            QRectF header(m_frames.headers.left(), lane.top(), m_frames.headers.width(), lane.height());
            drawHeader(header, tracks[t], t);
            m_painter.setPen(QPen(palette::line, 1));
            m_painter.drawLine(QPointF(header.left(), lane.bottom()), QPointF(lane.right(), lane.bottom()));
        }
        QFont font = Canvas::font(12, true);
        // The regions first, then their names, so that no region covers a name.
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t r = 0; r < regions.size(); ++r) {
                const json& region = regions[r];
                std::size_t track = region.value("track", std::size_t(0));
                if (track >= lanes.size())
                    continue;
                const QRectF& lane = lanes[track];
                double start = region.value("start", 0.0), length = region.value("length", 0.0);
                QRectF box(xOf(start), lane.top() + 3, std::max(3.0, length * m_pixelsPerSecond), lane.height() - 6);
                std::optional<int> color = colorIndex(region);
                QColor fill = qcolor(color ? logicColor(*color) : defaultRegionColor());
                if (pass == 0) {
                    m_painter.setPen(QPen(fill.darker(160), 1));
                    m_painter.setBrush(fill);
                    m_painter.drawRoundedRect(box, 3, 3);
                    continue;
                }
                QString name = nameOf(region);
                QRectF plate(box.left(), box.top() + 2 + m_regionRows[r] * kLabelRowHeight, Canvas::widthOf(name, font) + 8, kLabelRowHeight - 2);
                m_painter.fillRect(plate, fill.darker(115));
                m_canvas.text(plate.adjusted(4, 0, 0, 0), name, font, textOn(fill), Qt::AlignVCenter | Qt::AlignLeft);
                Change change = changeOf(m_changes ? &m_changes->regions : nullptr, r);
                if (change != Change::same)
                    m_canvas.outline(box.united(plate).adjusted(-2, -2, 2, 2), changeColor(change), 2);
            }
    }

    void drawHeader(const QRectF& header, const json& track, std::size_t index)
    {
        m_painter.fillRect(header.adjusted(0, 0, 0, -1), palette::panel);
        if (std::optional<int> color = colorIndex(track))
            m_painter.fillRect(QRectF(header.left(), header.top(), 6, header.height()), qcolor(logicColor(*color)));
        QRectF line(header.left() + 12, header.top(), header.width() - 20, header.height());
        QRectF number = m_canvas.text(line, QString::number(index + 1), Canvas::font(11), palette::dimText, Qt::AlignVCenter | Qt::AlignLeft);
        double x = header.right() - 8;
        QFont small = Canvas::font(10, true);
        for (const char* letter : { "R", "S", "M" }) {
            QRectF button(x - 18, header.center().y() - 9, 18, 18);
            m_painter.setPen(Qt::NoPen);
            m_painter.setBrush(palette::control);
            m_painter.drawRoundedRect(button, 3, 3);
            m_canvas.text(button, letter, small, palette::text, Qt::AlignCenter);
            x -= 22;
        }
        QRectF nameFrame(number.right() + 8, header.top(), x - number.right() - 12, header.height());
        drawName(nameFrame, nameOf(track));
        Change change = changeOf(m_changes ? &m_changes->tracks : nullptr, index);
        if (change != Change::same)
            m_canvas.outline(header.adjusted(1, 1, -1, -2), changeColor(change), 2);
    }

    /// A track's name in full: smaller type when it is long, down to 10 pixels.
    void drawName(const QRectF& frame, const QString& name)
    {
        int pixels = 13;
        while (pixels > 10 && Canvas::widthOf(name, Canvas::font(pixels, true)) > frame.width())
            --pixels;
        m_canvas.text(frame, name, Canvas::font(pixels, true), palette::text, Qt::AlignVCenter | Qt::AlignLeft);
    }

    void drawLocatorsOverLanes(const QRectF& ruler)
    {
        const json& locators = elements::objectMember(m_document, "locators");
        if (!locators.contains("left"))
            return;
        double left = xOf(locators.value("left", 0.0)), right = xOf(locators.value("right", 0.0));
        QColor tint = palette::locators;
        tint.setAlpha(40);
        m_painter.fillRect(QRectF(left, ruler.bottom(), std::max(2.0, right - left), m_frames.area.bottom() - ruler.bottom()), tint);
    }

    void drawPlayhead(const QRectF& ruler)
    {
        double x = xOf(m_transport.value("playheadSeconds", m_first));
        m_painter.setPen(QPen(m_changes && m_changes->playhead ? palette::changed : palette::playhead, 2));
        m_painter.drawLine(QPointF(x, ruler.top()), QPointF(x, m_frames.area.bottom()));
        QPainterPath head;
        head.moveTo(x - 6, ruler.top());
        head.lineTo(x + 6, ruler.top());
        head.lineTo(x, ruler.top() + 9);
        head.closeSubpath();
        m_painter.fillPath(head, palette::playhead);
    }

    Canvas& m_canvas;
    QPainter& m_painter;
    TimelineFrames m_frames;
    const DocumentChanges* m_changes;
    const json& m_document;
    const json& m_transport;
    double m_first { 0 };
    double m_pixelsPerSecond { 20 };
    std::vector<int> m_regionRows;
};

} // namespace

void drawTimeline(Canvas& canvas, const json& state, const TimelineFrames& frames, const DocumentChanges* changes)
{
    canvas.painter().save();
    canvas.painter().setClipRect(frames.headers.united(frames.area));
    canvas.painter().setRenderHint(QPainter::Antialiasing, false); // crisp lanes and playhead
    TimelinePainter(canvas, state, frames, changes).draw();
    canvas.painter().restore();
}

} // namespace mq::sim
