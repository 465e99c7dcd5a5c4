// The text typed into the SMPTE field of Logic's Go to Position dialog.
#pragma once

#include "marquee/SMPTEComponents.h"
#include "timecode/TimecodeLayout.h"

#include <cstdint>
#include <string>

namespace mq::timecode {

/// The index of the sub-division that `fraction` of a frame falls in, when a
/// frame has `count` of them: the smaller of count - 1 and
/// floor(count x fraction + 0.0001). The small bias keeps 0.5 x 80 from landing
/// on 39 through rounding; the cap keeps 0.999999 from reaching `count`.
/// NaN counts as fraction 0; the result saturates instead of overflowing.
std::int64_t subFrameIndex(int count, double fraction);

/// The text to type for `components` in `layout`: "hh:mm:ss" followed by the
/// layout's fields, every field separated by ":" (the dialog takes ":" before a
/// subframe, quarter frame or seconds fraction too).
/// - frames, samples: ":ff" (no sample field is typed).
/// - subframes: ":ff:" and the subframe of 80, two digits.
/// - quarterFrames: ":ff:" and the quarter frame of 4, one digit.
/// - secondsFraction(d): ":" and (frames + fraction) / nominal rate as a
///   fraction of a second in d digits, rounded half away from zero and at most
///   all nines; no frame field. Digits beyond the 18th are filled with "0" (or
///   "9" when the value is all nines), as a double holds no more precision.
/// The fraction is clamped to [0, 1] first.
std::string typedTimecodeText(const SMPTEComponents& components, const TimecodeLayout& layout, double frameRate);

} // namespace mq::timecode
