#include "sim/BounceFile.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace mq::sim {

std::optional<std::string> writeBounceFile(const std::string& path, double seconds)
{
    if (!(seconds > 0) || seconds > 3600)
        return "a bounce of " + std::to_string(seconds) + " s is not possible";
    SF_INFO format {};
    format.samplerate = kBounceSampleRate;
    format.channels = kBounceChannels;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &format);
    if (!file)
        return std::string("cannot write ") + path + ": " + sf_strerror(nullptr);

    auto frames = static_cast<sf_count_t>(std::llround(seconds * kBounceSampleRate));
    constexpr sf_count_t kBlock = 4096;
    std::vector<float> block(static_cast<std::size_t>(kBlock * kBounceChannels));
    std::optional<std::string> failure;
    for (sf_count_t done = 0; done < frames && !failure;) {
        sf_count_t count = std::min(kBlock, frames - done);
        for (sf_count_t i = 0; i < count; ++i) {
            double t = static_cast<double>(done + i) / kBounceSampleRate;
            auto sample = static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * 440.0 * t));
            for (int c = 0; c < kBounceChannels; ++c)
                block[static_cast<std::size_t>(i * kBounceChannels + c)] = sample;
        }
        if (sf_writef_float(file, block.data(), count) != count)
            failure = std::string("cannot write ") + path + ": " + sf_strerror(file);
        done += count;
    }
    sf_close(file);
    return failure;
}

} // namespace mq::sim
