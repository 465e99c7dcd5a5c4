// How a caller that owns a socket's reads sleeps until its reply can come: in one
// blocking read, which costs one system call as a raw round trip does, bounded by
// the socket's receive time-out so that the caller still looks at its deadline,
// and in poll for the last part of the deadline, so that none is overstayed.
// The helper's client and the logicsim backend wait for their replies this way.
#pragma once

#include <chrono>
#include <optional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace mq::platform {

/// The longest one blocking read sleeps: the socket's receive time-out.
inline constexpr std::chrono::milliseconds kBlockingReadSlice { 50 };

/// Gives the connected socket `fd` the receive time-out kBlockingReadSlice;
/// false (errno set) when it cannot be set.
inline bool setBlockingReadSlice(int fd)
{
    timeval slice {};
    slice.tv_usec = std::chrono::duration_cast<std::chrono::microseconds>(kBlockingReadSlice).count();
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice) == 0;
}

/// One sleep of a waiting caller: `read(true)` (a blocking read) while `deadline`
/// is further off than kBlockingReadSlice, else poll until the deadline and
/// `read(false)` once something is there. Nothing when the deadline has passed
/// or poll ended without data (a signal): the caller looks again.
template<typename Read>
auto readBeforeDeadline(int fd, std::chrono::steady_clock::time_point deadline, Read read) -> std::optional<decltype(read(false))>
{
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return std::nullopt;
    if (left >= kBlockingReadSlice)
        return read(true);
    pollfd p { fd, POLLIN, 0 };
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
        return std::nullopt;
    return read(false);
}

} // namespace mq::platform
