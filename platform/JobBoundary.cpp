#include "platform/JobBoundary.h"

#include "platform/Log.h"

#include <cstdlib>

namespace mq {

namespace {
thread_local int t_failedJobTeardowns = 0;
}

void reportJobThrew(std::string_view job, const char* what) noexcept
{
    try {
        static const log::Logger logger("helper");
        logger.error("{}: threw {}; its replies are answered as failures", job, what ? what : "");
        if constexpr (kJobBoundaryAborts)
            log::flush();
    } catch (...) {
        // Logging failed too: nothing more can be said.
    }
    if constexpr (kJobBoundaryAborts)
        std::abort();
}

bool failedJobTeardownInProgress() noexcept
{
    return t_failedJobTeardowns > 0;
}

FailedJobTeardown::FailedJobTeardown() noexcept
{
    ++t_failedJobTeardowns;
}

FailedJobTeardown::~FailedJobTeardown()
{
    --t_failedJobTeardowns;
}

} // namespace mq
