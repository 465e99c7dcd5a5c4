// What logicsim learns from a movie file, read with FFmpeg's libavformat as a
// real application would: the movie's length and its frame rate.
#pragma once

#include "marquee/Expected.h"

#include <string>

namespace mq::sim {

struct MovieFileInfo {
    double durationSeconds { 0 };
    /// Frames per second of the first video stream (29.97 as 30000/1001).
    double frameRate { 0 };
};

/// Reads the movie at `path`: its information, or why it cannot be read (no
/// such file, not a movie, no video stream, no length).
[[nodiscard]] Expected<MovieFileInfo, std::string> readMovieFile(const std::string& path);

} // namespace mq::sim
