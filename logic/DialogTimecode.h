// Reading the timecode that a Logic dialog shows (Go to Position and the like).
//
// A timecode group is a child of the dialog whose AXRole is "AXGroup"; the groups
// are counted in the order of the dialog's AXChildren. A group shows its position
// either as AXValue text ("01:00:00:00") or as 4 or 5 children whose
// AXValueDescriptions are the numeric fields.
#pragma once

#include "ax/UIElement.h"
#include "timecode/TimecodeFields.h"

#include <cstddef>
#include <optional>

namespace mq::logic {

/// The fields of the dialog's timecode group number `index` (0 is the current
/// position, 2 the position entered); nothing when there is no such group or it
/// does not parse. A group whose AXValue text does not parse falls back to its
/// children.
[[nodiscard]] std::optional<timecode::TimecodeFields> readDialogTimecodeGroup(const ax::UIElement& dialog, std::size_t index);

/// One element read as a timecode group: its AXValue text when that parses, else
/// the AXValueDescription of its 4 or 5 children. Failed reads count as absent.
[[nodiscard]] std::optional<timecode::TimecodeFields> readTimecodeGroupFields(const ax::UIElement& group);

/// The layout of the dialog's first timecode group that parses; `frames` (with an
/// info log line) when none does.
timecode::TimecodeLayout timecodeLayout(const ax::UIElement& dialog);

/// Logic's SMPTE view offset: the control bar's seconds less the dialog's current
/// position, rounded to whole frames when `frameRate` > 0. NaN when no control-bar
/// seconds are given or the dialog's first group cannot be read. Logs the values.
double measureViewOffset(std::optional<double> controlBarSeconds, const ax::UIElement& dialog, double frameRate);

} // namespace mq::logic
