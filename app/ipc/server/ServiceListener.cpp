#include "app/ipc/server/ServiceListener.h"

#include "app/ipc/protocol/Frame.h"
#include "app/ipc/server/RequestDispatch.h"
#include "platform/Dispatch.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <systemd/sd-daemon.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <future>
#include <set>
#include <thread>

namespace mq::ipc {

using Protocol = asio::local::stream_protocol;

namespace {

class Connection;

} // namespace

struct ServiceListener::Impl : std::enable_shared_from_this<ServiceListener::Impl> {
    log::Logger log { "helper.xpc" };
    std::string socketPath;
    bool ownsSocketFile { false };
    std::shared_ptr<MQHelperXPCProtocol> exported;
    ListenerDelegate delegate;

    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work { io.get_executor() };
    Protocol::acceptor acceptor { io };
    std::thread ioThread;

    // I/O thread only.
    std::set<std::shared_ptr<Connection>> connections;
    std::uint64_t nextConnectionNumber { 1 };

    std::atomic<std::size_t> connectionCount { 0 };
    std::atomic<std::int64_t> pendingWrites { 0 };
    std::atomic<bool> invalidated { false };

    void accept();
    void removeConnection(const std::shared_ptr<Connection>& connection);
};

namespace {

enum class CloseReason { invalidated, interrupted };

class Connection final : public ReplySender, public std::enable_shared_from_this<Connection> {
public:
    Connection(std::shared_ptr<ServiceListener::Impl> listener, Protocol::socket socket, PeerInfo peer, std::uint64_t number)
        : m_listener(std::move(listener))
        , m_socket(std::move(socket))
        , m_peer(peer)
        , m_deliveryQueue("com.quillmoor.marquee.helper.connection." + std::to_string(number), kMaxQueuedRequestsPerConnection)
    {
    }

    const PeerInfo& peer() const { return m_peer; }

    void start() { readHeader(); }

    // Any thread. A reply goes straight to the socket when nothing is waiting to
    // be written before it; what the socket does not take at once is queued and
    // written by the I/O thread, in order.
    void sendReply(std::uint64_t id, std::vector<WireValue> values) override
    {
        Frame frame { FrameKind::reply, id, {}, std::move(values) };
        auto bytes = encodeFrame(frame);
        if (bytes.size() - kFrameHeaderBytes > kMaxReplyFrameBytes) {
            m_listener->log.error("reply {} to pid {} is {} bytes, over the limit of {}; closing the connection", id,
                m_peer.pid, bytes.size(), kMaxReplyFrameBytes);
            asio::post(m_listener->io, [self = shared_from_this()] { self->close(CloseReason::invalidated); });
            return;
        }
        std::unique_lock lock(m_writeMutex);
        if (m_writeClosed)
            return; // The client is gone; nobody waits for this reply.
        if (m_writeQueue.empty()) {
            auto sent = ::send(m_socket.native_handle(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent == static_cast<ssize_t>(bytes.size()))
                return;
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                lock.unlock();
                asio::post(m_listener->io, [self = shared_from_this()] { self->close(CloseReason::interrupted); });
                return;
            }
            if (sent > 0)
                bytes.erase(bytes.begin(), bytes.begin() + sent);
        }
        m_writeQueue.push_back(std::move(bytes));
        m_listener->pendingWrites.fetch_add(1);
        bool startWriting = m_writeQueue.size() == 1;
        lock.unlock();
        if (startWriting)
            asio::post(m_listener->io, [self = shared_from_this()] { self->writeNext(); });
    }

    // I/O thread.
    void close(CloseReason reason)
    {
        if (m_closed)
            return;
        m_closed = true;
        m_closedForJobs.store(true);
        {
            // Under the write lock, so that no thread sends on a descriptor that
            // closing hands back to the system.
            std::lock_guard lock(m_writeMutex);
            m_writeClosed = true;
            m_listener->pendingWrites.fetch_sub(static_cast<std::int64_t>(m_writeQueue.size()));
            m_writeQueue.clear();
            std::error_code ignored;
            m_socket.shutdown(Protocol::socket::shutdown_both, ignored);
            m_socket.close(ignored);
        }
        m_deliveryQueue.close();
        auto self = shared_from_this();
        m_listener->removeConnection(self);
        const auto& delegate = m_listener->delegate;
        if (reason == CloseReason::interrupted) {
            if (delegate.connectionInterrupted)
                delegate.connectionInterrupted(m_peer);
        } else if (delegate.connectionInvalidated) {
            delegate.connectionInvalidated(m_peer);
        }
    }

private:
    void misbehaved(const std::string& reason)
    {
        m_listener->log.error("protocol violation from pid {}: {}; closing the connection", m_peer.pid, reason);
        close(CloseReason::invalidated);
    }

    void readHeader()
    {
        asio::async_read(m_socket, asio::buffer(m_header),
            [self = shared_from_this()](const std::error_code& error, std::size_t) {
                if (self->m_closed)
                    return;
                if (error) {
                    self->readFailed(error);
                    return;
                }
                auto length = frameBodyLength(self->m_header.data());
                if (length == 0 || length > kMaxRequestFrameBytes) {
                    self->misbehaved("frame of " + std::to_string(length) + " bytes (limit "
                        + std::to_string(kMaxRequestFrameBytes) + ")");
                    return;
                }
                self->m_body.resize(length);
                self->readBody();
            });
    }

    void readBody()
    {
        asio::async_read(m_socket, asio::buffer(m_body), [self = shared_from_this()](const std::error_code& error, std::size_t) {
            if (self->m_closed)
                return;
            if (error) {
                // A frame cut short by the peer closing is a violation too.
                if (error == asio::error::eof)
                    self->misbehaved("connection closed in the middle of a frame");
                else
                    self->readFailed(error);
                return;
            }
            auto decoded = decodeFrameBody(self->m_body.data(), self->m_body.size());
            if (auto* failure = std::get_if<DecodeError>(&decoded)) {
                self->misbehaved(failure->reason);
                return;
            }
            auto prepared = prepareRequest(std::move(std::get<Frame>(decoded)));
            if (auto* violation = std::get_if<ProtocolViolation>(&prepared)) {
                self->misbehaved(violation->reason);
                return;
            }
            self->m_stalled = std::make_shared<PreparedRequest>(std::move(std::get<PreparedRequest>(prepared)));
            if (self->tryQueueStalled())
                self->readHeader();
        });
    }

    void readFailed(const std::error_code& error)
    {
        bool orderly = error == asio::error::eof || error == asio::error::operation_aborted;
        close(orderly ? CloseReason::invalidated : CloseReason::interrupted);
    }

    // Queues the request waiting in m_stalled; false when the queue is full, in
    // which case the connection is not read again until a queued request finishes.
    bool tryQueueStalled()
    {
        auto request = m_stalled;
        bool queued = m_deliveryQueue.tryAsync([self = shared_from_this(), request] {
            if (!self->m_closedForJobs.load())
                request->invoke(*self->m_listener->exported, self);
            asio::post(self->m_listener->io, [self] { self->jobFinished(); });
        });
        if (queued) {
            m_stalled.reset();
            m_reportedFullQueue = false;
            return true;
        }
        if (!m_reportedFullQueue) {
            m_listener->log.notice("connection from pid {}: {} requests waiting, the limit; reading paused until one finishes",
                m_peer.pid, kMaxQueuedRequestsPerConnection);
            m_reportedFullQueue = true;
        }
        return false;
    }

    void jobFinished()
    {
        if (m_closed || !m_stalled)
            return;
        if (tryQueueStalled())
            readHeader();
    }

    // I/O thread: writes the queue's front; the buffer stays in the queue (and in
    // place) until the write completes.
    void writeNext()
    {
        const std::vector<std::uint8_t>* front;
        {
            std::lock_guard lock(m_writeMutex);
            if (m_writeClosed || m_writeQueue.empty())
                return;
            front = &m_writeQueue.front();
        }
        asio::async_write(m_socket, asio::buffer(*front), [self = shared_from_this()](const std::error_code& error, std::size_t) {
            if (self->m_closed)
                return;
            bool more;
            {
                std::lock_guard lock(self->m_writeMutex);
                self->m_writeQueue.pop_front();
                self->m_listener->pendingWrites.fetch_sub(1);
                more = !self->m_writeQueue.empty();
            }
            if (error)
                self->close(CloseReason::interrupted);
            else if (more)
                self->writeNext();
        });
    }

    std::shared_ptr<ServiceListener::Impl> m_listener;
    Protocol::socket m_socket;
    PeerInfo m_peer;
    SerialDispatchQueue m_deliveryQueue;

    // I/O thread only.
    std::array<std::uint8_t, kFrameHeaderBytes> m_header {};
    std::vector<std::uint8_t> m_body;
    std::shared_ptr<PreparedRequest> m_stalled;
    bool m_closed { false };
    bool m_reportedFullQueue { false };

    std::atomic<bool> m_closedForJobs { false };

    // Replies waiting to be written, oldest first; shared by every thread that replies.
    std::mutex m_writeMutex;
    std::deque<std::vector<std::uint8_t>> m_writeQueue;
    bool m_writeClosed { false };
};

} // namespace

void ServiceListener::Impl::accept()
{
    acceptor.async_accept([self = shared_from_this()](const std::error_code& error, Protocol::socket socket) {
        if (error) {
            if (error != asio::error::operation_aborted && !self->invalidated.load()) {
                self->log.error("accept failed: {}", error.message());
                self->accept();
            }
            return;
        }
        ucred credentials {};
        socklen_t length = sizeof(credentials);
        PeerInfo peer;
        if (getsockopt(socket.native_handle(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0) {
            peer.pid = credentials.pid;
            peer.uid = credentials.uid;
        } else {
            self->log.error("refused a connection: peer credentials unreadable (errno {})", errno);
            self->accept();
            return;
        }
        std::error_code ignored;
        if (peer.uid != geteuid()) {
            self->log.notice("refused connection from pid {}: uid {} is not this session's user", peer.pid, peer.uid);
            socket.close(ignored);
        } else if (self->connections.size() >= kMaxConnections) {
            self->log.notice("refused connection from pid {}: {} clients connected, the limit", peer.pid, kMaxConnections);
            socket.close(ignored);
        } else {
            auto connection = std::make_shared<Connection>(self, std::move(socket), peer, self->nextConnectionNumber++);
            self->connections.insert(connection);
            self->connectionCount.store(self->connections.size());
            if (self->delegate.connectionAccepted)
                self->delegate.connectionAccepted(peer);
            connection->start();
        }
        self->accept();
    });
}

void ServiceListener::Impl::removeConnection(const std::shared_ptr<Connection>& connection)
{
    connections.erase(connection);
    connectionCount.store(connections.size());
}

ServiceListener::ServiceListener(std::string socketPath, std::shared_ptr<MQHelperXPCProtocol> exported, ListenerDelegate delegate)
    : m_impl(std::make_shared<Impl>())
{
    m_impl->socketPath = std::move(socketPath);
    m_impl->exported = std::move(exported);
    m_impl->delegate = std::move(delegate);
}

ServiceListener::~ServiceListener()
{
    invalidate();
}

namespace {

// True when something already accepts connections on `path`.
bool someoneListensOn(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    bool listening = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return listening;
}

} // namespace

bool ServiceListener::resume()
{
    auto& impl = *m_impl;
    std::error_code error;
    int passed = sd_listen_fds(1);
    if (passed >= 1 && sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_STREAM, 1, nullptr, 0) > 0) {
        impl.acceptor.assign(Protocol(), SD_LISTEN_FDS_START, error);
        if (error) {
            impl.log.error("cannot take the listening socket passed by systemd: {}", error.message());
            return false;
        }
        impl.log.info("taking the listening socket passed by systemd");
    } else {
        if (impl.socketPath.size() >= sizeof(sockaddr_un::sun_path)) {
            impl.log.error("socket path {} is too long", impl.socketPath);
            return false;
        }
        struct stat existing {};
        if (lstat(impl.socketPath.c_str(), &existing) == 0) {
            if (!S_ISSOCK(existing.st_mode)) {
                impl.log.error("{} exists and is not a socket; not replacing it", impl.socketPath);
                return false;
            }
            if (someoneListensOn(impl.socketPath)) {
                impl.log.error("another helper already listens on {}", impl.socketPath);
                return false;
            }
            ::unlink(impl.socketPath.c_str());
        }
        impl.acceptor.open(Protocol(), error);
        if (!error) {
            // The socket file is private from the moment it exists.
            mode_t previous = umask(0177);
            impl.acceptor.bind(Protocol::endpoint(impl.socketPath), error);
            umask(previous);
        }
        if (!error)
            impl.acceptor.listen(static_cast<int>(kMaxConnections), error);
        if (error) {
            impl.log.error("cannot listen on {}: {}", impl.socketPath, error.message());
            return false;
        }
        ::chmod(impl.socketPath.c_str(), 0600);
        impl.ownsSocketFile = true;
    }
    impl.accept();
    impl.ioThread = std::thread([impl = m_impl] { impl->io.run(); });
    return true;
}

void ServiceListener::invalidate()
{
    auto& impl = *m_impl;
    if (impl.invalidated.exchange(true))
        return;
    if (impl.ioThread.joinable()) {
        std::promise<void> closed;
        asio::post(impl.io, [&impl, &closed] {
            std::error_code ignored;
            impl.acceptor.close(ignored);
            auto connections = impl.connections;
            for (const auto& connection : connections)
                connection->close(CloseReason::invalidated);
            closed.set_value();
        });
        closed.get_future().wait_for(std::chrono::seconds(2));
        impl.work.reset();
        impl.io.stop();
        impl.ioThread.join();
        // Closing left the connections' reads and the accept completed with
        // "aborted" but not yet run; their handlers hold the connections, which
        // hold the listener. Run them here so that all of it is released.
        impl.io.restart();
        impl.io.poll();
    }
    if (impl.ownsSocketFile)
        ::unlink(impl.socketPath.c_str());
}

bool ServiceListener::waitForRepliesWritten(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_impl->pendingWrites.load() > 0) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::size_t ServiceListener::connectionCount() const
{
    return m_impl->connectionCount.load();
}

const std::string& ServiceListener::socketPath() const
{
    return m_impl->socketPath;
}

} // namespace mq::ipc
