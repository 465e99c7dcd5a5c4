// A picture of Logic as logicsim holds it, drawn from the world's state report
// (`logicsim ctl state`) with Qt's painter, without a display: the screen with
// Logic's windows back to front, the project window's control bar and display,
// tracks and regions in their colours, the marker track with its markers, the
// locators and the playhead, and any dialog or Colors window on top.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace mq::sim {

/// Draws `state` and writes it to `pngPath` as a PNG the size of the main
/// screen. Nothing on success, else why it could not be written.
std::optional<std::string> writeSnapshot(const nlohmann::json& state, const std::string& pngPath);

} // namespace mq::sim
