// The one place logicsim turns a position in seconds into the time label Logic
// shows, and a typed label back into seconds. The control bar's display and
// every dialog use it, so they agree on the label of every position, drop frame
// and the 24-hour wrap included. This is logicsim's own arithmetic, written
// apart from the helper's timecode library, so that an end-to-end test compares
// two implementations instead of one with itself:
//   - frames count at the rate rounded to a whole number (29.97 counts 30 a second),
//     seconds = frames / rounded rate;
//   - drop frame skips the first labels of every minute but every tenth
//     (2 at 30 frames a second, 4 at 60);
//   - the hours wrap at 24.
#pragma once

#include <optional>
#include <string>

namespace mq::sim {

struct TimeFormat {
    long long rate { 25 }; // frames per second, rounded
    bool dropFrame { false };

    /// `frameRate` rounded (at least 1; 25 when it is not a positive number).
    static TimeFormat of(double frameRate, bool dropFrame);
    /// Labels skipped at the start of each minute that is not a tenth one.
    long long droppedPerMinute() const;
};

/// A frame label: hh:mm:ss:ff and how far into the frame the position is.
struct TimeLabel {
    long long hours { 0 };
    long long minutes { 0 };
    long long seconds { 0 };
    long long frames { 0 };
    double withinFrame { 0 }; // 0 <= withinFrame < 1
};

/// The label of `seconds` (negative positions show as 0).
TimeLabel frameLabel(double seconds, const TimeFormat& format);

/// A clock label: hh:mm:ss and the fraction of the second (the seconds-fraction
/// display), with the same 24-hour wrap.
struct ClockLabel {
    long long hours { 0 };
    long long minutes { 0 };
    long long seconds { 0 };
    double fraction { 0 }; // 0 <= fraction < 1
};

ClockLabel clockLabel(double seconds);

/// The position of a label: nothing when a field is out of range or the label is
/// one drop frame never shows.
std::optional<double> secondsOfLabel(long long hours, long long minutes, long long seconds, long long frames, const TimeFormat& format);

/// How the digits of a time field are written: Logic pads to two digits in
/// Western digits; a scenario may ask for unpadded numbers or other digits.
enum class DigitStyle { padded, unpadded, fullwidth, arabicIndic };

/// The style named `name` ("padded", "unpadded", "fullwidth", "arabicIndic").
std::optional<DigitStyle> digitStyleNamed(const std::string& name);

/// `value` with at least `width` digits (padded style), written in `style`.
std::string digitsText(long long value, int width, DigitStyle style);

} // namespace mq::sim
