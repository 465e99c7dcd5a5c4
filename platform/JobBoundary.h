// The last stop for an exception that escapes a job on one of the helper's queues
// (the main run loop, a connection's queue, the global pool, the bounce queue, the
// transfer engine, the socket's I/O thread). Nothing the helper runs should throw;
// when something still does, one request fails instead of the whole process:
// the job's name and the exception are logged at error level, every reply the job
// still held is answered as a failure, and the queue goes on with its next job.
// Debug and sanitizer builds abort there instead, so that tests find the bug.
#pragma once

#include "marquee/UniqueFunction.h"

#include <exception>
#include <string_view>

namespace mq {

/// Whether an escaped exception aborts the process (debug and sanitizer builds).
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kJobBoundaryAborts = true;
#else
inline constexpr bool kJobBoundaryAborts = false;
#endif

/// Logs "<job>: threw <what>; its replies are answered as failures" at error level
/// (and aborts where kJobBoundaryAborts).
void reportJobThrew(std::string_view job, const char* what) noexcept;

/// True on a thread that is destroying the job that threw: a reply dropped now is
/// answered as a failure, not reported as a bug of its own.
bool failedJobTeardownInProgress() noexcept;

/// Marks the destruction of what a job that threw held (see failedJobTeardownInProgress).
class FailedJobTeardown {
public:
    FailedJobTeardown() noexcept;
    ~FailedJobTeardown();
    FailedJobTeardown(const FailedJobTeardown&) = delete;
    FailedJobTeardown& operator=(const FailedJobTeardown&) = delete;
};

/// Calls `body`. True when it returned; false when it threw, which is reported
/// under the name `job`.
template<typename Body>
bool callAtJobBoundary(std::string_view job, Body&& body) noexcept
{
    try {
        body();
        return true;
    } catch (const std::exception& failure) {
        reportJobThrew(job, failure.what());
    } catch (...) {
        reportJobThrew(job, "an exception of unknown type");
    }
    return false;
}

/// Runs a queue's job. When it throws, the job is destroyed at once, so that the
/// replies it captured are answered as failures.
template<typename Signature>
void runJobAtBoundary(std::string_view job, UniqueFunction<Signature>& function) noexcept
{
    if (callAtJobBoundary(job, function))
        return;
    FailedJobTeardown teardown;
    function = nullptr;
}

} // namespace mq
