// Logic's side of opening a movie: entering the movie's path in the "Open Movie"
// file dialog through its go-to-folder field, the movie options window that
// Logic shows for some movies, and the movie's own window once it has loaded.
#pragma once

#include "ax/UIElement.h"
#include "platform/Platform.h"

#include <optional>
#include <string_view>

namespace mq::logic {

/// Puts `path` on the pasteboard, runs the Go to folder keystroke script against
/// Logic (which opens the dialog's go-to-folder field, pastes, and confirms
/// twice), and puts the pasteboard back as it was, whether or not the script ran.
/// Returns whether the script ran. Blocks for the script's own pauses (about 3 s).
bool enterPathInOpenDialog(platform::Platform& platform, std::string_view path);

/// Polls Logic's windows for the movie options window: the first window with
/// exactly six children whose AXSubrole is "AXFloatingWindow". Nothing (with an
/// error line naming `label`) when Logic is not reachable, at once, or when the
/// time runs out.
std::optional<ax::UIElement> waitForLogicOpenMovieDialog(platform::Platform& platform, std::string_view label, double timeoutSeconds,
    double pollIntervalSeconds);

/// Polls Logic's windows for the loaded movie's window: the first whose AXSubrole
/// is "AXDialog" and whose AXTitle contains `movieName`. Nothing (with an error
/// line) when Logic is not reachable, at once, or when the time runs out.
std::optional<ax::UIElement> waitForLogicMovieWindow(platform::Platform& platform, std::string_view movieName, double timeoutSeconds,
    double pollIntervalSeconds);

/// Answers the movie options window: when its second child's AXValue reads as the
/// integer 1 it is pressed (turned off); then the fourth child is pressed, which
/// goes on. A window with fewer than four children is left alone.
void answerMovieOptions(const ax::UIElement& optionsWindow);

} // namespace mq::logic
