// A picture of Logic as logicsim holds it, drawn from the world's state report
// (`logicsim ctl state`) with Qt's painter, without a display: the main screen
// with every application's windows back to front, each with its title bar and
// controls; in Logic's project window the control bar, toolbar, inspector and
// library, and the document over a timecode ruler (its tracks with their
// regions, the marker track, the locators and the playhead). Given an earlier
// state, what changed since is outlined and listed in a panel.
#pragma once

#include "sim/snapshot/DrawnLabel.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

class QImage;

namespace mq::sim {

/// Draws `state` (marking the changes since `before`, when given) into `image`,
/// which becomes the size of the main screen; answers every text drawn, or
/// why nothing could be.
std::optional<std::string> drawSnapshot(const nlohmann::json& state, const nlohmann::json* before, QImage& image, std::vector<DrawnLabel>& labels);

/// Draws as above and writes the picture to `pngPath` as a PNG. Nothing on
/// success, else why it could not be written.
std::optional<std::string> writeSnapshot(const nlohmann::json& state, const std::string& pngPath, const nlohmann::json* before = nullptr);

} // namespace mq::sim
