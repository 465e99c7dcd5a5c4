#include "client/HelperConnection.h"

#include "app/ipc/protocol/Frame.h"
#include "app/ipc/protocol/ServiceEndpoint.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <thread>

namespace mq::client {

using PendingCallback = UniqueFunction<void(Result<std::vector<WireValue>>)>;

struct HelperConnection::Impl {
    int fd { -1 };
    std::mutex writeMutex;
    std::mutex pendingMutex;
    std::map<std::uint64_t, PendingCallback> pending;
    std::uint64_t nextId { 1 };
    std::atomic<bool> closed { false };
    std::atomic<std::uint64_t> unmatchedReplies { 0 };
    mutable std::mutex closedMutex;
    mutable std::condition_variable closedChanged;
    std::thread reader;

    ~Impl()
    {
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        if (reader.joinable())
            reader.join();
        if (fd >= 0)
            ::close(fd);
    }

    bool writeAll(const std::uint8_t* data, std::size_t size)
    {
        std::lock_guard lock(writeMutex);
        while (size > 0) {
            auto written = ::send(fd, data, size, MSG_NOSIGNAL);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    }

    bool readAll(std::uint8_t* data, std::size_t size)
    {
        while (size > 0) {
            auto got = ::recv(fd, data, size, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            data += got;
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

    void readReplies()
    {
        std::string why = "the helper closed the connection";
        for (;;) {
            std::uint8_t header[ipc::kFrameHeaderBytes];
            if (!readAll(header, sizeof(header)))
                break;
            auto length = ipc::frameBodyLength(header);
            if (length == 0 || length > ipc::kMaxReplyFrameBytes) {
                why = "reply frame of " + std::to_string(length) + " bytes";
                break;
            }
            std::vector<std::uint8_t> body(length);
            if (!readAll(body.data(), body.size()))
                break;
            auto decoded = ipc::decodeFrameBody(body.data(), body.size());
            if (auto* error = std::get_if<ipc::DecodeError>(&decoded)) {
                why = "undecodable reply: " + error->reason;
                break;
            }
            auto& frame = std::get<ipc::Frame>(decoded);
            PendingCallback callback;
            {
                std::lock_guard lock(pendingMutex);
                auto entry = pending.find(frame.id);
                if (entry != pending.end()) {
                    callback = std::move(entry->second);
                    pending.erase(entry);
                }
            }
            // A reply whose caller already gave up (timed out) finds no callback.
            if (frame.kind == ipc::FrameKind::reply && callback)
                callback(std::move(frame.values));
            else
                unmatchedReplies.fetch_add(1);
        }
        closeWith(why);
    }

    void closeWith(const std::string& why)
    {
        std::map<std::uint64_t, PendingCallback> orphans;
        {
            std::lock_guard lock(pendingMutex);
            closed.store(true);
            orphans.swap(pending);
        }
        for (auto& [id, callback] : orphans)
            callback(ClientError { ClientError::Kind::disconnected, why });
        std::lock_guard lock(closedMutex);
        closedChanged.notify_all();
    }
};

Result<std::unique_ptr<HelperConnection>> HelperConnection::connect(std::optional<std::string> socketPath)
{
    std::string whyNot;
    if (!socketPath)
        socketPath = ipc::serviceSocketPath(&whyNot);
    if (!socketPath)
        return ClientError { ClientError::Kind::unreachable, whyNot };

    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath->size() >= sizeof(address.sun_path))
        return ClientError { ClientError::Kind::unreachable, "socket path too long: " + *socketPath };
    std::strncpy(address.sun_path, socketPath->c_str(), sizeof(address.sun_path) - 1);

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ClientError { ClientError::Kind::unreachable, std::string("socket: ") + std::strerror(errno) };
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        int error = errno;
        ::close(fd);
        return ClientError { ClientError::Kind::unreachable,
            "the Marquee helper is not running (no service at " + *socketPath + ": " + std::strerror(error) + ")" };
    }
    auto impl = std::make_unique<Impl>();
    impl->fd = fd;
    impl->reader = std::thread([raw = impl.get()] { raw->readReplies(); });
    return std::unique_ptr<HelperConnection>(new HelperConnection(std::move(impl)));
}

HelperConnection::HelperConnection(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

HelperConnection::~HelperConnection() = default;

void HelperConnection::sendEncoded(std::string_view selector, std::vector<WireValue> values, PendingCallback onReply)
{
    std::uint64_t id;
    {
        std::lock_guard lock(m_impl->pendingMutex);
        if (m_impl->closed.load()) {
            onReply(ClientError { ClientError::Kind::disconnected, "the connection to the helper is closed" });
            return;
        }
        id = m_impl->nextId++;
        m_impl->pending.emplace(id, std::move(onReply));
    }
    auto bytes = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, id, std::string(selector), std::move(values) });
    if (!m_impl->writeAll(bytes.data(), bytes.size())) {
        // The reader thread sees the broken connection and fails every pending call.
        ::shutdown(m_impl->fd, SHUT_RDWR);
    }
}

std::uint64_t HelperConnection::unmatchedReplyCount() const
{
    return m_impl->unmatchedReplies.load();
}

bool HelperConnection::isClosed() const
{
    return m_impl->closed.load();
}

bool HelperConnection::waitUntilClosed(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_impl->closedMutex);
    return m_impl->closedChanged.wait_for(lock, timeout, [&] { return m_impl->closed.load(); });
}

} // namespace mq::client
