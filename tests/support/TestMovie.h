// Small movie files for tests: an uncompressed YUV4MPEG2 stream that FFmpeg's
// libavformat reads with its exact length and frame rate, whatever the file's
// extension.
#pragma once

#include <string>

namespace mq::test {

/// Writes a 16×16 movie of `frames` frames at `rateNumerator`/`rateDenominator`
/// frames per second to `path` (its length is frames × denominator / numerator
/// seconds). Throws std::runtime_error when the file cannot be written.
void writeTestMovie(const std::string& path, int frames, int rateNumerator, int rateDenominator = 1);

} // namespace mq::test
