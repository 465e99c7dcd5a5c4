// Logic's "Go to Position" dialog, as logicsim shows it.
//
// A modal window whose children are, in order:
//   0  group "Current Position": the playhead's SMPTE time when the dialog opened
//   1  group "New Position (Bars)": the bar position, as "1 1 1 1"
//   2  group "New Position (SMPTE)": the position entered, as Logic understood it
//   3  text field for the bar position (focused when the dialog opens)
//   4  text field for the SMPTE position (Tab from the bar field)
//   5  button "OK" (the default button), 6  button "Cancel"
// Tab out of a field makes Logic take its value: the SMPTE group then shows the
// position (bar positions convert through the tempo; SMPTE text is clamped to the
// project end). Confirming moves the playhead there; cancelling changes nothing.
//
// The transport settings it reads (all optional):
//   frameRate (25), dropFrame (false), bar1Seconds (3600), barSeconds (2.0),
//   projectEndSeconds (bar1Seconds + 3600), smpteViewOffsetSeconds (0: the
//   dialog shows control-bar time minus this offset),
//   displayLayout ("frames", "subframes", "quarterFrames", "samples",
//   "secondsFraction:N"), dialogFields ("text": a group's AXValue holds the time;
//   "children": one static text per field, its AXValueDescription the digits).
#pragma once

#include "sim/Model.h"

namespace mq::sim {

/// Registers the dialog's behaviour with `model` (once, at start-up).
void registerGoToPositionDialog(Model& model);

/// Opens the dialog in Logic, in front, unless one is open already. Returns the
/// dialog, or 0 when Logic is not running.
Token openGoToPositionDialog(Model& model);

/// The SMPTE text of `seconds` as the dialog shows it, under `transport`'s settings.
std::string dialogTimecodeText(double seconds, const json& transport);

/// What Logic takes from text typed into the SMPTE field: seconds, or nothing
/// when the text is not a position in the display layout.
std::optional<double> parseTypedTimecode(const std::string& text, const json& transport);

} // namespace mq::sim
