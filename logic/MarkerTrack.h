// Logic's marker track: found through its header's popup button in the main
// window, revealed once per batch when it is hidden, and hidden again at the
// end of the batch if the helper revealed it.
#pragma once

#include "ax/UIElement.h"
#include "logic/LogicDriving.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace mq::logic {

struct ColorsBatch;

/// The stored action that toggles the marker track's visibility.
inline constexpr std::uint32_t kToggleMarkerTrackAction = 888;

/// The marker track's name in Logic's languages.
inline constexpr std::array<std::string_view, 6> kMarkerTrackPopupNames { "Marker", "Marcador", "Marqueur", "マーカー", "마커", "标记" };

/// Whether `label`, trimmed of white space and line breaks, is one of the
/// marker track's names, ignoring case.
bool isMarkerTrackLabel(std::string_view label);

/// The marker track's popup button: in Logic's main window (AXMainWindow, else
/// AXFocusedWindow, else the first window with a document, else the first), the
/// first AXPopUpButton, depth first to depth 10, whose label (the first non-empty
/// of description, title and value) names the marker track. Nothing when the
/// track is hidden; an error line when there is no main window.
[[nodiscard]] std::optional<ax::UIElement> findMarkerTrackPopup(LogicDriving& logic);

/// Once per batch: reveals the marker track when it is hidden, or undoes the
/// toggle when the track still cannot be found after it.
void ensureMarkerTrackVisibleForBatch(LogicDriving& logic, ColorsBatch& batch);

/// Ends the batch's marker-track step; hides the track when the helper revealed it.
void restoreMarkerTrackIfNeeded(LogicDriving& logic, ColorsBatch& batch);

} // namespace mq::logic
