// One window as the snapshot draws it: the frame, the title bar with its title
// and its close, minimise and zoom buttons, and the content. Logic's project
// window shows its control bar, toolbar, inspector, library and the document's
// timeline; any other window (a dialog, a sheet, the Colors window) shows its
// elements with their labels, placed where they say they are or, when they
// carry no frame, one under the other with the buttons along the bottom.
#pragma once

#include "sim/snapshot/Canvas.h"
#include "sim/snapshot/DocumentChanges.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace mq::sim {

/// Draws `window` of the world `state`; a sheet without a frame hangs from
/// the top of `parent`.
void drawWindow(Canvas& canvas, const nlohmann::json& state, const nlohmann::json& window, const DocumentChanges* changes,
    std::optional<QRectF> parent = std::nullopt);

} // namespace mq::sim
