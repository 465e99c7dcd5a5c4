#include "sim/snapshot/Snapshot.h"

#include "sim/snapshot/Canvas.h"
#include "sim/snapshot/DocumentChanges.h"
#include "sim/snapshot/StateElements.h"
#include "sim/snapshot/WindowPainter.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdlib>
#include <memory>

namespace mq::sim {

namespace {

using nlohmann::json;

/// The main screen's frame and visible frame (the first screen when none is marked main).
std::pair<QRectF, QRectF> mainScreen(const json& state)
{
    QRectF frame(0, 0, 1920, 1080), visible = frame;
    const json& screens = elements::arrayMember(state, "screens");
    const json* chosen = screens.empty() ? nullptr : &screens[0];
    for (const json& screen : screens)
        if (screen.value("main", false)) {
            chosen = &screen;
            break;
        }
    auto rect = [](const json& values, QRectF fallback) {
        if (!values.is_array() || values.size() != 4)
            return fallback;
        for (const json& value : values)
            if (!value.is_number())
                return fallback;
        return QRectF(values[0].get<double>(), values[1].get<double>(), values[2].get<double>(), values[3].get<double>());
    };
    if (chosen) {
        frame = rect(chosen->value("frame", json()), frame);
        visible = rect(chosen->value("visibleFrame", json()), frame);
    }
    return { frame, visible };
}

/// The applications' windows back to front: the frontmost application's last,
/// each application's windows in reverse of the state's front-to-back order.
std::vector<const json*> windowsBackToFront(const json& state)
{
    std::vector<const json*> ordered;
    std::string frontmost = state.value("frontmost", "");
    const json& applications = elements::arrayMember(state, "applications");
    auto add = [&](const json& application) {
        const json& windows = elements::arrayMember(application, "windows");
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            ordered.push_back(&*it);
    };
    for (const json& application : applications)
        if (application.value("key", "") != frontmost)
            add(application);
    for (const json& application : applications)
        if (application.value("key", "") == frontmost)
            add(application);
    return ordered;
}

void drawMenuBar(Canvas& canvas, const QRectF& screen, const QRectF& visible, const json& state)
{
    if (visible.top() <= screen.top())
        return;
    QRectF bar(screen.left(), screen.top(), screen.width(), visible.top() - screen.top());
    canvas.painter().fillRect(bar, palette::menuBar);
    QString name;
    for (const json& application : elements::arrayMember(state, "applications"))
        if (application.value("key", "") == state.value("frontmost", ""))
            name = QString::fromStdString(application.value("localizedName", ""));
    canvas.text(bar.adjusted(16, 0, 0, 0), name, Canvas::font(13, true), QColor(0x20, 0x20, 0x20), Qt::AlignVCenter | Qt::AlignLeft);
}

/// The list of changes at the top right of the screen, in the colours the
/// picture marks them with.
void drawChangesPanel(Canvas& canvas, const QRectF& visible, const DocumentChanges& changes)
{
    QFont font = Canvas::font(12);
    QFont title = Canvas::font(13, true);
    QStringList lines;
    for (const std::string& line : changes.lines)
        lines << QString::fromStdString(line);
    if (lines.isEmpty())
        lines << "no change";
    double width = Canvas::widthOf("Changes since the earlier state", title);
    for (const QString& line : lines)
        width = std::max(width, Canvas::widthOf(line, font));
    width = std::min(width + 24, visible.width() - 16);
    QRectF panel(visible.right() - width - 8, visible.top() + 8, width, 36 + 20.0 * lines.size());
    canvas.painter().fillRect(panel, QColor(0x18, 0x18, 0x18, 235));
    canvas.outline(panel, palette::line);
    canvas.text(QRectF(panel.left() + 12, panel.top() + 6, panel.width() - 24, 20), "Changes since the earlier state", title, palette::text,
        Qt::AlignVCenter | Qt::AlignLeft);
    double y = panel.top() + 30;
    for (const QString& line : lines) {
        QColor color = line.startsWith('+') ? palette::added : line.startsWith('-') ? palette::removed : line.startsWith('~') ? palette::changed : palette::text;
        canvas.text(QRectF(panel.left() + 12, y, panel.width() - 24, 20), line, font, color, Qt::AlignVCenter | Qt::AlignLeft);
        y += 20;
    }
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

std::optional<std::string> drawSnapshot(const json& state, const json* before, QImage& image, std::vector<DrawnLabel>& labels)
{
    ensureGuiApplication();
    auto [screen, visible] = mainScreen(state);
    if (screen.width() < 1 || screen.height() < 1 || screen.width() > 16384 || screen.height() > 16384)
        return "the main screen's frame cannot be drawn";
    std::optional<DocumentChanges> changes;
    if (before)
        changes = compareStates(*before, state);
    image = QImage(static_cast<int>(screen.width()), static_cast<int>(screen.height()), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.translate(-screen.topLeft());
    Canvas canvas(painter);
    painter.fillRect(screen, palette::desktop);
    drawMenuBar(canvas, screen, visible, state);
    for (const json* window : windowsBackToFront(state)) {
        canvas.beginWindow();
        painter.setRenderHint(QPainter::Antialiasing, true);
        drawWindow(canvas, state, *window, changes ? &*changes : nullptr);
    }
    if (changes) {
        canvas.beginWindow();
        drawChangesPanel(canvas, visible, *changes);
    }
    painter.end();
    labels = canvas.labels();
    return std::nullopt;
}

std::optional<std::string> writeSnapshot(const json& state, const std::string& pngPath, const json* before)
{
    QImage image;
    std::vector<DrawnLabel> labels;
    if (auto failure = drawSnapshot(state, before, image, labels))
        return failure;
    if (!image.save(QString::fromStdString(pngPath), "PNG"))
        return "cannot write " + pngPath;
    return std::nullopt;
}

} // namespace mq::sim
