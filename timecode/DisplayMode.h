// Which fields Logic's control-bar time display shows, and the word that
// publishes it in a scrub shared-memory file.
#pragma once

#include <cstdint>

namespace mq::timecode {

/// The display mode. Its raw value is the number that logs and the project-start
/// reply use for the same layouts.
enum class DisplayMode : std::int8_t {
    /// Not 4 or 5 fields, or a fifth field that cannot be read or is not recognised.
    unknown = -1,
    /// hh:mm:ss:ff
    frames = 0,
    /// A fifth field of subframes.
    subframes = 1,
    /// A fifth field of quarter frames.
    quarterFrames = 2,
    /// A fifth field of samples.
    samples = 3,
};

constexpr std::int64_t rawValue(DisplayMode mode)
{
    return static_cast<std::int64_t>(mode);
}

/// The display mode word of a scrub file. Plug-ins read these values, so they
/// never change: 0 unknown, 1 frames, 2 subframes, 3 quarter frames, 4 samples.
constexpr std::int32_t scrubWord(DisplayMode mode)
{
    switch (mode) {
    case DisplayMode::frames:
        return 1;
    case DisplayMode::subframes:
        return 2;
    case DisplayMode::quarterFrames:
        return 3;
    case DisplayMode::samples:
        return 4;
    case DisplayMode::unknown:
        break;
    }
    return 0;
}

} // namespace mq::timecode
