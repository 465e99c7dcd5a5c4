#include "sim/snapshot/WindowPainter.h"

#include "sim/snapshot/LogicPalette.h"
#include "sim/snapshot/StateElements.h"
#include "sim/snapshot/Timeline.h"

#include <algorithm>
#include <vector>

namespace mq::sim {

namespace {

using nlohmann::json;
using namespace elements;

constexpr double kTitleBarHeight = 24;

bool isButton(const std::string& role) { return role == "AXButton" || role == "AXCheckBox" || role == "AXPopUpButton" || role == "AXRadioButton"; }

class WindowPainter {
public:
    WindowPainter(Canvas& canvas, const json& state, const DocumentChanges* changes)
        : m_canvas(canvas)
        , m_painter(canvas.painter())
        , m_state(state)
        , m_changes(changes)
    {
    }

    void draw(const json& window, std::optional<QRectF> parent)
    {
        std::optional<QRectF> frame = frameOf(window);
        if (!frame && parent) // a sheet slides out under its window's title bar
            frame = QRectF(parent->center().x() - 260, parent->top() + kTitleBarHeight, 520, 220);
        if (!frame)
            return;
        bool project = window.value("key", "") == "project" || findByKey(window, "tracks-area");
        bool sheet = role(window) == "AXSheet";
        bool floating = attributes(window).value("AXSubrole", "") == "AXFloatingWindow";
        m_painter.save();
        m_painter.setClipRect(frame->adjusted(0, 0, 1, 1));
        m_painter.fillRect(*frame, project ? palette::window : palette::dialog);
        QRectF body = *frame;
        if (!sheet) {
            drawTitleBar(QRectF(frame->left(), frame->top(), frame->width(), floating ? 18 : kTitleBarHeight), text(window, "AXTitle"), floating);
            body.setTop(frame->top() + (floating ? 18 : kTitleBarHeight));
        }
        if (project)
            drawProjectWindow(window);
        else
            drawContent(window, body);
        m_painter.restore();
        m_canvas.outline(*frame, sheet ? palette::line.lighter(150) : palette::line);
        for (const json& child : children(window))
            if (role(child) == "AXSheet") {
                m_canvas.beginWindow();
                draw(child, frame);
            }
    }

private:
    void drawTitleBar(const QRectF& bar, const QString& title, bool floating)
    {
        m_painter.fillRect(bar, palette::titleBar);
        static const QColor lights[] = { { 0xff, 0x5f, 0x57 }, { 0xfe, 0xbc, 0x2e }, { 0x28, 0xc8, 0x40 } };
        double diameter = floating ? 9 : 12;
        double x = bar.left() + 8;
        for (int i = 0; i < (floating ? 1 : 3); ++i) {
            m_painter.setPen(Qt::NoPen);
            m_painter.setBrush(lights[i]);
            m_painter.drawEllipse(QRectF(x, bar.center().y() - diameter / 2, diameter, diameter));
            x += diameter + 8;
        }
        m_canvas.text(bar, title, Canvas::font(floating ? 11 : 13, true), palette::text, Qt::AlignCenter);
    }

    // --- Logic's project window ---------------------------------------------

    void drawProjectWindow(const json& window)
    {
        if (const json* bar = findByKey(window, "control-bar"))
            drawControlBar(*bar);
        for (const json& child : children(window)) {
            if (role(child) == "AXToolbar")
                drawToolbar(child);
            else if (text(child, "AXDescription") == "Inspector")
                drawInspector(child);
            else if (text(child, "AXDescription") == "Library")
                drawLibrary(child);
        }
        const json* headers = findByKey(window, "track-headers");
        const json* area = findByKey(window, "tracks-area");
        std::optional<QRectF> headersFrame = headers ? frameOf(*headers) : std::nullopt;
        std::optional<QRectF> areaFrame = area ? frameOf(*area) : std::nullopt;
        if (headersFrame && areaFrame)
            drawTimeline(m_canvas, m_state, { *headersFrame, *areaFrame }, m_changes);
    }

    void drawControlBar(const json& bar)
    {
        std::optional<QRectF> frame = frameOf(bar);
        if (!frame)
            return;
        m_painter.fillRect(*frame, palette::panel);
        bool playing = elements::objectMember(m_state, "transport").value("playing", false);
        for (const json& child : children(bar)) {
            std::optional<QRectF> where = frameOf(child);
            if (!where)
                continue;
            if (child.value("key", "") == "smpte-display") {
                drawDisplay(child, *where);
            } else if (isButton(role(child))) {
                QRectF shape = m_canvas.button(*where, labelOf(child), Canvas::font(12));
                if (playing && child.value("key", "") == "play-button")
                    m_canvas.outline(shape.adjusted(1, 1, -1, -1), palette::added, 2);
            }
        }
    }

    /// The SMPTE display: an LCD with the sliders' texts, left to right.
    void drawDisplay(const json& display, const QRectF& frame)
    {
        std::vector<std::pair<double, QString>> fields;
        for (const json& slider : children(display))
            if (QString value = text(slider, "AXValueDescription"); !value.isEmpty())
                fields.emplace_back(frameOf(slider).value_or(QRectF()).left(), value);
        std::stable_sort(fields.begin(), fields.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        QStringList texts;
        for (const auto& field : fields)
            texts << field.second;
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(palette::lcd);
        m_painter.drawRoundedRect(frame, 5, 5);
        QString shown = texts.join(':');
        int pixels = static_cast<int>(frame.height() * 0.6);
        QFont font("DejaVu Sans Mono");
        font.setBold(true);
        do {
            font.setPixelSize(pixels--);
        } while (pixels > 8 && Canvas::widthOf(shown, font) > frame.width() - 12);
        m_canvas.text(frame, shown, font, palette::lcdText, Qt::AlignCenter);
    }

    /// The toolbar's buttons with their names, in one row in the largest type
    /// that lets all of them fit.
    void drawToolbar(const json& toolbar)
    {
        std::optional<QRectF> frame = frameOf(toolbar);
        if (!frame)
            return;
        m_painter.fillRect(*frame, palette::panel);
        QStringList names;
        for (const json& child : children(toolbar))
            if (isButton(role(child)))
                names << labelOf(child);
        int pixels = 12;
        auto widthAt = [&](int size) {
            double total = 0;
            for (const QString& name : names)
                total += Canvas::widthOf(name, Canvas::font(size)) + 18;
            return total;
        };
        while (pixels > 8 && widthAt(pixels) > frame->width() - 16)
            --pixels;
        QFont font = Canvas::font(pixels);
        double x = frame->left() + 8;
        for (const QString& name : names) {
            QRectF shape(x, frame->top() + 7, Canvas::widthOf(name, font) + 12, frame->height() - 14);
            x = m_canvas.button(shape, name, font).right() + 6;
        }
    }

    /// The inspector: each group's settings one under the other, a channel strip's
    /// slots under the strip's name.
    void drawInspector(const json& inspector)
    {
        std::optional<QRectF> frame = frameOf(inspector);
        if (!frame)
            return;
        m_painter.fillRect(*frame, palette::window);
        for (const json& group : children(inspector)) {
            std::optional<QRectF> where = frameOf(group);
            if (!where)
                continue;
            QString name = text(group, "AXDescription");
            if (name.endsWith(" Channel Strip"))
                drawChannelStrip(group, *where, name.chopped(14));
            else
                drawSettings(group, *where, name);
        }
    }

    void drawSettings(const json& group, const QRectF& frame, const QString& title)
    {
        m_canvas.outline(frame.adjusted(2, 2, -2, -2), palette::line);
        QString heading = title;
        const json& document = elements::objectMember(m_state, "logic");
        if (title == "Track Inspector")
            if (const json& selected = document.value("selectedTrack", json()); selected.is_number_unsigned()
                && selected.get<std::size_t>() < elements::arrayMember(document, "tracks").size())
                heading = "Track: " + QString::fromStdString(document["tracks"][selected.get<std::size_t>()].value("name", ""));
        m_canvas.text(QRectF(frame.left() + 10, frame.top() + 4, frame.width() - 20, 18), heading, Canvas::font(12, true), palette::text,
            Qt::AlignVCenter | Qt::AlignLeft);
        double y = frame.top() + 24;
        for (const json& setting : children(group)) {
            if (y + 18 > frame.bottom() - 2)
                break;
            m_canvas.text(QRectF(frame.left() + 14, y, frame.width() - 28, 18), labelOf(setting), Canvas::font(11), palette::dimText,
                Qt::AlignVCenter | Qt::AlignLeft);
            y += 19;
        }
    }

    void drawChannelStrip(const json& strip, const QRectF& frame, const QString& name)
    {
        m_canvas.outline(frame.adjusted(1, 1, -1, -1), palette::line);
        m_canvas.text(QRectF(frame.left(), frame.top() + 2, frame.width(), 18), name, Canvas::font(12, true), palette::text, Qt::AlignCenter);
        double y = frame.top() + 22;
        QFont font = Canvas::font(10);
        std::vector<QString> switches;
        int sliders = 0;
        for (const json& control : children(strip)) {
            QString label = labelOf(control);
            if (label.startsWith(name + " "))
                label = label.mid(name.size() + 1);
            if (role(control) == "AXButton") {
                m_canvas.button(QRectF(frame.left() + 5, y, frame.width() - 10, 17), label, font);
                y += 19;
            } else if (role(control) == "AXCheckBox") {
                switches.push_back(label.left(1));
            } else if (role(control) == "AXSlider") {
                ++sliders;
            }
        }
        if (sliders > 0) { // the pan knob and the volume fader
            m_painter.setPen(QPen(palette::dimText, 2));
            m_painter.setBrush(palette::control);
            m_painter.drawEllipse(QRectF(frame.center().x() - 11, y + 4, 22, 22));
            y += 30;
            double faderBottom = frame.bottom() - 30;
            if (faderBottom > y + 20) {
                m_painter.fillRect(QRectF(frame.center().x() - 2, y + 4, 4, faderBottom - y - 8), palette::field);
                m_painter.fillRect(QRectF(frame.center().x() - 12, (y + faderBottom) / 2 - 5, 24, 10), palette::dimText);
                y = faderBottom;
            }
        }
        double x = frame.left() + 5;
        double width = (frame.width() - 10) / std::max<std::size_t>(1, switches.size());
        for (const QString& letter : switches) {
            m_canvas.button(QRectF(x, y + 4, width - 2, 20), letter, Canvas::font(10, true));
            x += width;
        }
    }

    /// The library: each category and as many of its patches as its place holds.
    void drawLibrary(const json& library)
    {
        std::optional<QRectF> frame = frameOf(library);
        if (!frame)
            return;
        m_painter.fillRect(*frame, palette::window);
        m_canvas.outline(frame->adjusted(1, 1, -1, -1), palette::line);
        m_canvas.text(QRectF(frame->left() + 10, frame->top() + 4, frame->width() - 20, 18), "Library", Canvas::font(12, true), palette::text,
            Qt::AlignVCenter | Qt::AlignLeft);
        double y = frame->top() + 26;
        for (const json& category : children(library)) {
            if (y + 18 > frame->bottom())
                break;
            m_canvas.text(QRectF(frame->left() + 12, y, frame->width() - 24, 18), labelOf(category), Canvas::font(11, true), palette::text,
                Qt::AlignVCenter | Qt::AlignLeft);
            y += 18;
            const json& patches = children(category);
            std::size_t shown = 0;
            for (; shown < patches.size() && shown < 2 && y + 17 <= frame->bottom(); ++shown, y += 17)
                m_canvas.text(QRectF(frame->left() + 24, y, frame->width() - 36, 17), labelOf(patches[shown]), Canvas::font(11), palette::dimText,
                    Qt::AlignVCenter | Qt::AlignLeft);
            if (shown < patches.size() && y + 17 <= frame->bottom()) {
                m_canvas.text(QRectF(frame->left() + 24, y, frame->width() - 36, 17), QStringLiteral("%1 more").arg(patches.size() - shown),
                    Canvas::font(11), palette::dimText, Qt::AlignVCenter | Qt::AlignLeft);
                y += 17;
            }
            y += 4;
        }
    }

    // --- Any other window -----------------------------------------------------

    /// Elements with frames where they are; the rest one row each, buttons in a
    /// row along the bottom, right-aligned as on a Mac.
    void drawContent(const json& window, const QRectF& body)
    {
        std::vector<const json*> buttons;
        double y = body.top() + 14;
        layOut(window, body, y, 0, buttons);
        QFont font = Canvas::font(12);
        double x = body.right() - 14;
        // The default button (AXDefaultButton names it by its element) is blue, as on a Mac.
        const json& defaultButton = objectMember(attributes(window), "AXDefaultButton");
        long long defaultElement = defaultButton.value("element", -1LL);
        for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
            QString label = labelOf(**it);
            double width = std::max(80.0, Canvas::widthOf(label, font) + 24);
            QRectF shape(x - width, body.bottom() - 38, width, 26);
            bool isDefault = defaultElement >= 0 && (*it)->value("id", -2LL) == defaultElement;
            m_painter.setPen(Qt::NoPen);
            m_painter.setBrush(isDefault ? QColor(0x2a, 0x6f, 0xd6) : palette::control);
            m_painter.drawRoundedRect(shape, 5, 5);
            m_canvas.text(shape, label, font, palette::text, Qt::AlignCenter);
            x -= width + 10;
        }
    }

    void layOut(const json& element, const QRectF& body, double& y, int depth, std::vector<const json*>& buttons)
    {
        for (const json& child : children(element)) {
            std::string childRole = role(child);
            if (childRole == "AXSheet")
                continue;
            if (std::optional<QRectF> where = frameOf(child)) {
                drawPlaced(child, *where);
                continue;
            }
            if (isButton(childRole)) {
                buttons.push_back(&child);
                continue;
            }
            double left = body.left() + 16 + depth * 16;
            QRectF row(left, y, body.right() - 16 - left, 24);
            if (row.bottom() > body.bottom() - 44)
                return; // the buttons' row stays clear
            QString description = text(child, "AXDescription");
            QString value = text(child, "AXValue");
            if (childRole == "AXTextField") {
                QRectF name = m_canvas.text(row, description, Canvas::font(12), palette::dimText, Qt::AlignVCenter | Qt::AlignLeft);
                QRectF field(std::max(left + 160, name.right() + 12), row.top() + 1, 220, row.height() - 2);
                m_painter.fillRect(field, palette::field);
                m_canvas.outline(field, palette::line);
                m_canvas.text(field.adjusted(6, 0, -6, 0), value, Canvas::font(12), palette::text, Qt::AlignVCenter | Qt::AlignLeft);
            } else if (!children(child).empty()) {
                m_canvas.text(row, labelOf(child), Canvas::font(12, true), palette::text, Qt::AlignVCenter | Qt::AlignLeft);
                y += 28;
                layOut(child, body, y, depth + 1, buttons);
                continue;
            } else if (!description.isEmpty() && !value.isEmpty()) {
                QRectF name = m_canvas.text(row, description, Canvas::font(12), palette::dimText, Qt::AlignVCenter | Qt::AlignLeft);
                m_canvas.text(QRectF(std::max(left + 160, name.right() + 12), row.top(), 300, row.height()), value, Canvas::font(12, true),
                    palette::text, Qt::AlignVCenter | Qt::AlignLeft);
            } else {
                m_canvas.text(row, labelOf(child), Canvas::font(12), palette::text, Qt::AlignVCenter | Qt::AlignLeft);
            }
            y += 28;
        }
    }

    void drawPlaced(const json& element, const QRectF& frame)
    {
        std::string elementRole = role(element);
        if (element.value("key", "") == "colors-grid") {
            drawColorGrid(frame);
        } else if (isButton(elementRole)) {
            m_canvas.button(frame, labelOf(element), Canvas::font(12));
        } else if (elementRole == "AXTextField") {
            m_painter.fillRect(frame, palette::field);
            m_canvas.outline(frame, palette::line);
            m_canvas.text(frame.adjusted(6, 0, -6, 0), text(element, "AXValue"), Canvas::font(12), palette::text, Qt::AlignVCenter | Qt::AlignLeft);
        } else if (elementRole == "AXStaticText") {
            m_canvas.text(frame, labelOf(element), Canvas::font(12), palette::text, Qt::AlignVCenter | Qt::AlignLeft);
        } else {
            m_canvas.outline(frame, palette::line);
            for (const json& child : children(element))
                if (std::optional<QRectF> where = frameOf(child))
                    drawPlaced(child, *where);
        }
    }

    /// The Colors window's grid: Logic's 96 colours, 8 rows of 12.
    void drawColorGrid(const QRectF& frame)
    {
        double cellWidth = frame.width() / 12, cellHeight = frame.height() / 8;
        for (int index = 0; index < kLogicColorCount; ++index) {
            RGB rgb = logicColor(index);
            QRectF cell(frame.left() + (index % 12) * cellWidth, frame.top() + (index / 12) * cellHeight, cellWidth, cellHeight);
            m_painter.fillRect(cell.adjusted(1, 1, -1, -1), QColor(rgb.red, rgb.green, rgb.blue));
        }
    }

    Canvas& m_canvas;
    QPainter& m_painter;
    const json& m_state;
    const DocumentChanges* m_changes;
};

} // namespace

void drawWindow(Canvas& canvas, const json& state, const json& window, const DocumentChanges* changes, std::optional<QRectF> parent)
{
    WindowPainter(canvas, state, changes).draw(window, parent);
}

} // namespace mq::sim
