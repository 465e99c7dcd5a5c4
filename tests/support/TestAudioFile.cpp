#include "tests/support/TestAudioFile.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace mq::test {

void writeTestAudioFile(const std::string& path, AudioFormat format, std::int64_t frames, int sampleRate)
{
    SF_INFO info {};
    info.samplerate = sampleRate;
    info.channels = 1;
    int container = format == AudioFormat::wav ? SF_FORMAT_WAV : format == AudioFormat::aiff ? SF_FORMAT_AIFF : SF_FORMAT_FLAC;
    info.format = container | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    std::vector<short> samples(static_cast<std::size_t>(frames));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(3000 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(i) / sampleRate));
    sf_count_t written = sf_writef_short(file, samples.data(), frames);
    sf_close(file);
    if (written != frames)
        throw std::runtime_error("short write to " + path);
}

} // namespace mq::test
