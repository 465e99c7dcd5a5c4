#include "marquee/SMPTEComponents.h"

#include "timecode/NominalRate.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace mq::timecode {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Added before flooring so that a position computed as frame / rate lands on its
// frame even when the division rounded the product a hair below it.
constexpr double kFrameEpsilon = 0.000000001;

// hh:mm:ss of floor(seconds) within its day, frames 0: the answer when no frame
// rate can be applied.
SMPTEComponents timeOfDayComponents(double seconds)
{
    const double whole = std::isfinite(seconds) ? std::floor(std::max(0.0, seconds)) : 0.0;
    // fmod is exact, so even 1e300 lands on its true second of the day; the
    // result is below 86400 and converts safely.
    const auto secondOfDay = static_cast<std::int64_t>(std::fmod(whole, static_cast<double>(kSecondsPerDay)));
    return SMPTEComponents {
        .hours = secondOfDay / 3600,
        .minutes = secondOfDay % 3600 / 60,
        .seconds = secondOfDay % 60,
        .frames = 0,
        .fraction = 0,
    };
}

} // namespace

SMPTEComponents smpteComponents(double seconds, double frameRate, bool isDropFrame)
{
    // A position before zero has no timecode of its own; it becomes 00:00:00:00
    // rather than counting back from the end of the day, which would send Logic's
    // playhead almost 24 hours ahead.
    if (!std::isfinite(seconds) || seconds < 0 || !(frameRate > 0))
        return timeOfDayComponents(seconds);

    const std::int64_t n = nominalRate(frameRate);
    // The nominal rate multiplies here, not the real one: Logic labels 29.97 fps
    // material as if it ran at 30.
    const double x = static_cast<double>(n) * seconds;
    if (!std::isfinite(x)) {
        // Only beyond about 1e299 seconds. Such a position is a whole number of
        // seconds, so its frame within the second is 0 either way.
        return timeOfDayComponents(seconds);
    }

    // 2 labels a minute at 30 fps, 4 at 60 fps; the nearest integer to 2n/30,
    // where a half cannot occur because 2n is even.
    const std::int64_t drop = std::max<std::int64_t>(2, (2 * n + 15) / 30);
    const std::int64_t framesPerTenMinutes = n * 600 - (isDropFrame ? 9 * drop : 0);
    const std::int64_t framesPerDroppingMinute = n * 60 - drop;
    const std::int64_t framesPerDay = framesPerTenMinutes * 144;

    const double wholeFrames = std::floor(x + kFrameEpsilon);
    const double fraction = std::max(0.0, x - wholeFrames);

    // Wrap to one day in the double domain: fmod is exact and framesPerDay is far
    // below 2^53, so the wrapped count is exact and small enough to convert.
    double frameOfDay = std::fmod(wholeFrames, static_cast<double>(framesPerDay));
    if (frameOfDay < 0)
        frameOfDay += static_cast<double>(framesPerDay);
    auto frameNumber = static_cast<std::int64_t>(frameOfDay);

    if (isDropFrame) {
        // Turn the frame count into a label count by adding back the skipped labels:
        // 9 x drop for every full ten minutes, drop for every dropping minute begun.
        const std::int64_t tenMinuteBlocks = frameNumber / framesPerTenMinutes;
        const std::int64_t intoBlock = frameNumber % framesPerTenMinutes;
        frameNumber += 9 * drop * tenMinuteBlocks;
        if (intoBlock > drop)
            frameNumber += drop * ((intoBlock - drop) / framesPerDroppingMinute);
    }

    const std::int64_t totalSeconds = frameNumber / n;
    return SMPTEComponents {
        .hours = totalSeconds / 3600,
        .minutes = totalSeconds / 60 % 60,
        .seconds = totalSeconds % 60,
        .frames = frameNumber % n,
        .fraction = fraction,
    };
}

std::ostream& operator<<(std::ostream& out, const SMPTEComponents& c)
{
    return out << c.hours << ':' << c.minutes << ':' << c.seconds << ':' << c.frames << '+' << c.fraction;
}

} // namespace mq::timecode
