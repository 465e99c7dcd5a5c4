#include "tests/support/RawConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mq::test {

namespace {

int remainingMilliseconds(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    pollfd p { fd, events, 0 };
    int ready;
    do
        ready = ::poll(&p, 1, remainingMilliseconds(deadline));
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace

RawConnection::RawConnection(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    // A Unix socket connects at once or not at all (a full backlog gives EAGAIN).
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

RawConnection::~RawConnection()
{
    close();
}

void RawConnection::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

RawConnection::RawConnection(RawConnection&& other) noexcept
    : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

bool RawConnection::sendAll(const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        auto n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (!waitFor(m_fd, POLLOUT, deadline))
            return false;
    }
    return true;
}

std::size_t RawConnection::sendSome(const std::uint8_t* bytes, std::size_t size)
{
    auto n = ::send(m_fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool RawConnection::closedByPeer(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint8_t buffer[4096];
    for (;;) {
        if (!waitFor(m_fd, POLLIN, deadline))
            return false;
        auto n = ::recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n == 0)
            return true;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return errno == ECONNRESET;
    }
}

std::vector<std::uint8_t> RawConnection::receiveSome(std::size_t limit, std::chrono::milliseconds timeout)
{
    std::vector<std::uint8_t> bytes(limit);
    if (!waitFor(m_fd, POLLIN, std::chrono::steady_clock::now() + timeout))
        return {};
    auto n = ::recv(m_fd, bytes.data(), bytes.size(), MSG_DONTWAIT);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

} // namespace mq::test
