// Logic's "Go to Position" dialog, as logicsim shows it.
//
// A modal window whose children are, in order:
//   0  group "Current Position": the playhead's SMPTE time when the dialog opened
//   1  group "New Position (Bars)": the bar position, as "1 1 1 1"
//   2  group "New Position (SMPTE)": the position entered, as Logic understood it
//   3  text field for the bar position (focused when the dialog opens)
//   4  text field for the SMPTE position (Tab from the bar field)
//   5  button "OK" (the default button), 6  button "Cancel"
// Tab out of a field makes Logic take its value once the commit delay has
// passed: the SMPTE group then shows the position (bar positions convert
// through the tempo; SMPTE text is clamped to the project end). Confirming
// moves the playhead to the position taken; cancelling changes nothing.
//
// The transport settings it reads: frameRate, dropFrame, bar1Seconds,
// barSeconds, projectEndSeconds, smpteViewOffsetSeconds (the dialog shows
// control-bar time minus this offset), displayLayout ("frames", "subframes",
// "quarterFrames", "samples", "secondsFraction:N"), dialogFields and digits.
// Every label comes from sim/TimeLabel.h, as the control bar's do.
#pragma once

#include "sim/Transport.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace mq::sim {

struct World;
struct Dialogs;

/// Registers the dialog's behaviour (once, at start-up).
void registerGoToPositionDialog(Dialogs& dialogs);

/// Opens the dialog in Logic at once, in front, unless one is open already.
/// Returns the dialog, or 0 when Logic is not running.
Token openGoToPositionDialog(World& world);

/// Logic's command "Go to Position…": the dialog opens after the window-open
/// delay. False when Logic is not running.
bool requestGoToPositionDialog(World& world);

/// The SMPTE text of `seconds` as the dialog shows it, under `transport`'s settings.
std::string dialogTimecodeText(double seconds, const TransportSettings& transport);

/// A dialog's timecode group under `key`: a text value, or one static text per
/// field when the transport's dialogFields is "children".
nlohmann::json timecodeGroupDefinition(const std::string& key, const std::string& description, const TransportSettings& transport);

/// Shows `seconds` (dialog time) in a group made by timecodeGroupDefinition.
void showTimecodeInGroup(World& world, Element& group, double seconds);

/// What Logic takes from text typed into the SMPTE field: seconds, or nothing
/// when the text is not a position in the display layout.
std::optional<double> parseTypedTimecode(const std::string& text, const TransportSettings& transport);

} // namespace mq::sim
