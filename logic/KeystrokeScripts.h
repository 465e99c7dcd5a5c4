// The keystroke scripts: short AppleScripts to "System Events" that type into
// Logic's dialogs through Logic's own key handling (Escape, Tab, Return, text).
//
// Each script is assembled from fixed pieces around Logic's process name and,
// for some, inserted text. The pieces are part of the interface with "System
// Events" and are used byte for byte.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <string_view>

namespace mq::logic {

/// The fixed pieces, in the order the scripts use them.
namespace scriptpiece {
inline constexpr std::string_view kOpening = "tell application \"System Events\"\n    tell process \"";
inline constexpr std::string_view kOpeningTwoSpaces = "tell application \"System Events\"\n  tell process \"";
inline constexpr std::string_view kEscapeAndClose = "\"\n        key code 53\n    end tell\nend tell";
inline constexpr std::string_view kBarOneAndTabClose = "\"\n        keystroke \"1 1 1 1\"\n        keystroke tab\n    end tell\nend tell";
inline constexpr std::string_view kTabThenText = "\"\n        keystroke tab\n        keystroke \"";
inline constexpr std::string_view kTabTabThenText = "\"\n        keystroke tab\n        keystroke tab\n        keystroke \"";
inline constexpr std::string_view kTabPauseThenText = "\"\n        keystroke tab\n        delay 0.1\n        keystroke \"";
inline constexpr std::string_view kTextFollows = "\"\n        keystroke \"";
inline constexpr std::string_view kSelectAllThenText = "\"\n        keystroke \"a\" using {command down}\n        keystroke \"";
inline constexpr std::string_view kReturnAndCloseFiveSpaces = "\"\n        keystroke return\n     end tell\nend tell";
inline constexpr std::string_view kReturnAndClose = "\"\n        keystroke return\n    end tell\nend tell";
inline constexpr std::string_view kGoToFolderPasteConfirmClose
    = "\"\n    delay 1.0\n    keystroke \"g\" using {command down, shift down}\n    delay 1.0\n    keystroke \"v\" using {command "
      "down}\n    keystroke return\n    delay 1.0\n    keystroke return\n  end tell\nend tell";
} // namespace scriptpiece

/// Logic's process name in the scripts: the localized name of Logic's running
/// application, or "Logic Pro" when Logic is not running or reports no name.
/// Inserted as it is, without escaping.
std::string logicProcessName(platform::Platform& platform);

/// Field text (a marker or track name) made safe to insert between double quotes:
/// every backslash doubled first, then every double quote preceded by a backslash.
/// Timecode text (digits and colons) is inserted without it.
std::string escapeFieldText(std::string_view text);

// The scripts in use. `text`, `first` and `second` are inserted as they are:
// callers escape names with escapeFieldText and pass timecode text unchanged.

/// Escape: cancels the front dialog.
std::string escapeScript(std::string_view processName);
/// Bar 1: types "1 1 1 1" into the bar field, then Tab.
std::string barOneScript(std::string_view processName);
/// Tab, a 0.1 s pause, the text, Return: fills a dialog's next field and confirms.
std::string tabDelayTextReturnScript(std::string_view processName, std::string_view text);
/// Tab, the first value, Tab Tab, the second value, Return ("Set Left and Right Locator").
std::string locatorsScript(std::string_view processName, std::string_view first, std::string_view second);
/// The text, then Return.
std::string textReturnScript(std::string_view processName, std::string_view text);
/// Select all, the text, then Return.
std::string selectAllTextReturnScript(std::string_view processName, std::string_view text);
/// Go to folder (Shift-Cmd-G), paste the path on the pasteboard, Return twice.
std::string goToFolderScript(std::string_view processName);

// The same scripts, addressed to Logic and run; each answers runAppleScript's result.

bool sendEscape(platform::Platform& platform);
bool sendBarOne(platform::Platform& platform);
bool sendTabDelayTextReturn(platform::Platform& platform, std::string_view text);
bool sendLocators(platform::Platform& platform, std::string_view first, std::string_view second);
bool sendTextReturn(platform::Platform& platform, std::string_view text);
bool sendSelectAllTextReturn(platform::Platform& platform, std::string_view text);
bool sendGoToFolder(platform::Platform& platform);

} // namespace mq::logic
