// Audio files that tests write themselves with libsndfile: a tone of a known
// number of frames, as WAV, AIFF or FLAC.
#pragma once

#include <cstdint>
#include <string>

namespace mq::test {

enum class AudioFormat { wav, aiff, flac };

/// Writes `frames` frames of a quiet tone at `sampleRate` (mono, 16-bit) to `path`
/// in `format`. Throws std::runtime_error when it cannot.
void writeTestAudioFile(const std::string& path, AudioFormat format, std::int64_t frames, int sampleRate);

} // namespace mq::test
