// One SMPTE position as Logic shows it, field by field, with its conversions to
// a frame number, to seconds and to the fixed text form used in log lines.
#pragma once

#include "timecode/TimecodeLayout.h"

#include <cstdint>
#include <iosfwd>
#include <string>

namespace mq::timecode {

/// A parsed or printable SMPTE position.
struct TimecodeFields {
    TimecodeLayout layout;
    std::int64_t hours { 0 };
    std::int64_t minutes { 0 };
    std::int64_t seconds { 0 };
    /// 0 for secondsFraction.
    std::int64_t frames { 0 };
    /// The subframe, quarter frame, sample or fraction digits as an integer; 0 for frames.
    std::int64_t subField { 0 };

    friend bool operator==(const TimecodeFields&, const TimecodeFields&) = default;
};

/// The fields in the layout's display form:
/// frames "hh:mm:ss:ff", subframes "hh:mm:ss:ff.ss", quarterFrames "hh:mm:ss:ff/q",
/// samples "hh:mm:ss:ff,ssss", secondsFraction(d) "hh:mm:ss," and the fraction
/// zero-padded to d digits. Each field is printed as printf's "%0Nd" would print it.
std::string timecodeDisplayText(const TimecodeFields& fields);

/// The frame that the fields show. For every layout but secondsFraction that is
/// the `frames` field. For secondsFraction(d) it is the frame, at the nominal
/// rate n, that the shown fraction v / 10^d of a second stands for: the first
/// frame boundary inside [v, v + 1) / 10^d when there is one, else the frame that
/// the interval lies in; at most n - 1.
std::int64_t framesFromFields(const TimecodeFields& fields, double frameRate);

/// hours x 3600 + minutes x 60 + seconds, plus framesFromFields / frameRate when
/// frameRate > 0. The real rate divides (29.97, not 30) and no drop-frame
/// correction is made. Computed in doubles, so no field value can overflow it.
double fieldsToSeconds(const TimecodeFields& fields, double frameRate);

/// Writes the display text and the layout, for test failures.
std::ostream& operator<<(std::ostream& out, const TimecodeFields& fields);

} // namespace mq::timecode
