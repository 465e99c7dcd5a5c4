#include "permissions/OnboardingAppearance.h"

#include <QFontDatabase>
#include <QGuiApplication>

namespace mq::permissions::appearance {

namespace {

QFont generalFont(int pixelSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
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
    static const QFont font = generalFont(17, QFont::DemiBold);
    return font;
}

const QFont& bodyFont()
{
    static const QFont font = generalFont(13, QFont::Normal);
    return font;
}

const QFont& rowTitleFont()
{
    static const QFont font = generalFont(13, QFont::DemiBold);
    return font;
}

const QFont& rowDescriptionFont()
{
    static const QFont font = generalFont(12, QFont::Normal);
    return font;
}

const QFont& footnoteFont()
{
    static const QFont font = generalFont(11, QFont::Normal);
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
