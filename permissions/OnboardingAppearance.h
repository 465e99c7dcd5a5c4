// The fonts and colours the onboarding window shares between its parts. Each is
// made once, on first use (a QGuiApplication must exist by then).
//
// Sizes are in device-independent pixels: a macOS point is one such pixel, so
// the window keeps the same proportions on every platform whatever its DPI.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace mq::permissions::appearance {

/// The platform's general font at 17, semibold: the heading.
const QFont& titleFont();
/// The general font at 13: the body text.
const QFont& bodyFont();
/// The general font at 13, semibold: a row's title and its "Granted ✓" badge.
const QFont& rowTitleFont();
/// The general font at 12: a row's description.
const QFont& rowDescriptionFont();
/// The general font at 11: the footnote.
const QFont& footnoteFont();

/// The palette role that primary text is drawn with (the label colour).
inline constexpr QPalette::ColorRole kLabelColorRole = QPalette::WindowText;
/// The palette role of secondary text: Qt's placeholder text colour is the label
/// colour at half opacity, which is what the secondary label colour is.
inline constexpr QPalette::ColorRole kSecondaryLabelColorRole = QPalette::PlaceholderText;

/// The system green of the application's appearance (light or dark).
const QColor& systemGreen();
/// The system red of the application's appearance (light or dark).
const QColor& systemRed();

} // namespace mq::permissions::appearance
