#include "app/ipc/server/ServiceListener.h"

#include "protocol/Frame.h"
#include "app/ipc/server/RequestDispatch.h"
#include "platform/Dispatch.h"
#include "platform/JobBoundary.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <fmt/format.h>
#include <systemd/sd-daemon.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <future>
#include <set>
#include <system_error>
#include <thread>

namespace mq::ipc {

using Protocol = asio::local::stream_protocol;

namespace {

class Connection;

/// The reply path of one request of `connection` (see AnsweredRequest).
std::shared_ptr<ReplySender> answeredRequest(std::shared_ptr<Connection> connection, bool largeReply);

} // namespace

struct ServiceListener::Impl : std::enable_shared_from_this<ServiceListener::Impl> {
    log::Logger log { "helper.xpc" };
    std::string socketPath;
    bool ownsSocketFile { false };
    std::shared_ptr<MQHelperXPCProtocol> exported;
    ListenerDelegate delegate;
    ConnectionLimits limits;

    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work { io.get_executor() };
    Protocol::acceptor acceptor { io };
    asio::steady_timer acceptRetry { io };
    std::thread ioThread;

    // I/O thread only.
    std::set<std::shared_ptr<Connection>> connections;
    std::uint64_t nextConnectionNumber { 1 };

    std::atomic<std::size_t> connectionCount { 0 };
    std::atomic<std::int64_t> pendingWrites { 0 };
    std::atomic<bool> invalidated { false };

    void accept();
    void acceptReady();
    void admit(int fd);
    /// Closes the connection idle for longest that may be closed (see
    /// Connection::closableWhenIdle) to make room for `newcomer`; false when none may.
    bool closeLongestIdleConnection(const PeerInfo& newcomer);
    void removeConnection(const std::shared_ptr<Connection>& connection);
};

namespace {

enum class CloseReason { invalidated, interrupted };

using Clock = std::chrono::steady_clock;

// The requests whose effect outlives the connection: a client that started a
// monitor is never closed for being idle.
bool startsMonitor(std::string_view selector)
{
    return selector == protocol::startTransportScrubObservingWithFrameRate::selector
        || selector == protocol::startProjectCloseWatchForShmPath::selector;
}

class Connection final : public ReplySender, public std::enable_shared_from_this<Connection> {
public:
    Connection(std::shared_ptr<ServiceListener::Impl> listener, Protocol::socket socket, PeerInfo peer, std::uint64_t number)
        : m_listener(std::move(listener))
        , m_socket(std::move(socket))
        , m_peer(peer)
        , m_number(number)
        , m_frameTimer(m_listener->io)
        // Starts the connection's thread: throws std::system_error when the system has none to give.
        , m_deliveryQueue("com.quillmoor.marquee.helper.connection." + std::to_string(number), kMaxQueuedRequestsPerConnection)
    {
    }

    const PeerInfo& peer() const { return m_peer; }

    std::uint64_t connectionNumber() const override { return m_number; }
    bool isClosed() const override { return m_closedForJobs.load(); }

    // I/O thread: a connection that may be closed to admit a new client: no
    // request of it waits for its reply, no reply waits to be written, and it
    // started no monitor. (A frame it has only begun to send does not count: a
    // client holding half a frame is as idle as one that sends nothing.)
    bool closableWhenIdle() const
    {
        if (m_closed || m_inFlight > 0 || m_stalled || m_startedMonitor)
            return false;
        std::lock_guard lock(m_writeMutex);
        return unsentBytesLocked() == 0;
    }
    Clock::time_point lastActivity() const { return m_lastActivity; }

    // Any thread: a request of this connection has been answered (or its reply
    // dropped); it no longer counts against the connection's bounds.
    void requestAnswered(bool largeReply)
    {
        asio::post(m_listener->io, [self = shared_from_this(), largeReply] {
            --self->m_inFlight;
            if (largeReply)
                --self->m_largeInFlight;
            self->m_lastActivity = Clock::now();
            self->resumeReading();
        });
    }

    void start() { readHeader(); }

    // Any thread. A reply goes straight to the socket when nothing is waiting to
    // be written before it; what the socket does not take at once is appended to
    // the unsent bytes, which the I/O thread writes in order.
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
        std::size_t sent = 0;
        if (unsentBytesLocked() == 0) {
            auto result = ::send(m_socket.native_handle(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (result == static_cast<ssize_t>(bytes.size()))
                return;
            if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                lock.unlock();
                asio::post(m_listener->io, [self = shared_from_this()] { self->close(CloseReason::interrupted); });
                return;
            }
            if (result > 0)
                sent = static_cast<std::size_t>(result);
        }
        bool startWriting = m_writing.empty() && m_unsent.empty();
        m_unsent.insert(m_unsent.end(), bytes.begin() + static_cast<std::ptrdiff_t>(sent), bytes.end());
        m_listener->pendingWrites.fetch_add(static_cast<std::int64_t>(bytes.size() - sent));
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
        std::error_code ignored;
        m_frameTimer.cancel();
        {
            // Under the write lock, so that no thread sends on a descriptor that
            // closing hands back to the system.
            std::lock_guard lock(m_writeMutex);
            m_writeClosed = true;
            m_listener->pendingWrites.fetch_sub(static_cast<std::int64_t>(unsentBytesLocked()));
            m_unsent = {};
            m_writing = {};
            m_socket.shutdown(Protocol::socket::shutdown_both, ignored);
            m_socket.close(ignored);
        }
        m_writesDrained.notify_all();
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

    // The header is read as it comes, so that the first byte of a frame starts
    // the clock within which the whole frame must arrive. A frame that arrives
    // whole in one go (the usual case) never needs the clock: it is started only
    // once part of a frame is found missing, in the same turn as its first bytes
    // were read, which spares each request arming and cancelling a timer.
    void readHeader()
    {
        m_socket.async_read_some(asio::buffer(m_header.data() + m_headerBytes, m_header.size() - m_headerBytes),
            [self = shared_from_this()](const std::error_code& error, std::size_t got) {
                if (self->m_closed)
                    return;
                if (error) {
                    if (error == asio::error::eof && self->m_headerBytes > 0)
                        self->misbehaved("connection closed in the middle of a frame");
                    else
                        self->readFailed(error);
                    return;
                }
                self->m_headerBytes += got;
                if (self->m_headerBytes < self->m_header.size()) {
                    self->frameStarted();
                    self->readHeader();
                    return;
                }
                self->m_headerBytes = 0;
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

    // Starts the clock of the frame being read, unless it runs already.
    void frameStarted()
    {
        if (m_frameTimerArmed)
            return;
        m_frameTimerArmed = true;
        m_frameTimer.expires_after(m_listener->limits.incompleteFrameTimeout);
        m_frameTimer.async_wait([weak = weak_from_this()](const std::error_code& error) {
            auto self = weak.lock();
            if (error || !self || self->m_closed)
                return;
            self->m_listener->log.notice("connection from pid {}: a frame stayed incomplete for {} ms; closing the connection",
                self->m_peer.pid, self->m_listener->limits.incompleteFrameTimeout.count());
            self->close(CloseReason::invalidated);
        });
    }

    // Takes the body at once when the socket has all of it; otherwise starts the
    // frame's clock and waits for the rest.
    void readBody()
    {
        auto got = ::recv(m_socket.native_handle(), m_body.data(), m_body.size(), MSG_DONTWAIT);
        std::size_t have = got > 0 ? static_cast<std::size_t>(got) : 0;
        if (have == m_body.size()) {
            bodyArrived();
            return;
        }
        // Nothing or part of it yet (or an error or the end of the stream, which
        // the read below reports).
        frameStarted();
        asio::async_read(m_socket, asio::buffer(m_body.data() + have, m_body.size() - have),
            [self = shared_from_this()](const std::error_code& error, std::size_t) {
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
            self->bodyArrived();
        });
    }

    void bodyArrived()
    {
        if (m_frameTimerArmed) {
            m_frameTimerArmed = false;
            m_frameTimer.cancel();
        }
        auto decoded = decodeFrameBody(m_body.data(), m_body.size());
        if (!decoded) {
            misbehaved(decoded.error().reason);
            return;
        }
        auto prepared = prepareRequest(std::move(decoded).value());
        if (!prepared) {
            misbehaved(prepared.error().reason);
            return;
        }
        m_stalled = std::make_shared<PreparedRequest>(std::move(prepared).value());
        m_lastActivity = Clock::now();
        if (tryQueueStalled())
            readHeader();
    }

    void readFailed(const std::error_code& error)
    {
        bool orderly = error == asio::error::eof || error == asio::error::operation_aborted;
        close(orderly ? CloseReason::invalidated : CloseReason::interrupted);
    }

    std::size_t unsentBytesLocked() const { return m_unsent.size() + m_writing.size(); }

    bool overReplyBound() const
    {
        std::lock_guard lock(m_writeMutex);
        return unsentBytesLocked() > m_listener->limits.maxUnsentReplyBytes;
    }

    // Queues the request waiting in m_stalled; false when the connection holds
    // as much as it may (requests unanswered, replies unread, a large reply in the
    // making), in which case it is not read again until one of those ends.
    bool tryQueueStalled()
    {
        if (overReplyBound()) {
            if (!m_reportedUnreadReplies) {
                m_listener->log.notice("connection from pid {}: over {} bytes of replies unread; reading paused until the client reads",
                    m_peer.pid, m_listener->limits.maxUnsentReplyBytes);
                m_reportedUnreadReplies = true;
            }
            return false;
        }
        m_reportedUnreadReplies = false;
        // Every request counts until it is answered, whichever queue runs it: a
        // client cannot pile work onto the main queue or the global pool.
        if (m_inFlight >= kMaxQueuedRequestsPerConnection) {
            if (!m_reportedFullQueue) {
                m_listener->log.notice("connection from pid {}: {} requests waiting, the limit; reading paused until one finishes",
                    m_peer.pid, kMaxQueuedRequestsPerConnection);
                m_reportedFullQueue = true;
            }
            return false;
        }
        // A reply that may be as large as a frame allows is started only when no
        // other one is on its way and every earlier reply has been taken, so that
        // the unsent bytes stay within the bound.
        if (m_stalled->largeReply && (m_largeInFlight > 0 || unsentBytes() > 0))
            return false;
        if (startsMonitor(m_stalled->selector))
            m_startedMonitor = true;
        // Counted from here; the count drops when the request's reply path is
        // released (answered, dropped, or never run).
        admitted(*m_stalled);
        auto sender = answeredRequest(shared_from_this(), m_stalled->largeReply);
        // A request that returns at once, with nothing of this connection before it,
        // runs here: its reply leaves from this thread without waking another.
        if (m_jobsOutstanding == 0 && m_listener->exported->returnsAtOnce(m_stalled->selector)) {
            auto request = std::move(m_stalled);
            m_reportedFullQueue = false;
            invokeAtBoundary(*request, std::move(sender));
            return true;
        }
        auto request = m_stalled;
        bool queued = m_deliveryQueue.tryAsync([self = shared_from_this(), request, sender = std::move(sender)]() mutable {
            // A request queued before the bound was reached waits here until the
            // client has read enough, so that its reply cannot add to the pile.
            if (self->waitForUnreadRepliesBelowBound())
                self->invokeAtBoundary(*request, std::move(sender));
            sender.reset();
            asio::post(self->m_listener->io, [self] { self->jobFinished(); });
        });
        if (queued) {
            ++m_jobsOutstanding;
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

    // I/O thread: the request counts against the connection's bounds from now on.
    void admitted(const PreparedRequest& request)
    {
        ++m_inFlight;
        if (request.largeReply)
            ++m_largeInFlight;
    }

    // Runs a request's handler. One that throws fails alone: the exception is
    // logged with the request's name and its reply answered as a failure.
    void invokeAtBoundary(PreparedRequest& request, std::shared_ptr<ReplySender> sender)
    {
        callAtJobBoundary(fmt::format("request {} from pid {}", request.selector, m_peer.pid),
            [&] { request.invoke(*m_listener->exported, std::move(sender)); });
    }

    std::size_t unsentBytes() const
    {
        std::lock_guard lock(m_writeMutex);
        return unsentBytesLocked();
    }

    // Delivery thread. False when the connection closed meanwhile: the request is skipped.
    bool waitForUnreadRepliesBelowBound()
    {
        std::unique_lock lock(m_writeMutex);
        m_writesDrained.wait(lock, [&] { return m_writeClosed || unsentBytesLocked() <= m_listener->limits.maxUnsentReplyBytes; });
        return !m_writeClosed && !m_closedForJobs.load();
    }

    // I/O thread: a queued request ended or the replies drained below the bound.
    void resumeReading()
    {
        if (m_closed || !m_stalled)
            return;
        if (tryQueueStalled())
            readHeader();
    }

    void jobFinished()
    {
        --m_jobsOutstanding;
        resumeReading();
    }

    // I/O thread: hands every unsent byte to one write; the buffer being written
    // stays in place until the write completes, while new replies gather behind it.
    void writeNext()
    {
        {
            std::lock_guard lock(m_writeMutex);
            if (m_writeClosed || !m_writing.empty() || m_unsent.empty())
                return;
            m_writing.swap(m_unsent);
        }
        asio::async_write(m_socket, asio::buffer(m_writing), [self = shared_from_this()](const std::error_code& error, std::size_t) {
            if (self->m_closed)
                return;
            bool more;
            bool belowBound;
            {
                std::lock_guard lock(self->m_writeMutex);
                self->m_listener->pendingWrites.fetch_sub(static_cast<std::int64_t>(self->m_writing.size()));
                // Keep the capacity of neither buffer beyond the bound's worth.
                std::vector<std::uint8_t>().swap(self->m_writing);
                more = !self->m_unsent.empty();
                belowBound = self->unsentBytesLocked() <= self->m_listener->limits.maxUnsentReplyBytes;
            }
            if (error) {
                self->close(CloseReason::interrupted);
                return;
            }
            if (belowBound) {
                self->m_writesDrained.notify_all();
                self->resumeReading();
            }
            if (more)
                self->writeNext();
        });
    }

    std::shared_ptr<ServiceListener::Impl> m_listener;
    Protocol::socket m_socket;
    PeerInfo m_peer;
    const std::uint64_t m_number;
    asio::steady_timer m_frameTimer;
    /// The frame being read has its clock running (m_frameTimer waits).
    bool m_frameTimerArmed { false };
    SerialDispatchQueue m_deliveryQueue;

    // I/O thread only.
    std::array<std::uint8_t, kFrameHeaderBytes> m_header {};
    std::size_t m_headerBytes { 0 };
    std::vector<std::uint8_t> m_body;
    std::shared_ptr<PreparedRequest> m_stalled;
    /// Requests on the delivery queue, waiting or running.
    std::size_t m_jobsOutstanding { 0 };
    /// Requests read and not yet answered, whichever queue runs them.
    std::size_t m_inFlight { 0 };
    /// Of those, the ones whose reply may be as large as a frame allows.
    std::size_t m_largeInFlight { 0 };
    /// When a request last arrived or was answered (or the connection was made).
    Clock::time_point m_lastActivity { Clock::now() };
    /// The client started a monitor on this connection.
    bool m_startedMonitor { false };
    bool m_closed { false };
    bool m_reportedFullQueue { false };
    bool m_reportedUnreadReplies { false };

    std::atomic<bool> m_closedForJobs { false };

    // Reply bytes the client has not taken yet: m_writing is being written by the
    // I/O thread, m_unsent gathers what comes after it. Shared by every thread that replies.
    mutable std::mutex m_writeMutex;
    std::condition_variable m_writesDrained;
    std::vector<std::uint8_t> m_writing;
    std::vector<std::uint8_t> m_unsent;
    bool m_writeClosed { false };
};

// The reply path of one request: forwards the reply to its connection, and when
// the Reply is done with it (answered or dropped) tells the connection that the
// request no longer counts against its bounds.
class AnsweredRequest final : public ReplySender {
public:
    AnsweredRequest(std::shared_ptr<Connection> connection, bool largeReply)
        : m_connection(std::move(connection))
        , m_largeReply(largeReply)
    {
    }
    ~AnsweredRequest() override { m_connection->requestAnswered(m_largeReply); }

    void sendReply(std::uint64_t id, std::vector<WireValue> values) override { m_connection->sendReply(id, std::move(values)); }
    std::uint64_t connectionNumber() const override { return m_connection->connectionNumber(); }
    bool isClosed() const override { return m_connection->isClosed(); }

private:
    std::shared_ptr<Connection> m_connection;
    bool m_largeReply;
};

std::shared_ptr<ReplySender> answeredRequest(std::shared_ptr<Connection> connection, bool largeReply)
{
    return std::make_shared<AnsweredRequest>(std::move(connection), largeReply);
}

} // namespace

void ServiceListener::Impl::accept()
{
    acceptor.async_wait(Protocol::acceptor::wait_read, [self = shared_from_this()](const std::error_code& error) {
        if (error) {
            if (error != asio::error::operation_aborted && !self->invalidated.load()) {
                self->log.error("accept failed: {}", error.message());
                self->accept();
            }
            return;
        }
        self->acceptReady();
    });
}

// Takes the waiting connection with accept4, so that its descriptor is
// close-on-exec from the start: a child process started meanwhile on another
// thread must not inherit it.
void ServiceListener::Impl::acceptReady()
{
    int fd = ::accept4(acceptor.native_handle(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        int failure = errno;
        if (failure == EAGAIN || failure == EWOULDBLOCK || failure == EINTR || failure == ECONNABORTED) {
            accept();
            return;
        }
        // Out of descriptors or memory: try again shortly instead of spinning on a
        // socket that stays readable.
        log.error("accept failed: {}", std::strerror(failure));
        acceptRetry.expires_after(std::chrono::milliseconds(100));
        acceptRetry.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (!error && !self->invalidated.load())
                self->accept();
        });
        return;
    }
    admit(fd);
    accept();
}

void ServiceListener::Impl::admit(int fd)
{
    ucred credentials {};
    socklen_t length = sizeof(credentials);
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        log.error("refused a connection: peer credentials unreadable (errno {})", errno);
        ::close(fd);
        return;
    }
    PeerInfo peer { credentials.pid, credentials.uid };
    if (peer.uid != geteuid()) {
        log.notice("refused connection from pid {}: uid {} is not this session's user", peer.pid, peer.uid);
        ::close(fd);
        return;
    }
    if (connections.size() >= limits.maxConnections && !closeLongestIdleConnection(peer)) {
        log.notice("refused connection from pid {}: {} clients connected, the limit", peer.pid, limits.maxConnections);
        ::close(fd);
        return;
    }
    std::error_code error;
    Protocol::socket socket(io);
    socket.assign(Protocol(), fd, error);
    if (error) {
        log.error("refused connection from pid {}: {}", peer.pid, error.message());
        ::close(fd);
        return;
    }
    std::shared_ptr<Connection> connection;
    try {
        connection = std::make_shared<Connection>(shared_from_this(), std::move(socket), peer, nextConnectionNumber++);
    } catch (const std::system_error& failure) {
        // No thread for it (the system's limit): this client is refused, the
        // others go on. The socket was closed with the half-built connection.
        log.error("refused connection from pid {}: cannot start its thread ({})", peer.pid, failure.what());
        return;
    }
    connections.insert(connection);
    connectionCount.store(connections.size());
    if (delegate.connectionAccepted)
        delegate.connectionAccepted(peer);
    connection->start();
}

bool ServiceListener::Impl::closeLongestIdleConnection(const PeerInfo& newcomer)
{
    std::shared_ptr<Connection> longestIdle;
    for (const auto& connection : connections)
        if (connection->closableWhenIdle() && (!longestIdle || connection->lastActivity() < longestIdle->lastActivity()))
            longestIdle = connection;
    if (!longestIdle)
        return false;
    auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - longestIdle->lastActivity());
    log.notice("{} clients connected, the limit: closing the connection from pid {}, idle for {} ms, to admit pid {}",
        limits.maxConnections, longestIdle->peer().pid, idle.count(), newcomer.pid);
    longestIdle->close(CloseReason::invalidated);
    return true;
}

void ServiceListener::Impl::removeConnection(const std::shared_ptr<Connection>& connection)
{
    connections.erase(connection);
    connectionCount.store(connections.size());
}

ServiceListener::ServiceListener(std::string socketPath, std::shared_ptr<MQHelperXPCProtocol> exported, ListenerDelegate delegate,
    ConnectionLimits limits)
    : m_impl(std::make_shared<Impl>())
{
    m_impl->limits = limits;
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
        if (!error) {
            ::fcntl(SD_LISTEN_FDS_START, F_SETFD, FD_CLOEXEC);
            impl.acceptor.non_blocking(true, error);
        }
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
        // Opened close-on-exec, so that no child process keeps the service's
        // socket alive after this helper ends.
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            error = std::error_code(errno, std::system_category());
        else
            impl.acceptor.assign(Protocol(), fd, error);
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
            impl.acceptRetry.cancel();
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
