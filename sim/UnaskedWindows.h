// Windows that open in Logic without the helper asking for them: the plug-in's
// own panel (a window of Logic, not modal, floating over the project like any
// plug-in window) and an alert (modal), each now or a moment later.
#pragma once

#include <nlohmann/json.hpp>

namespace mq::sim {

struct World;

inline constexpr const char* kPluginPanelKey = "plugin-panel";
inline constexpr const char* kAlertKey = "alert";

/// The plug-in's panel: `title` ("Marquee"), `position` ([300, 200]), `size`
/// ([600, 400]), `subrole` ("AXFloatingWindow"), `focused` (false: it does not
/// take the keyboard focus); `window` adds to or overrides the definition.
nlohmann::json pluginPanelDefinition(const nlohmann::json& args);
/// A modal alert: `key` ("alert"), `title` (""), `message`, `position`
/// ([760, 300]; 360 x 160), an "OK" button that confirms it (the default
/// button) and, with `cancel`, a "Cancel" one (the cancel button).
nlohmann::json alertDefinition(const nlohmann::json& args);

/// Opens `definition` in Logic, in front, at once or `afterMs` later (when
/// Logic is still running then; a window with its key open already is left).
/// False when Logic is not running now.
bool openInLogic(World& world, const nlohmann::json& definition, int afterMs);
/// Closes Logic's window with `key`; false when none is open.
bool closeInLogic(World& world, const std::string& key);

} // namespace mq::sim
