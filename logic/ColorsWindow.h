// Logic's Colors window for a batch of marker and placement requests: opening
// it (and remembering whether the helper did), moving it so that its grid is on
// screen and clear of the client's progress panel, clicking a colour cell, and
// closing it at the end of the batch if the helper opened it.
//
// Every problem here is logged and the colour step skipped; only a click that
// could land outside the Colors window fails a request. The functions run on the request's thread while it holds the
// Logic-driving lock, which also guards the batch fields.
#pragma once

#include "ax/Application.h"
#include "ax/UIElement.h"
#include "logic/LogicDriving.h"
#include "platform/CoreTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mq::logic {

/// The stored action that toggles Logic's Colors window.
inline constexpr std::uint32_t kToggleColorsWindowAction = 483;

/// What the helper remembers from the first marker or placement request after
/// one batch's close to the next close.
struct ColorsBatch {
    /// The Colors window last found or opened; reused while it is still Logic's.
    std::optional<ax::UIElement> colorsWindow;
    /// Only a window the helper opened is closed at the end of the batch.
    bool colorsWindowOpenedByHelper { false };
    /// The helper revealed the hidden marker track in this batch.
    bool markerTrackShownByHelper { false };
    /// The marker track was seen to in this batch; later requests leave it.
    bool markerTrackEnsuredThisBatch { false };
};

/// Whether `window` is Logic's Colors window: a window holding a group with the
/// colour grid's frame (colorGridRect of the window's origin, 24 x 4 cells of
/// 28 x 20 points). A plug-in's panel, an alert or a dialog is not.
bool isColorsWindow(const ax::UIElement& window);

/// The Colors window: the batch's while it is still one of Logic's windows, else
/// the one that toggling it brings up (within 1 s). When Logic showed one already
/// (the user's), the toggle closes it and a second toggle opens it again; it is
/// not counted as the helper's. Windows are recognised by isColorsWindow, never
/// by being new. Nothing, with an error line, when Logic or the window is not there.
[[nodiscard]] std::optional<ax::UIElement> ensureColorsWindowOpen(LogicDriving& logic, ColorsBatch& batch);

/// Moves `window` (whose frame is `frame`) so that its grid lies inside the
/// visible frame of its screen and, when `avoidAppKit` is not the null rectangle,
/// clear of it by 8 points; answers the window's frame afterwards.
platform::CGRect ensureColorGridVisible(LogicDriving& logic, const ax::UIElement& window, platform::CGRect frame,
    platform::CGRect avoidAppKit);

/// A left click at `point` (accessibility coordinates): mouse down, 500 µs, mouse
/// up, with the Command flag alone on both when `command` is set.
void clickAt(LogicDriving& logic, platform::CGPoint point, bool command);

/// Clicks cell `index` (0 to 95) of the Colors window, with Command to colour
/// the track rather than the selection, and puts the cursor back. Skips the step
/// with an error line for an index out of range or a window that is not there.
/// When the input guard finds that the click could land elsewhere (Logic not in
/// front, another window over the cell), sends no click and answers why.
[[nodiscard]] std::optional<std::string> colorSelectedItem(LogicDriving& logic, ColorsBatch& batch, std::int64_t index, bool command, platform::CGRect avoidAppKit);

/// Ends the batch: hides a marker track the helper revealed, forgets the window,
/// and closes it when the helper opened it and it is still there.
void closeColorsBatch(LogicDriving& logic, ColorsBatch& batch);

} // namespace mq::logic
