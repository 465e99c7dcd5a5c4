// Whether a process is gone, asked of the process table at the moment: the
// frameworks' own flags (NSRunningApplication.terminated) change only when the
// main run loop runs.
#pragma once

#include "platform/CoreTypes.h"

#include <signal.h>

#include <cerrno>

namespace mq::platform::macos {

inline bool processHasEnded(pid_type pid)
{
    return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace mq::platform::macos
