// How Logic lays out an SMPTE position on screen: four fixed shapes plus hours,
// minutes and seconds with a decimal fraction of a second of some digit count.
// The helper recognises the layout from the shape of Logic's text and types
// positions back in the same layout.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace mq::timecode {

class TimecodeLayout {
public:
    enum class Kind : std::uint8_t {
        frames, ///< hh:mm:ss:ff
        subframes, ///< hh:mm:ss:ff plus a 2-digit subframe (80 subframes a frame)
        quarterFrames, ///< hh:mm:ss:ff plus a 1-digit quarter frame (0-3)
        samples, ///< hh:mm:ss:ff plus a sample field of 3 or more digits
        secondsFraction, ///< hh:mm:ss plus a fraction of a second, no frame field
    };

    /// The frames layout; the layout of a default-made TimecodeFields.
    constexpr TimecodeLayout() = default;

    static constexpr TimecodeLayout frames() { return TimecodeLayout(Kind::frames, 0); }
    static constexpr TimecodeLayout subframes() { return TimecodeLayout(Kind::subframes, 0); }
    static constexpr TimecodeLayout quarterFrames() { return TimecodeLayout(Kind::quarterFrames, 0); }
    static constexpr TimecodeLayout samples() { return TimecodeLayout(Kind::samples, 0); }
    /// Seconds with a fraction of `digits` decimal digits (Logic shows 3 or more).
    static constexpr TimecodeLayout secondsFraction(int digits) { return TimecodeLayout(Kind::secondsFraction, digits); }

    constexpr Kind kind() const { return m_kind; }
    /// The digit count of a secondsFraction layout; 0 for every other case.
    constexpr int digits() const { return m_digits; }

    friend constexpr bool operator==(const TimecodeLayout&, const TimecodeLayout&) = default;

private:
    constexpr TimecodeLayout(Kind kind, int digits)
        : m_kind(kind)
        , m_digits(digits)
    {
    }

    Kind m_kind { Kind::frames };
    int m_digits { 0 };
};

/// The layout as a number, as display modes are reported: frames 0, subframes 1,
/// quarterFrames 2, samples 3, and secondsFraction 3 as well.
int displayMode(const TimecodeLayout& layout);

/// "frames", "subframes", "quarterFrames", "samples" or "secondsFraction(N)".
std::string toString(const TimecodeLayout& layout);

/// Writes toString(layout); lets tests and log lines print a layout.
std::ostream& operator<<(std::ostream& out, const TimecodeLayout& layout);

} // namespace mq::timecode
