#include "marquee/HelperConnection.h"

#include "protocol/Frame.h"
#include "protocol/ServiceEndpoint.h"
#include "base/SocketWait.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <variant>

namespace mq::client {

using PendingCallback = UniqueFunction<void(Result<std::vector<WireValue>>)>;
using Clock = std::chrono::steady_clock;

namespace {

/// How long the reader thread stays away from the socket after the last blocking
/// call returned: calls that follow one another read their own replies, and the
/// reader thread does not wake for each of them.
constexpr std::chrono::milliseconds kReaderGrace { 20 };

constexpr const char* kClosedByHelper = "the helper closed the connection";

/// A blocking call waiting for its reply on its own thread.
struct WaitingCall {
    std::optional<Result<std::vector<WireValue>>> result;
};

/// Opens a connection to the helper's socket at `socketPath`.
Result<int> openHelperSocket(const std::string& socketPath)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(address.sun_path))
        return ClientError { ClientError::Kind::unreachable, "socket path too long: " + socketPath };
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return ClientError { ClientError::Kind::unreachable, std::string("socket: ") + std::strerror(errno) };
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        int error = errno;
        ::close(fd);
        return ClientError { ClientError::Kind::unreachable,
            "the Marquee helper is not running (no service at " + socketPath + ": " + std::strerror(error) + ")" };
    }
    // Bounds each sleep of a blocking call in recv.
    if (!platform::setBlockingReadSlice(fd)) {
        int error = errno;
        ::close(fd);
        return ClientError { ClientError::Kind::unreachable, std::string("setsockopt: ") + std::strerror(error) };
    }
    return fd;
}

/// What one read of the socket gave: whole frames, and whether the connection broke.
struct ReadBatch {
    std::vector<ipc::Frame> frames;
    std::optional<std::string> broken;
    /// The socket had nothing more to give.
    bool drained { false };
};

} // namespace

// Who reads the socket: whichever thread holds `readMutex`. A blocking call takes
// it when it is free and reads until its own reply is there; the reader thread
// takes it only while no blocking call waits (and not in the short grace after
// one), so that replies to callbacks and the helper closing the connection are
// still noticed. Whatever a reader reads it hands to its owner: a waiting call's
// slot, or a callback that it runs after letting go of the socket.
struct HelperConnection::Impl {
    int fd { -1 };
    std::string socketPath;
    std::mutex writeMutex;

    std::mutex readMutex;
    std::vector<std::uint8_t> inbox; // Bytes read that do not make a whole frame yet (readMutex).

    std::mutex pendingMutex;
    std::condition_variable replied; // A waiting call's reply came, or the socket's reader let go of it.
    std::condition_variable readerWake;
    std::map<std::uint64_t, std::variant<PendingCallback, WaitingCall*>> pending;
    std::uint64_t nextId { 1 };
    std::size_t callbacksPending { 0 };
    std::size_t callsWaiting { 0 };
    std::uint64_t readReleases { 0 };
    Clock::time_point lastCallReturned {};
    bool stopping { false };

    std::atomic<bool> closed { false };
    /// The helper closed the connection while no request of it was waiting for a
    /// reply (pendingMutex): the helper closes idle connections to admit new
    /// clients, and nothing was lost, so the next call connects again.
    bool closedWhileIdle { false };
    /// Serialises connecting again.
    std::mutex reopenMutex;
    std::atomic<std::uint64_t> unmatchedReplies { 0 };
    mutable std::mutex closedMutex;
    mutable std::condition_variable closedChanged;
    std::thread reader;

    ~Impl()
    {
        {
            std::lock_guard lock(pendingMutex);
            stopping = true;
        }
        readerWake.notify_all();
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        if (reader.joinable())
            reader.join();
        closeWith(kClosedByHelper);
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

    // With readMutex held: what the socket has now, without waiting; or, with
    // `blocking`, once something comes or the socket's receive time-out passes
    // (a batch then "drained" and empty).
    ReadBatch readAvailable(bool blocking = false)
    {
        ReadBatch batch;
        std::uint8_t chunk[64 * 1024];
        auto got = ::recv(fd, chunk, sizeof(chunk), blocking ? 0 : MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                batch.drained = true;
            else if (errno != EINTR)
                batch.broken = kClosedByHelper;
            return batch;
        }
        if (got == 0) {
            batch.broken = kClosedByHelper;
            return batch;
        }
        inbox.insert(inbox.end(), chunk, chunk + got);
        std::size_t used = 0;
        while (inbox.size() - used >= ipc::kFrameHeaderBytes) {
            auto length = ipc::frameBodyLength(inbox.data() + used);
            if (length == 0 || length > ipc::kMaxReplyFrameBytes) {
                batch.broken = "reply frame of " + std::to_string(length) + " bytes";
                break;
            }
            if (inbox.size() - used - ipc::kFrameHeaderBytes < length)
                break;
            auto decoded = ipc::decodeFrameBody(inbox.data() + used + ipc::kFrameHeaderBytes, length);
            if (!decoded) {
                batch.broken = "undecodable reply: " + decoded.error().reason;
                break;
            }
            batch.frames.push_back(std::move(decoded).value());
            used += ipc::kFrameHeaderBytes + length;
        }
        inbox.erase(inbox.begin(), inbox.begin() + static_cast<std::ptrdiff_t>(used));
        return batch;
    }

    // Lets go of the socket and tells the calls waiting for it.
    void releaseRead(std::unique_lock<std::mutex>& reading)
    {
        reading.unlock();
        {
            std::lock_guard lock(pendingMutex);
            ++readReleases;
        }
        replied.notify_all();
    }

    using ReadyCallbacks = std::vector<std::pair<PendingCallback, std::vector<WireValue>>>;

    // With readMutex held: hands each frame to its owner. A waiting call gets its
    // reply before the socket is let go of, so that it cannot take the socket and
    // sleep on it while its reply is still in another thread's hands. Callbacks
    // are answered after (runCallbacks), with no lock held.
    ReadyCallbacks handOver(std::vector<ipc::Frame>& frames)
    {
        ReadyCallbacks callbacks;
        bool answeredWaitingCall = false;
        {
            std::lock_guard lock(pendingMutex);
            for (auto& frame : frames) {
                auto entry = pending.find(frame.id);
                // A reply whose caller already gave up (timed out) finds nobody.
                if (frame.kind != ipc::FrameKind::reply || entry == pending.end()) {
                    unmatchedReplies.fetch_add(1);
                    continue;
                }
                if (auto* call = std::get_if<WaitingCall*>(&entry->second)) {
                    (*call)->result.emplace(std::move(frame.values));
                    answeredWaitingCall = true;
                } else {
                    callbacks.emplace_back(std::move(std::get<PendingCallback>(entry->second)), std::move(frame.values));
                    --callbacksPending;
                }
                pending.erase(entry);
            }
        }
        if (answeredWaitingCall)
            replied.notify_all();
        return callbacks;
    }

    static void runCallbacks(ReadyCallbacks& callbacks)
    {
        for (auto& [callback, values] : callbacks)
            callback(std::move(values));
    }

    // One turn at the socket. False when it is closed.
    bool readTurn(std::unique_lock<std::mutex>& reading, bool* drained)
    {
        ReadBatch batch = readAvailable();
        ReadyCallbacks callbacks = handOver(batch.frames);
        releaseRead(reading);
        runCallbacks(callbacks);
        *drained = batch.drained;
        if (batch.broken) {
            closeWith(*batch.broken);
            return false;
        }
        return true;
    }

    // The reader thread: reads for callbacks, and notices the helper closing the
    // connection, while no blocking call is reading.
    void readForCallbacks()
    {
        for (;;) {
            {
                std::unique_lock lock(pendingMutex);
                for (;;) {
                    if (stopping || closed.load())
                        return;
                    if (callsWaiting == 0 && (callbacksPending > 0 || Clock::now() - lastCallReturned >= kReaderGrace))
                        break;
                    readerWake.wait_for(lock, kReaderGrace);
                }
            }
            std::unique_lock reading(readMutex, std::try_to_lock);
            if (!reading) {
                std::unique_lock lock(pendingMutex);
                readerWake.wait_for(lock, kReaderGrace);
                continue;
            }
            bool drained = false;
            if (!readTurn(reading, &drained))
                return;
            if (drained) {
                pollfd p { fd, POLLIN, 0 };
                ::poll(&p, 1, -1);
            }
        }
    }

    void closeWith(const std::string& why)
    {
        std::map<std::uint64_t, std::variant<PendingCallback, WaitingCall*>> orphans;
        {
            std::lock_guard lock(pendingMutex);
            bool wasClosed = closed.exchange(true);
            if (!wasClosed)
                closedWhileIdle = pending.empty() && why == kClosedByHelper;
            if (wasClosed && pending.empty())
                return;
            orphans.swap(pending);
            callbacksPending = 0;
            for (auto& [id, owner] : orphans)
                if (auto* call = std::get_if<WaitingCall*>(&owner))
                    (*call)->result.emplace(ClientError { ClientError::Kind::disconnected, why });
        }
        // Wake every thread that polls the socket.
        ::shutdown(fd, SHUT_RDWR);
        replied.notify_all();
        readerWake.notify_all();
        for (auto& [id, owner] : orphans)
            if (auto* callback = std::get_if<PendingCallback>(&owner))
                (*callback)(ClientError { ClientError::Kind::disconnected, why });
        std::lock_guard lock(closedMutex);
        closedChanged.notify_all();
    }

    // Before a call: a helper that closed this connection while it was idle may
    // not have been noticed yet (the reader looks only between calls).
    void noticeClosedWhileIdle()
    {
        {
            std::lock_guard lock(pendingMutex);
            if (closed.load() || !pending.empty())
                return;
        }
        char next;
        if (::recv(fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
            closeWith(kClosedByHelper);
    }

    // Connects again when the helper closed the connection while it was idle: once
    // for each such close, and never from a callback on the reader thread. True
    // when the connection is open (again).
    bool reopenIfClosedWhileIdle()
    {
        std::lock_guard reopening(reopenMutex);
        noticeClosedWhileIdle();
        {
            std::lock_guard lock(pendingMutex);
            if (!closed.load())
                return true;
            if (!closedWhileIdle || stopping || std::this_thread::get_id() == reader.get_id())
                return false;
            closedWhileIdle = false;
        }
        auto reopened = openHelperSocket(socketPath);
        if (!reopened)
            return false;
        // The reader ends once the connection is closed.
        if (reader.joinable())
            reader.join();
        {
            std::scoped_lock locks(readMutex, writeMutex, pendingMutex);
            ::close(fd);
            fd = reopened.value();
            inbox.clear();
            closed.store(false);
        }
        reader = std::thread([this] { readForCallbacks(); });
        return true;
    }

    Result<std::vector<WireValue>> call(std::uint64_t id, WaitingCall& me, std::string_view selector, std::chrono::milliseconds timeout)
    {
        auto deadline = Clock::now() + timeout;
        std::unique_lock lock(pendingMutex);
        for (;;) {
            if (me.result)
                return finish(lock, me);
            if (Clock::now() >= deadline) {
                pending.erase(id);
                finish(lock, me);
                return ClientError { ClientError::Kind::timedOut,
                    "no reply to " + std::string(selector) + " within " + std::to_string(timeout.count()) + " ms" };
            }
            std::uint64_t releasesSeen = readReleases;
            lock.unlock();
            std::unique_lock reading(readMutex, std::try_to_lock);
            if (reading) {
                // The socket is this thread's until something comes: it waits for
                // it holding the socket, so no reply can be read and handed to it
                // behind its back while it sleeps.
                // It sleeps in a blocking read while its deadline is further off
                // than the socket's receive time-out, and in poll for the rest, so
                // that a reply costs one system call to receive, as in a raw round
                // trip, and no deadline is overstayed.
                ReadBatch batch;
                for (;;) {
                    {
                        std::lock_guard check(pendingMutex);
                        if (me.result)
                            break;
                    }
                    if (Clock::now() >= deadline)
                        break;
                    auto read = platform::readBeforeDeadline(fd, deadline, [&](bool blocking) { return readAvailable(blocking); });
                    if (!read)
                        continue; // the time is up, or a signal: look again
                    batch = std::move(*read);
                    if (!batch.frames.empty() || batch.broken || !batch.drained)
                        break;
                }
                ReadyCallbacks callbacks = handOver(batch.frames);
                releaseRead(reading);
                runCallbacks(callbacks);
                if (batch.broken)
                    closeWith(*batch.broken);
                lock.lock();
                continue;
            }
            // Another thread reads: it hands this reply over, or lets go of the socket.
            lock.lock();
            replied.wait_until(lock, deadline, [&] { return me.result.has_value() || readReleases != releasesSeen; });
        }
    }

    // With pendingMutex held: the call is no longer waiting.
    Result<std::vector<WireValue>> finish(std::unique_lock<std::mutex>& lock, WaitingCall& me)
    {
        --callsWaiting;
        lastCallReturned = Clock::now();
        bool wakeReader = callsWaiting == 0 && callbacksPending > 0;
        lock.unlock();
        if (wakeReader)
            readerWake.notify_one();
        if (!me.result)
            return ClientError { ClientError::Kind::timedOut, "" };
        return std::move(*me.result);
    }
};

Result<std::unique_ptr<HelperConnection>> HelperConnection::connect(std::optional<std::string> socketPath)
{
    if (!socketPath) {
        auto servicePath = ipc::serviceSocketPath();
        if (!servicePath)
            return ClientError { ClientError::Kind::unreachable, servicePath.error() };
        socketPath = std::move(servicePath).value();
    }

    auto fd = openHelperSocket(*socketPath);
    if (!fd)
        return fd.error();
    auto impl = std::make_unique<Impl>();
    impl->fd = fd.value();
    impl->socketPath = *socketPath;
    impl->reader = std::thread([raw = impl.get()] { raw->readForCallbacks(); });
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
    bool wakeReader;
    m_impl->reopenIfClosedWhileIdle();
    {
        std::lock_guard lock(m_impl->pendingMutex);
        if (m_impl->closed.load()) {
            onReply(ClientError { ClientError::Kind::disconnected, "the connection to the helper is closed" });
            return;
        }
        id = m_impl->nextId++;
        m_impl->pending.emplace(id, std::move(onReply));
        wakeReader = ++m_impl->callbacksPending == 1 && m_impl->callsWaiting == 0;
    }
    if (wakeReader)
        m_impl->readerWake.notify_one();
    auto bytes = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, id, std::string(selector), std::move(values) });
    if (!m_impl->writeAll(bytes.data(), bytes.size())) {
        // Whoever reads next sees the broken connection and fails every pending call.
        ::shutdown(m_impl->fd, SHUT_RDWR);
    }
}

Result<std::vector<WireValue>> HelperConnection::callEncoded(std::string_view selector, std::vector<WireValue> values,
    std::chrono::milliseconds timeout)
{
    WaitingCall me;
    std::uint64_t id;
    m_impl->reopenIfClosedWhileIdle();
    {
        std::lock_guard lock(m_impl->pendingMutex);
        if (m_impl->closed.load())
            return ClientError { ClientError::Kind::disconnected, "the connection to the helper is closed" };
        id = m_impl->nextId++;
        m_impl->pending.emplace(id, &me);
        ++m_impl->callsWaiting;
    }
    auto bytes = ipc::encodeFrame(ipc::Frame { ipc::FrameKind::request, id, std::string(selector), std::move(values) });
    if (!m_impl->writeAll(bytes.data(), bytes.size())) {
        // The read below sees the broken connection and fails every pending call.
        ::shutdown(m_impl->fd, SHUT_RDWR);
    }
    return m_impl->call(id, me, selector, timeout);
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
