// Waiting for Logic to take bar 1 in its Go to Position dialog: after the bar
// field is left with Tab, Logic takes the typed position a moment later, and
// only then shows it in the "New Position (Bars)" group (the dialog's second
// child) and bar 1's time in the SMPTE group. Reading the SMPTE group earlier
// reads the old position.
#pragma once

#include "ax/UIElement.h"

#include <string_view>

namespace mq::logic {

/// Whether a Bars group's text is bar 1: "1 1 1 1" (any separators, at least one number, every number 1).
bool showsBarOne(std::string_view barsText);

/// Waits (polling, at most `timeoutSeconds`) until the dialog's second child shows
/// bar 1; true when it does, false at the time-out.
bool waitForBarOneTaken(const ax::UIElement& dialog, double timeoutSeconds);

} // namespace mq::logic
