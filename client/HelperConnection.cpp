#include "marquee/HelperConnection.h"

#include "base/FramedConnection.h"
#include "base/SocketWait.h"
#include "protocol/Frame.h"
#include "protocol/ServiceEndpoint.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <span>

namespace mq::client {

namespace {

constexpr const char* kClosedByHelper = "the helper closed the connection";

/// Opens a connection to the helper's socket at `socketPath`.
Result<int> openHelperSocket(const std::string& socketPath)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path))
        return unexpected(ClientError { ClientError::Kind::unreachable, "socket path too long: " + socketPath });
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return unexpected(ClientError { ClientError::Kind::unreachable, std::string("socket: ") + std::strerror(errno) });
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        int error = errno;
        ::close(fd);
        return unexpected(ClientError { ClientError::Kind::unreachable,
            "the Marquee helper is not running (no service at " + socketPath + ": " + std::strerror(error) + ")" });
    }
    // Bounds each sleep of a blocking call in recv.
    if (!platform::setBlockingReadSlice(fd)) {
        int error = errno;
        ::close(fd);
        return unexpected(ClientError { ClientError::Kind::unreachable, std::string("setsockopt: ") + std::strerror(error) });
    }
    return fd;
}

/// The helper's frames: a 4-byte length and a MessagePack body. A frame that
/// cannot be a reply (empty, over the limit, undecodable) breaks the stream.
struct HelperFrames {
    using Message = ipc::Frame;

    Expected<std::size_t, std::string> take(std::span<const std::uint8_t> bytes, std::vector<ipc::Frame>& out)
    {
        std::size_t used = 0;
        while (bytes.size() - used >= ipc::kFrameHeaderBytes) {
            std::uint32_t length = ipc::frameBodyLength(bytes.data() + used);
            if (length == 0 || length > ipc::kMaxReplyFrameBytes)
                return unexpected("reply frame of " + std::to_string(length) + " bytes");
            if (bytes.size() - used - ipc::kFrameHeaderBytes < length)
                break;
            auto decoded = ipc::decodeFrameBody(bytes.data() + used + ipc::kFrameHeaderBytes, length);
            if (!decoded)
                return unexpected("undecodable reply: " + decoded.error().reason);
            out.push_back(std::move(decoded).value());
            used += ipc::kFrameHeaderBytes + length;
        }
        return used;
    }

    /// A request frame from the helper answers nothing (it counts as unmatched).
    static std::optional<std::uint64_t> replyId(const ipc::Frame& frame)
    {
        if (frame.kind != ipc::FrameKind::reply)
            return std::nullopt;
        return frame.id;
    }
};

using Link = FramedConnection<HelperFrames>;

Result<std::vector<WireValue>> toResult(Link::Reply reply)
{
    if (reply)
        return std::move(*reply).values;
    ConnectionError error = std::move(reply).error();
    return unexpected(ClientError {
        error.kind == ConnectionError::Kind::timedOut ? ClientError::Kind::timedOut : ClientError::Kind::disconnected,
        std::move(error.reason) });
}

auto requestFrame(std::string_view selector, std::vector<WireValue>& values)
{
    return [selector, &values](std::uint64_t id) {
        return ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, id, std::string(selector), std::move(values) });
    };
}

} // namespace

struct HelperConnection::Impl {
    std::string socketPath;
    /// Serialises connecting again.
    std::mutex reopenMutex;
    mutable std::mutex mutex;
    std::shared_ptr<Link> link; // mutex
    /// Unmatched replies of the connections given up (mutex).
    std::uint64_t earlierUnmatchedReplies { 0 };

    std::shared_ptr<Link> current() const
    {
        std::lock_guard lock(mutex);
        return link;
    }

    // The connection for the next request. When the helper closed it while it was
    // idle (it closes idle connections to admit new clients, and nothing was lost),
    // connects again first: once for each such close, never from a callback on the
    // connection's reader thread.
    std::shared_ptr<Link> forNextRequest()
    {
        std::lock_guard reopening(reopenMutex);
        std::shared_ptr<Link> closed = current();
        if (!closed->closedByPeerWhileIdle() || closed->onReaderThread())
            return closed;
        Result<int> fd = openHelperSocket(socketPath);
        if (!fd)
            return closed;
        auto fresh = std::make_shared<Link>(*fd, HelperFrames {}, kClosedByHelper);
        std::lock_guard lock(mutex);
        earlierUnmatchedReplies += closed->unmatchedReplyCount();
        link = fresh;
        return fresh;
    }
};

Result<std::unique_ptr<HelperConnection>> HelperConnection::connect(std::optional<std::string> socketPath)
{
    if (!socketPath) {
        auto servicePath = ipc::serviceSocketPath();
        if (!servicePath)
            return unexpected(ClientError { ClientError::Kind::unreachable, servicePath.error() });
        socketPath = std::move(servicePath).value();
    }

    Result<int> fd = openHelperSocket(*socketPath);
    if (!fd)
        return unexpected(fd.error());
    auto impl = std::make_unique<Impl>();
    impl->socketPath = *socketPath;
    impl->link = std::make_shared<Link>(*fd, HelperFrames {}, kClosedByHelper);
    return std::unique_ptr<HelperConnection>(new HelperConnection(std::move(impl)));
}

HelperConnection::HelperConnection(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

HelperConnection::~HelperConnection() = default;

void HelperConnection::sendEncoded(std::string_view selector, std::vector<WireValue> values,
    UniqueFunction<void(Result<std::vector<WireValue>>)> onReply)
{
    m_impl->forNextRequest()->send(requestFrame(selector, values),
        [onReply = std::move(onReply)](Link::Reply reply) mutable { onReply(toResult(std::move(reply))); });
}

Result<std::vector<WireValue>> HelperConnection::callEncoded(std::string_view selector, std::vector<WireValue> values,
    std::chrono::milliseconds timeout)
{
    Result<std::vector<WireValue>> result
        = toResult(m_impl->forNextRequest()->call(requestFrame(selector, values), std::chrono::steady_clock::now() + timeout));
    if (!result && result.error().kind == ClientError::Kind::timedOut)
        return unexpected(ClientError { ClientError::Kind::timedOut,
            "no reply to " + std::string(selector) + " within " + std::to_string(timeout.count()) + " ms" });
    return result;
}

std::uint64_t HelperConnection::unmatchedReplyCount() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->earlierUnmatchedReplies + m_impl->link->unmatchedReplyCount();
}

bool HelperConnection::isClosed() const
{
    return m_impl->current()->isClosed();
}

bool HelperConnection::waitUntilClosed(std::chrono::milliseconds timeout) const
{
    return m_impl->current()->waitUntilClosed(timeout);
}

} // namespace mq::client
