// Logic's export: command 1197 opens the bounce dialog, whose save panel carries
// AXIdentifier "save-panel" and a name field "saveAsNameTextField". The panel is
// a window of its own, or a sheet on the project window when the scenario shows
// "save-panel" as a sheet (its "sheets", or `ctl sheets`). Export closes it and,
// after the export gap (sim/Latency.h), shows a modal progress window while Logic
// bounces (bounceMsPerSecond of the range), then writes the WAV of the bounced
// range into `directory` and closes the progress window; Logic's main thread is
// busy from the panel closing to the end. Cancel closes it. The bounced range is the movie region when there is one, else from bar 1
// to the project's end.
//
// Logic's user at the panel: `export-user` acts at once (types a name, presses
// Export or Cancel); `user` in the settings acts by itself `afterMs` after the
// panel opened. Without either the panel stays open.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace mq::sim {

struct World;
struct Dialogs;

/// What logicsim's user does at the save panel.
struct ExportUser {
    /// Typed into the name field first, replacing what is there.
    std::optional<std::string> name;
    /// "export", "cancel" or "none" (the panel is left open).
    std::string press { "export" };
    int afterMs { 0 };
    /// A person presses the button a moment after typing.
    int pressAfterTypingMs { 400 };
};

struct ExportSettings {
    /// Where Export writes the file; the system's temporary folder when empty.
    std::string directory;
    double bounceMsPerSecond { 50 };
    /// Acts by itself whenever the panel opens.
    std::optional<ExportUser> user;

    /// Merges the fields of `patch`; throws std::runtime_error for an unknown or bad one.
    void merge(const nlohmann::json& patch);
    nlohmann::json describe() const;
};

struct Export {
    ExportSettings settings;
    /// Every export that ended: {"result": "exported"|"cancelled", "file", "seconds", "error"?}.
    nlohmann::json results = nlohmann::json::array();
};

/// Registers the save panel's and the progress window's behaviours.
void registerExportBehaviors(Dialogs& dialogs);

/// Logic's command 1197: the bounce dialog opens after the window-open delay.
void requestExportDialog(World& world);

/// The user acts at the open panel now: types the name, then presses the button
/// pressAfterTypingMs later (at once when nothing was typed). Throws
/// std::runtime_error when no panel is open.
void actAtExportPanel(World& world, const ExportUser& user);

/// The user of a command or scenario: {"name"?, "press"?, "afterMs"?}. Throws
/// std::runtime_error when it is malformed.
ExportUser exportUserFrom(const nlohmann::json& definition);

} // namespace mq::sim
