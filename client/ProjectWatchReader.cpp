#include "marquee/ProjectWatchReader.h"

namespace mq::client {

Expected<ProjectWatchReader, shm::MapFailure> ProjectWatchReader::open(const std::string& path)
{
    return ProjectWatchReader(MQ_TRY(shm::WatchBlock::open(path)));
}

} // namespace mq::client
