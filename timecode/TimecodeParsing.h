// Reading timecode text that Logic shows: the numeric pieces of a dialog's
// timecode fields, the value text of a single timecode element, and the
// control-bar display.
#pragma once

#include "timecode/TimecodeFields.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mq::timecode {

/// Recognises a position from its numeric pieces in order, each trimmed of white
/// space first. The pieces must be 4 or 5 runs of decimal digits, hours of 1 or 2
/// digits, minutes and seconds of exactly 2, each fitting a signed 64-bit integer.
/// The last pieces choose the layout:
/// - 4 pieces, 4th of 2 digits: frames;
/// - 4 pieces, 4th of 3 or more digits: secondsFraction(its length), frames 0;
/// - 5 pieces, 4th of 2 digits (the frame), 5th of 2 digits: subframes, of 1 digit:
///   quarterFrames, of 3 or more: samples.
/// Any other shape gives nothing.
[[nodiscard]] std::optional<TimecodeFields> parseTimecodeFields(std::span<const std::string_view> pieces);
[[nodiscard]] std::optional<TimecodeFields> parseTimecodeFields(std::span<const std::string> pieces);

/// Recognises the value text of a timecode element ("01:00:00:00.40"): the text
/// must contain ":", and its maximal runs of decimal digits (anything else
/// separates) must satisfy parseTimecodeFields.
[[nodiscard]] std::optional<TimecodeFields> parseTimecodeValueText(std::string_view text);

/// Reads the control-bar display text "hh:mm:ss:ff" as seconds: trimmed, split at
/// every ":", "." and ";" (empty pieces dropped), exactly 4 runs of decimal
/// digits. Gives hh x 3600 + mm x 60 + ss, plus ff / frameRate when frameRate > 0;
/// nothing for any other shape.
[[nodiscard]] std::optional<double> parseLCDTimecode(std::string_view text, double frameRate);

} // namespace mq::timecode
