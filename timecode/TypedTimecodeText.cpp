#include "timecode/TypedTimecodeText.h"

#include "timecode/NominalRate.h"
#include "timecode/Numeric.h"

#include <algorithm>
#include <cmath>

namespace mq::timecode {

namespace {

// Appends the fraction of a second `ratio` (nominally in [0, 1)) as `digits`
// decimal digits: round(ratio x 10^digits), kept within [0, 10^digits - 1].
void appendSecondsFraction(std::string& out, double ratio, int digits)
{
    const int width = std::max(digits, 0);
    const int exact = std::min(width, kMaxInt64DecimalExponent);
    const std::int64_t limit = powerOfTen(exact) - 1;
    // Clamp in the double domain, before any conversion; NaN fails both tests
    // and lands on 0.
    const double scaled = std::round(ratio * static_cast<double>(powerOfTen(exact)));
    std::int64_t value = 0;
    if (scaled >= static_cast<double>(limit))
        value = limit;
    else if (scaled > 0)
        value = static_cast<std::int64_t>(scaled);
    appendZeroPadded(out, value, exact);
    if (width > exact)
        out.append(static_cast<std::size_t>(width - exact), value == limit ? '9' : '0');
}

} // namespace

std::int64_t subFrameIndex(int count, double fraction)
{
    const std::int64_t last = static_cast<std::int64_t>(count) - 1;
    double index = std::floor(static_cast<double>(count) * fraction + 0.0001);
    if (std::isnan(index))
        index = 0.0; // floor(count x 0 + 0.0001)
    if (index >= static_cast<double>(last))
        return last;
    return saturatingInt64(index);
}

std::string typedTimecodeText(const SMPTEComponents& components, const TimecodeLayout& layout, double frameRate)
{
    std::string text;
    appendZeroPadded(text, components.hours, 2);
    text.push_back(':');
    appendZeroPadded(text, components.minutes, 2);
    text.push_back(':');
    appendZeroPadded(text, components.seconds, 2);

    const double fraction = std::isnan(components.fraction) ? 0.0 : std::clamp(components.fraction, 0.0, 1.0);

    switch (layout.kind()) {
    case TimecodeLayout::Kind::frames:
    case TimecodeLayout::Kind::samples:
        text.push_back(':');
        appendZeroPadded(text, components.frames, 2);
        break;
    case TimecodeLayout::Kind::subframes:
        text.push_back(':');
        appendZeroPadded(text, components.frames, 2);
        text.push_back(':');
        appendZeroPadded(text, subFrameIndex(80, fraction), 2);
        break;
    case TimecodeLayout::Kind::quarterFrames:
        text.push_back(':');
        appendZeroPadded(text, components.frames, 2);
        text.push_back(':');
        appendZeroPadded(text, subFrameIndex(4, fraction), 1);
        break;
    case TimecodeLayout::Kind::secondsFraction: {
        const double ratio = (static_cast<double>(components.frames) + fraction) / static_cast<double>(nominalRate(frameRate));
        text.push_back(':');
        appendSecondsFraction(text, ratio, layout.digits());
        break;
    }
    }
    return text;
}

} // namespace mq::timecode
