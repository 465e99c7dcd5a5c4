#include "permissions/OnboardingAppearance.h"

#include "permissions/OnboardingContent.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace mq::permissions::appearance {

namespace {

QFont generalFont(content::FontStyle style)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(style.points);
    font.setWeight(style.semibold ? QFont::DemiBold : QFont::Normal);
    return font;
}

// Whether the application draws dark: its window background is darker than mid grey.
bool isDarkAppearance()
{
    return QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
}

} // namespace

const QFont& titleFont()
{
    static const QFont font = generalFont(content::kTitleFont);
    return font;
}

const QFont& bodyFont()
{
    static const QFont font = generalFont(content::kBodyFont);
    return font;
}

const QFont& rowTitleFont()
{
    static const QFont font = generalFont(content::kRowTitleFont);
    return font;
}

const QFont& rowDescriptionFont()
{
    static const QFont font = generalFont(content::kRowDescriptionFont);
    return font;
}

const QFont& footnoteFont()
{
    static const QFont font = generalFont(content::kFootnoteFont);
    return font;
}

const QColor& systemGreen()
{
    static const QColor color = isDarkAppearance() ? QColor(48, 209, 88) : QColor(52, 199, 89);
    return color;
}

const QColor& systemRed()
{
    static const QColor color = isDarkAppearance() ? QColor(255, 69, 58) : QColor(255, 59, 48);
    return color;
}

} // namespace mq::permissions::appearance
