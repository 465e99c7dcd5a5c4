// Reading a project-watch file from a plug-in: the flag that the helper sets in a
// 64-byte shared-memory block (include/marquee/SharedMemoryLayout.h) once the watched
// Logic project has been closed.
//
// The helper sets the flag to 1 once and never clears it. A plug-in that reuses a
// file clears the flag before it starts a new watch.
#pragma once

#include "marquee/SharedMemoryBlock.h"

#include <string>

namespace mq::client {

class ProjectWatchReader {
public:
    /// Maps the file at `path`, creating it (mode 0600, 64 bytes) when missing.
    /// Only regular files are accepted (see shm::MappedBlock::open).
    [[nodiscard]] static Expected<ProjectWatchReader, shm::MapFailure> open(const std::string& path);

    /// Whether the helper has flagged the project closed.
    bool isProjectClosed() const { return m_block.closedFlag() != 0; }
    /// Clears the flag, before a new watch of the same file.
    void clear() { m_block.clearClosedFlag(); }

private:
    explicit ProjectWatchReader(shm::WatchBlock block)
        : m_block(std::move(block))
    {
    }
    shm::WatchBlock m_block;
};

} // namespace mq::client
