// A client socket that speaks bytes, not the protocol: for tests that send what
// the client library never would (partial frames, floods, nothing at all).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace mq::test {

class RawConnection {
public:
    /// Connects to the Unix socket at `path`; valid() is false when that fails.
    explicit RawConnection(const std::string& path);
    ~RawConnection();
    RawConnection(RawConnection&& other) noexcept;
    RawConnection& operator=(RawConnection&&) = delete;
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool valid() const { return m_fd >= 0; }
    /// Closes the connection now (the destructor does it otherwise).
    void close();
    int fd() const { return m_fd; }

    /// Sends every byte, waiting at most `timeout` in all. False when the peer
    /// closed or the time-out passed first.
    bool sendAll(const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds timeout);
    /// Sends what the socket takes now without waiting; the count sent (0 when full).
    std::size_t sendSome(const std::uint8_t* bytes, std::size_t size);
    /// True when the peer closes the connection within `timeout` (bytes it sends
    /// before closing are read and dropped).
    bool closedByPeer(std::chrono::milliseconds timeout);
    /// Reads what arrives within `timeout`, at most `limit` bytes; empty at the end
    /// of the stream or when nothing came.
    std::vector<std::uint8_t> receiveSome(std::size_t limit, std::chrono::milliseconds timeout);

private:
    int m_fd { -1 };
};

} // namespace mq::test
