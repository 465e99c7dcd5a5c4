// Reading an audio file's length and sample rate with libsndfile, as Logic reads
// a file it is asked to place: WAV, AIFF, FLAC and the other formats libsndfile knows.
#pragma once

#include "marquee/Expected.h"

#include <cstdint>
#include <string>

namespace mq::sim {

struct AudioFileInfo {
    std::int64_t frames { 0 };
    int sampleRate { 0 };
    int channels { 0 };

    double seconds() const { return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0; }
};

/// The audio at `path`; or why it cannot be read (not audio, empty, unreadable).
[[nodiscard]] Expected<AudioFileInfo, std::string> readAudioFile(const std::string& path);

} // namespace mq::sim
