// Flags in clients' shared-memory files when the watched Logic project is closed.
#pragma once

#include "platform/Log.h"

namespace mq {

/// FIXME: binding, the checks and the suspension observers are not built yet;
/// the service answers watch requests with their failure replies.
class ProjectCloseWatcher {
public:
    ProjectCloseWatcher() = default;

private:
    log::Logger m_log { "helper.projectclose" };
};

} // namespace mq
