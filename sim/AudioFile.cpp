#include "sim/AudioFile.h"

#include <sndfile.h>

namespace mq::sim {

std::variant<AudioFileInfo, std::string> readAudioFile(const std::string& path)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return std::string(sf_strerror(nullptr));
    sf_close(file);
    if (info.samplerate <= 0 || info.channels <= 0)
        return std::string("no sample rate or channels");
    if (info.frames <= 0)
        return std::string("the file holds no audio");
    return AudioFileInfo { static_cast<std::int64_t>(info.frames), info.samplerate, info.channels };
}

} // namespace mq::sim
