// Bounded blocking socket calls for tests: a receive or send that would wait
// forever on a regression fails after the time-out instead.
#pragma once

#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>

namespace mq::test {

/// Sets SO_RCVTIMEO (or SO_SNDTIMEO) of `fd` to `timeout`, split into whole
/// seconds and microseconds as the kernel requires. False when the kernel refused it.
inline bool setSocketTimeout(int fd, int option, std::chrono::milliseconds timeout)
{
    auto micros = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
    timeval tv {};
    tv.tv_sec = static_cast<time_t>(micros / 1'000'000);
    tv.tv_usec = static_cast<suseconds_t>(micros % 1'000'000);
    return ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof(tv)) == 0;
}

inline bool setReceiveTimeout(int fd, std::chrono::milliseconds timeout)
{
    return setSocketTimeout(fd, SO_RCVTIMEO, timeout);
}

inline bool setSendTimeout(int fd, std::chrono::milliseconds timeout)
{
    return setSocketTimeout(fd, SO_SNDTIMEO, timeout);
}

} // namespace mq::test
