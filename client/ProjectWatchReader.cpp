#include "marquee/ProjectWatchReader.h"

namespace mq::client {

std::variant<ProjectWatchReader, shm::MapFailure> ProjectWatchReader::open(const std::string& path)
{
    std::variant<shm::WatchBlock, shm::MapFailure> opened = shm::WatchBlock::open(path);
    if (auto* failure = std::get_if<shm::MapFailure>(&opened))
        return *failure;
    return ProjectWatchReader(std::move(std::get<shm::WatchBlock>(opened)));
}

} // namespace mq::client
