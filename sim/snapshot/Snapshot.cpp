#include "sim/snapshot/Snapshot.h"

#include "sim/snapshot/LogicPalette.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdlib>
#include <memory>
#include <vector>

namespace mq::sim {

namespace {

using nlohmann::json;

// Logic's dark interface.
const QColor kDesktop { 0x5a, 0x6b, 0x7d };
const QColor kMenuBar { 0xe8, 0xe8, 0xe8 };
const QColor kWindow { 0x2b, 0x2b, 0x2b };
const QColor kTitleBar { 0x3c, 0x3c, 0x3c };
const QColor kPanel { 0x33, 0x33, 0x33 };
const QColor kTracks { 0x24, 0x24, 0x24 };
const QColor kLine { 0x4a, 0x4a, 0x4a };
const QColor kText { 0xd8, 0xd8, 0xd8 };
const QColor kControl { 0x4c, 0x4c, 0x4c };
const QColor kLCD { 0x10, 0x1a, 0x14 };
const QColor kLCDText { 0x6c, 0xf0, 0x9a };
const QColor kPlayhead { 0xf2, 0xf2, 0xf2 };
const QColor kLocators { 0x8c, 0x8c, 0x3c, 0x70 };
const QColor kDialog { 0x3a, 0x3a, 0x3a };

QColor qcolor(RGB rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

const json& attributes(const json& element)
{
    static const json none = json::object();
    auto it = element.find("attributes");
    return it != element.end() && it->is_object() ? *it : none;
}

/// The element's frame from AXPosition and AXSize, when it has both.
std::optional<QRectF> frameOf(const json& element)
{
    const json& a = attributes(element);
    auto position = a.find("AXPosition");
    auto size = a.find("AXSize");
    if (position == a.end() || size == a.end() || !position->is_object() || !size->is_object() || !position->contains("point") || !size->contains("size"))
        return std::nullopt;
    const json& p = (*position)["point"];
    const json& s = (*size)["size"];
    return QRectF(p[0].get<double>(), p[1].get<double>(), s[0].get<double>(), s[1].get<double>());
}

QString stringAttribute(const json& element, const char* name)
{
    const json& a = attributes(element);
    auto it = a.find(name);
    return it != a.end() && it->is_string() ? QString::fromStdString(it->get<std::string>()) : QString();
}

/// What a person reads on the element: its title, value or description.
QString labelOf(const json& element)
{
    for (const char* name : { "AXTitle", "AXValue", "AXDescription" })
        if (QString text = stringAttribute(element, name); !text.isEmpty())
            return text;
    return {};
}

/// A colour index the world gave the element (a region or track), if any.
std::optional<int> colorIndexOf(const json& element)
{
    for (const char* name : { "colorIndex", "color" }) {
        if (auto it = element.find(name); it != element.end() && it->is_number_integer())
            return it->get<int>();
    }
    return std::nullopt;
}

const json* findByKey(const json& element, const std::string& key)
{
    if (element.value("key", "") == key)
        return &element;
    if (auto children = element.find("children"); children != element.end() && children->is_array())
        for (const json& child : *children)
            if (const json* found = findByKey(child, key))
                return found;
    return nullptr;
}

class ScreenPainter {
public:
    ScreenPainter(QPainter& painter, const json& state)
        : m_painter(painter)
        , m_state(state)
    {
    }

    void drawDesktop(const QRectF& screen, const QRectF& visible)
    {
        m_painter.fillRect(screen, kDesktop);
        // The menu bar is the strip above the visible frame.
        if (visible.top() > screen.top())
            m_painter.fillRect(QRectF(screen.left(), screen.top(), screen.width(), visible.top() - screen.top()), kMenuBar);
    }

    /// Logic's windows, back to front (the state lists them front to back).
    void drawLogicWindows()
    {
        for (const json& application : m_state.value("applications", json::array())) {
            if (application.value("bundleIdentifier", "") != "com.apple.logic10")
                continue;
            const json& windows = application.value("windows", json::array());
            for (auto it = windows.rbegin(); it != windows.rend(); ++it)
                drawWindow(*it);
        }
    }

private:
    void drawWindow(const json& window)
    {
        std::optional<QRectF> frame = frameOf(window);
        if (!frame)
            return;
        bool dialog = window.value("role", "") == "AXSheet" || attributes(window).value("AXModal", false)
            || attributes(window).value("AXSubrole", "") == "AXFloatingWindow";
        m_painter.save();
        m_painter.setClipRect(*frame);
        m_painter.fillRect(*frame, dialog ? kDialog : kWindow);
        QRectF title(frame->left(), frame->top(), frame->width(), 22);
        m_painter.fillRect(title, kTitleBar);
        m_painter.setPen(kText);
        m_painter.setFont(font(11, true));
        m_painter.drawText(title, Qt::AlignCenter, stringAttribute(window, "AXTitle"));
        drawChildren(window);
        if (window.value("key", "") == "project")
            drawTimeline(window);
        m_painter.restore();
        outline(*frame);
    }

    void outline(const QRectF& frame)
    {
        m_painter.setPen(QPen(kLine, 1));
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawRect(frame);
    }

    void drawChildren(const json& element)
    {
        if (auto children = element.find("children"); children != element.end() && children->is_array())
            for (const json& child : *children)
                drawElement(child);
    }

    void drawElement(const json& element)
    {
        const std::string role = element.value("role", "");
        const std::string key = element.value("key", "");
        std::optional<QRectF> frame = frameOf(element);
        if (role == "AXSheet") {
            drawWindow(element);
            return;
        }
        if (frame && frame->width() > 0 && frame->height() > 0) {
            if (key == "smpte-display") {
                drawDisplay(element, *frame);
                return;
            }
            drawShape(element, role, *frame);
        }
        drawChildren(element);
    }

    void drawShape(const json& element, const std::string& role, const QRectF& frame)
    {
        QString label = labelOf(element);
        if (role == "AXToolbar" || role == "AXGroup") {
            if (element.value("key", "") == "control-bar" || role == "AXToolbar")
                m_painter.fillRect(frame, kPanel);
            outline(frame);
        } else if (role == "AXLayoutArea") {
            m_painter.fillRect(frame, kTracks);
        } else if (role == "AXLayoutItem") {
            drawRegion(frame, colorIndexOf(element), label);
        } else if (role == "AXButton" || role == "AXCheckBox" || role == "AXPopUpButton" || role == "AXRadioButton") {
            m_painter.setPen(Qt::NoPen);
            m_painter.setBrush(kControl);
            m_painter.drawRoundedRect(frame.adjusted(1, 1, -1, -1), 3, 3);
            drawLabel(frame, label, Qt::AlignCenter);
        } else if (role == "AXTextField") {
            m_painter.fillRect(frame, QColor(0x1a, 0x1a, 0x1a));
            outline(frame);
            drawLabel(frame.adjusted(4, 0, 0, 0), stringAttribute(element, "AXValue"), Qt::AlignVCenter | Qt::AlignLeft);
        } else if (role == "AXStaticText") {
            drawLabel(frame, label, Qt::AlignVCenter | Qt::AlignLeft);
        } else if (role == "AXImage") {
            m_painter.fillRect(frame.adjusted(2, 2, -2, -2), kControl);
        }
    }

    void drawRegion(const QRectF& frame, std::optional<int> colorIndex, const QString& name)
    {
        QColor fill = qcolor(colorIndex ? logicColor(*colorIndex) : defaultRegionColor());
        m_painter.setPen(QPen(fill.darker(160), 1));
        m_painter.setBrush(fill);
        m_painter.drawRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
        if (frame.width() > 30) {
            m_painter.setPen(fill.lightness() > 140 ? QColor(0x20, 0x20, 0x20) : QColor(0xf0, 0xf0, 0xf0));
            m_painter.setFont(font(9, false));
            m_painter.drawText(frame.adjusted(3, 1, -2, 0), Qt::AlignTop | Qt::AlignLeft, name);
        }
    }

    /// The SMPTE display: an LCD with the sliders' texts, left to right.
    void drawDisplay(const json& display, const QRectF& frame)
    {
        QStringList fields;
        for (const json& slider : display.value("children", json::array()))
            if (QString text = stringAttribute(slider, "AXValueDescription"); !text.isEmpty())
                fields << text;
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(kLCD);
        m_painter.drawRoundedRect(frame, 4, 4);
        m_painter.setPen(kLCDText);
        m_painter.setFont(QFont("DejaVu Sans Mono", static_cast<int>(std::max(10.0, frame.height() * 0.5)), QFont::Bold));
        m_painter.drawText(frame, Qt::AlignCenter, fields.join(':'));
    }

    /// What lies over the tracks area by time: Logic's document (the tracks' and
    /// regions' colours, the marker track with its markers), the locators and the
    /// playhead. The area shows twenty bars from bar 1, as Logic's default zoom does;
    /// track i is the area's i-th lane.
    void drawTimeline(const json& window)
    {
        const json* tracks = findByKey(window, "tracks-area");
        std::optional<QRectF> area = tracks ? frameOf(*tracks) : std::nullopt;
        if (!area)
            return;
        const json& transport = m_state.value("transport", json::object());
        double bar1 = transport.value("bar1Seconds", 0.0);
        double barSeconds = transport.value("barSeconds", 2.0);
        double pixelsPerSecond = area->width() / (20 * (barSeconds > 0 ? barSeconds : 2.0));
        auto xOf = [&](double seconds) { return area->left() + (seconds - bar1) * pixelsPerSecond; };
        const json& document = m_state.value("logic", json::object());

        m_painter.save();
        m_painter.setClipRect(*area);
        std::vector<QRectF> lanes = laneFrames(*tracks);
        drawTrackHeaders(window, document, lanes.size());
        for (const json& region : document.value("regions", json::array())) {
            std::size_t track = region.value("track", std::size_t(0));
            if (track >= lanes.size())
                continue;
            double start = region.value("start", bar1), length = region.value("length", 0.0);
            QRectF frame(xOf(start), lanes[track].top() + 2, std::max(2.0, length * pixelsPerSecond), lanes[track].height() - 4);
            drawRegion(frame, colorIndex(region), QString::fromStdString(region.value("name", "")));
        }
        if (document.value("markerTrackShown", false) || !document.value("markers", json::array()).empty())
            drawMarkerTrack(document, QRectF(area->left(), area->top(), area->width(), 18), xOf, pixelsPerSecond);
        if (const json& locators = document.value("locators", json()); locators.is_object()) {
            double left = locators.value("left", bar1), right = locators.value("right", bar1);
            m_painter.fillRect(QRectF(xOf(left), area->top(), (right - left) * pixelsPerSecond, area->height()), kLocators);
        }
        double x = xOf(transport.value("playheadSeconds", bar1));
        m_painter.setPen(QPen(kPlayhead, 1.5));
        m_painter.drawLine(QPointF(x, area->top()), QPointF(x, area->bottom()));
        QPainterPath head;
        head.moveTo(x - 6, area->top());
        head.lineTo(x + 6, area->top());
        head.lineTo(x, area->top() + 8);
        head.closeSubpath();
        m_painter.fillPath(head, kPlayhead);
        m_painter.restore();
    }

    static std::optional<int> colorIndex(const json& item)
    {
        auto it = item.find("color");
        return it != item.end() && it->is_number_integer() ? std::optional(it->get<int>()) : std::nullopt;
    }

    /// The tracks area's lanes, top to bottom.
    static std::vector<QRectF> laneFrames(const json& tracksArea)
    {
        std::vector<QRectF> lanes;
        for (const json& lane : tracksArea.value("children", json::array()))
            if (std::optional<QRectF> frame = frameOf(lane))
                lanes.push_back(*frame);
        return lanes;
    }

    /// Each document track's name over its header's title (a track named since
    /// the window was built shows its new name), and a coloured strip at the left
    /// of each coloured track's header.
    void drawTrackHeaders(const json& window, const json& document, std::size_t laneCount)
    {
        const json* headers = findByKey(window, "track-headers");
        if (!headers)
            return;
        const json& headerList = headers->value("children", json::array());
        std::vector<QRectF> headerFrames = laneFrames(*headers);
        const json& tracks = document.value("tracks", json::array());
        m_painter.save();
        m_painter.setClipping(false);
        for (std::size_t i = 0; i < tracks.size() && i < headerFrames.size() && i < laneCount && i < headerList.size(); ++i) {
            if (std::optional<QRectF> title = titleFrameOf(headerList[i])) {
                m_painter.fillRect(*title, kWindow);
                drawLabel(*title, QString::fromStdString(tracks[i].value("name", "")), Qt::AlignVCenter | Qt::AlignLeft);
            }
            if (std::optional<int> color = colorIndex(tracks[i]))
                m_painter.fillRect(QRectF(headerFrames[i].left(), headerFrames[i].top(), 4, headerFrames[i].height()), qcolor(logicColor(*color)));
        }
        m_painter.restore();
    }

    /// The frame of a track header's name: its first static text.
    static std::optional<QRectF> titleFrameOf(const json& header)
    {
        for (const json& child : header.value("children", json::array()))
            if (child.value("role", "") == "AXStaticText")
                return frameOf(child);
        return std::nullopt;
    }

    template<typename XOf>
    void drawMarkerTrack(const json& document, const QRectF& strip, XOf xOf, double pixelsPerSecond)
    {
        m_painter.fillRect(strip, QColor(0x1c, 0x1c, 0x1c));
        for (const json& marker : document.value("markers", json::array())) {
            double start = marker.value("start", 0.0), end = marker.value("end", start);
            QRectF frame(xOf(start), strip.top() + 1, std::max(3.0, (end - start) * pixelsPerSecond), strip.height() - 2);
            std::optional<int> color = colorIndex(marker);
            QColor fill = color ? qcolor(logicColor(*color)) : QColor(0x9a, 0x9a, 0x9a);
            m_painter.fillRect(frame, fill);
            m_painter.setPen(fill.lightness() > 140 ? QColor(0x15, 0x15, 0x15) : QColor(0xf5, 0xf5, 0xf5));
            m_painter.setFont(font(10, true));
            m_painter.drawText(frame.adjusted(3, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                QString::fromStdString(marker.value("name", "")));
        }
    }

    void drawLabel(const QRectF& frame, const QString& text, Qt::Alignment alignment)
    {
        if (text.isEmpty() || frame.height() < 8)
            return;
        m_painter.setPen(kText);
        m_painter.setFont(font(9, false));
        m_painter.drawText(frame, alignment | Qt::TextSingleLine, text);
    }

    static QFont font(int pixels, bool bold)
    {
        QFont f("DejaVu Sans");
        f.setPixelSize(pixels);
        f.setBold(bold);
        return f;
    }

    QPainter& m_painter;
    const json& m_state;
};

/// The main screen's frame and visible frame (the first screen when none is marked main).
std::pair<QRectF, QRectF> mainScreen(const json& state)
{
    QRectF frame(0, 0, 1920, 1080), visible = frame;
    const json& screens = state.value("screens", json::array());
    const json* chosen = screens.empty() ? nullptr : &screens[0];
    for (const json& screen : screens)
        if (screen.value("main", false)) {
            chosen = &screen;
            break;
        }
    auto rect = [](const json& values, QRectF fallback) {
        if (!values.is_array() || values.size() != 4)
            return fallback;
        return QRectF(values[0].get<double>(), values[1].get<double>(), values[2].get<double>(), values[3].get<double>());
    };
    if (chosen) {
        frame = rect(chosen->value("frame", json()), frame);
        visible = rect(chosen->value("visibleFrame", json()), frame);
    }
    return { frame, visible };
}

/// Qt draws text only with an application object; one for the offscreen
/// platform is made on first use, so that no display is needed.
void ensureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "logicsim";
    static char* argv[] = { name, nullptr };
    static std::unique_ptr<QGuiApplication> application = std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace

std::optional<std::string> writeSnapshot(const json& state, const std::string& pngPath)
{
    ensureGuiApplication();
    auto [screen, visible] = mainScreen(state);
    if (screen.width() < 1 || screen.height() < 1 || screen.width() > 16384 || screen.height() > 16384)
        return "the main screen's frame cannot be drawn";
    QImage image(static_cast<int>(screen.width()), static_cast<int>(screen.height()), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        painter.translate(-screen.topLeft());
        ScreenPainter screenPainter(painter, state);
        screenPainter.drawDesktop(screen, visible);
        screenPainter.drawLogicWindows();
    }
    if (!image.save(QString::fromStdString(pngPath), "PNG"))
        return "cannot write " + pngPath;
    return std::nullopt;
}

} // namespace mq::sim
