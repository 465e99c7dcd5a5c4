#include "sim/AudioFile.h"

#include <sndfile.h>
#include <sys/stat.h>

namespace mq::sim {

Expected<AudioFileInfo, std::string> readAudioFile(const std::string& path)
{
    // Only a regular file is read: opening a FIFO would wait for a writer, and a
    // device like /dev/zero never ends.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return unexpected(std::string("not a regular file"));
    SF_INFO info {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return unexpected(std::string(sf_strerror(nullptr)));
    sf_close(file);
    if (info.samplerate <= 0 || info.channels <= 0)
        return unexpected(std::string("no sample rate or channels"));
    if (info.frames <= 0)
        return unexpected(std::string("the file holds no audio"));
    return AudioFileInfo { static_cast<std::int64_t>(info.frames), info.samplerate, info.channels };
}

} // namespace mq::sim
