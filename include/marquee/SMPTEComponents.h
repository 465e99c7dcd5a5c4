// Seconds to SMPTE components: hours, minutes, seconds and frame of a position,
// with the part of a frame beyond it, in plain or drop-frame counting.
#pragma once

#include <cstdint>
#include <iosfwd>

namespace mq::timecode {

/// A position split into SMPTE fields.
struct SMPTEComponents {
    std::int64_t hours { 0 };
    std::int64_t minutes { 0 };
    std::int64_t seconds { 0 };
    std::int64_t frames { 0 };
    /// The part of a frame beyond `frames`, in [0, 1); 0 when there is none.
    double fraction { 0 };

    friend bool operator==(const SMPTEComponents&, const SMPTEComponents&) = default;
};

/// Converts a position in seconds to SMPTE components at `frameRate` frames per
/// second. Frames are counted at the nominal rate (29.97 counts 30 a second);
/// with `isDropFrame`, at any rate, the first round(2n/30) (at least 2) frame
/// labels of every minute not divisible by ten are skipped. Positions wrap at
/// 24 hours, and a negative position counts back from the end of the day.
///
/// When `seconds` is not finite or `frameRate` is not greater than 0 the result
/// is the time of day of floor(seconds) with frames 0 and fraction 0, where a
/// negative value, an infinity and NaN count as 0. Never fails and never
/// overflows, whatever the input.
SMPTEComponents smpteComponents(double seconds, double frameRate, bool isDropFrame);

/// Writes "hh:mm:ss:ff+fraction" for test failures and log lines.
std::ostream& operator<<(std::ostream& out, const SMPTEComponents& components);

} // namespace mq::timecode
