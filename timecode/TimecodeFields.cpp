#include "timecode/TimecodeFields.h"

#include "timecode/NominalRate.h"
#include "timecode/Numeric.h"

#include <cmath>
#include <ostream>

namespace mq::timecode {

std::string timecodeDisplayText(const TimecodeFields& fields)
{
    std::string text;
    appendZeroPadded(text, fields.hours, 2);
    text.push_back(':');
    appendZeroPadded(text, fields.minutes, 2);
    text.push_back(':');
    appendZeroPadded(text, fields.seconds, 2);

    const auto appendFrames = [&] {
        text.push_back(':');
        appendZeroPadded(text, fields.frames, 2);
    };
    switch (fields.layout.kind()) {
    case TimecodeLayout::Kind::frames:
        appendFrames();
        break;
    case TimecodeLayout::Kind::subframes:
        appendFrames();
        text.push_back('.');
        appendZeroPadded(text, fields.subField, 2);
        break;
    case TimecodeLayout::Kind::quarterFrames:
        appendFrames();
        text.push_back('/');
        appendZeroPadded(text, fields.subField, 1);
        break;
    case TimecodeLayout::Kind::samples:
        appendFrames();
        text.push_back(',');
        appendZeroPadded(text, fields.subField, 4);
        break;
    case TimecodeLayout::Kind::secondsFraction:
        text.push_back(',');
        appendZeroPadded(text, fields.subField, fields.layout.digits());
        break;
    }
    return text;
}

std::int64_t framesFromFields(const TimecodeFields& fields, double frameRate)
{
    if (fields.layout.kind() != TimecodeLayout::Kind::secondsFraction)
        return fields.frames;

    // The shown fraction covers the interval [v, v + 1) / 10^d of a second; in
    // frames that is [lo, hi).
    constexpr double kEpsilon = 0.000000001;
    const std::int64_t n = nominalRate(frameRate);
    const double rate = static_cast<double>(n);
    const double scale = std::pow(10.0, fields.layout.digits());
    const double value = static_cast<double>(fields.subField);
    const double lo = value / scale * rate;
    const double hi = (value + 1) / scale * rate;
    const double boundary = std::ceil(lo - kEpsilon);
    const double frame = boundary < hi - kEpsilon ? boundary : std::floor(lo);
    // Compare before converting: a huge or NaN frame gives the last frame.
    if (!(frame < rate - 1))
        return n - 1;
    return saturatingInt64(frame);
}

double fieldsToSeconds(const TimecodeFields& fields, double frameRate)
{
    double total = static_cast<double>(fields.hours) * 3600 + static_cast<double>(fields.minutes) * 60
        + static_cast<double>(fields.seconds);
    if (frameRate > 0)
        total += static_cast<double>(framesFromFields(fields, frameRate)) / frameRate;
    return total;
}

std::ostream& operator<<(std::ostream& out, const TimecodeFields& fields)
{
    return out << timecodeDisplayText(fields) << " (" << fields.layout << ')';
}

} // namespace mq::timecode
