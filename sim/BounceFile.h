// The audio file an export writes: a WAV of the bounced range, written with
// libsndfile.
#pragma once

#include <optional>
#include <string>

namespace mq::sim {

inline constexpr int kBounceSampleRate = 48000;
inline constexpr int kBounceChannels = 2;

/// Writes `seconds` of the project's mix (a 440 Hz tone, 16-bit stereo at
/// 48 kHz) to `path`, replacing a file there. Nothing on success, else why not.
std::optional<std::string> writeBounceFile(const std::string& path, double seconds);

} // namespace mq::sim
