// One connected stream socket carrying requests with ids and their replies, shared
// by every thread of a process. The framing (how bytes become messages, and which
// request a message answers) is a parameter: MessagePack frames for the helper's
// request channel, JSON lines for logicsim's socket.
//
// Each call carries its own id and waits for its own reply with its own deadline,
// so a slow call on one thread never holds up another. Who reads the socket is
// whichever thread holds `m_readMutex`: a waiting call takes it when it is free and
// reads until its own reply is there, so that its reply wakes no other thread on
// the way (one system call on each side, as a raw round trip); the reader thread
// takes it only while no call waits (and not in the short grace after one), so that
// replies to callbacks, messages that answer no request and the peer closing the
// socket are still noticed between calls. Whatever a reader reads it hands over:
// a waiting call's reply before it lets go of the socket (so that the call cannot
// sleep on the socket while its reply is in another thread's hands), callbacks and
// other messages after, with no lock held.
//
// Any error of the stream (the peer closing it, a message that breaks the framing,
// a message cut short on the way out) closes the connection: every call and
// callback still waiting gets the reason, once. A closed connection stays closed;
// its owner makes a new one.
//
// The framing is a type with
//   using Message = ...;
//   /// Moves every whole message at the front of `bytes` into `out`; answers how
//   /// many bytes they took, or why the stream cannot go on.
//   Expected<std::size_t, std::string> take(std::span<const std::uint8_t> bytes, std::vector<Message>& out);
//   /// The id of the request that `message` answers; nothing for a message that
//   /// answers none (an event: handed to the unsolicited handler, or counted with
//   /// the unmatched replies when there is none).
//   static std::optional<std::uint64_t> replyId(const Message& message);
#pragma once

#include "base/SocketWait.h"
#include "marquee/Expected.h"
#include "marquee/UniqueFunction.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mq {

/// Why a call has no reply.
struct ConnectionError {
    enum class Kind {
        closed, ///< The connection closed (or was closed) before the reply came.
        timedOut, ///< No reply before the deadline.
    };
    Kind kind;
    std::string reason;
};

template<typename Framing>
class FramedConnection {
public:
    using Message = typename Framing::Message;
    using Clock = std::chrono::steady_clock;
    using Reply = Expected<Message, ConnectionError>;
    using Callback = UniqueFunction<void(Reply)>;
    /// Receives each message that answers no request, on whichever thread read it;
    /// must not block.
    using UnsolicitedHandler = std::function<void(Message&)>;

    /// How long the reader thread stays away from the socket after the last call
    /// returned, so that calls that follow one another do not wake it.
    static constexpr std::chrono::milliseconds kReaderGrace { 20 };

    /// Takes over the connected socket `fd` (its receive time-out set with
    /// setBlockingReadSlice) and starts the reader thread. `peerClosed` is the
    /// reason given when the peer closes the socket.
    FramedConnection(int fd, Framing framing, std::string peerClosed, UnsolicitedHandler unsolicited = {})
        : m_fd(fd)
        , m_framing(std::move(framing))
        , m_peerClosed(std::move(peerClosed))
        , m_unsolicited(std::move(unsolicited))
    {
        m_reader = std::thread([this] { readBetweenCalls(); });
    }

    /// Callbacks still waiting get the peer-closed reason.
    ~FramedConnection()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_readerWake.notify_all();
        ::shutdown(m_fd, SHUT_RDWR);
        m_reader.join();
        close(m_peerClosed);
        ::close(m_fd);
    }
    FramedConnection(const FramedConnection&) = delete;
    FramedConnection& operator=(const FramedConnection&) = delete;

    /// Sends the request `encode(id)` makes (bytes) for a fresh id and waits for
    /// its reply until `deadline`, reading it on this thread unless another thread
    /// reads already. Sending counts against the same deadline.
    template<typename Encode>
    [[nodiscard]] Reply call(Encode&& encode, Clock::time_point deadline)
    {
        Waiting me;
        std::uint64_t id;
        {
            std::lock_guard lock(m_mutex);
            if (m_closed)
                return unexpected(ConnectionError { ConnectionError::Kind::closed, m_closeReason });
            id = m_nextId++;
            m_pending.emplace(id, &me);
            ++m_callsWaiting;
        }
        Written written = write(encode(id), deadline);
        if (written != Written::whole)
            forget(id);
        else
            await(me, deadline);
        std::unique_lock lock(m_mutex);
        m_pending.erase(id);
        --m_callsWaiting;
        m_lastCallReturned = Clock::now();
        bool wakeReader = m_callsWaiting == 0 && (m_callbacksPending > 0 || m_eager);
        lock.unlock();
        if (wakeReader)
            m_readerWake.notify_one();
        // A request the peer did not take in time is a time-out, also when the
        // half-sent request had to close the connection: the peer is slow, not gone.
        if (me.reply && written != Written::lateForTheDeadline)
            return std::move(*me.reply);
        return unexpected(ConnectionError { ConnectionError::Kind::timedOut, {} });
    }

    /// Sends the request `encode(id)` makes and hands its reply, or why there is
    /// none, to `onReply` on whichever thread reads it. Exactly once, also when the
    /// connection is closed already (then at once, on this thread).
    template<typename Encode>
    void send(Encode&& encode, Callback onReply)
    {
        std::uint64_t id;
        bool wakeReader;
        {
            std::unique_lock lock(m_mutex);
            if (m_closed) {
                ConnectionError error { ConnectionError::Kind::closed, m_closeReason };
                lock.unlock();
                onReply(unexpected(std::move(error)));
                return;
            }
            id = m_nextId++;
            m_pending.emplace(id, std::move(onReply));
            wakeReader = ++m_callbacksPending == 1 && m_callsWaiting == 0;
        }
        if (wakeReader)
            m_readerWake.notify_one();
        write(encode(id), Clock::time_point::max());
    }

    /// Sends `bytes` (a message that asks for no reply) before `deadline`. False
    /// when they could not be sent whole.
    template<typename Bytes>
    bool post(const Bytes& bytes, Clock::time_point deadline)
    {
        return write(bytes, deadline) == Written::whole;
    }

    /// While set, the reader thread reads as soon as no call does (no grace), so
    /// that a message answering no request reaches its handler when it arrives.
    void setEager(bool eager)
    {
        {
            std::lock_guard lock(m_mutex);
            m_eager = eager;
        }
        m_readerWake.notify_all();
    }

    bool isClosed() const
    {
        std::lock_guard lock(m_mutex);
        return m_closed;
    }

    /// Waits until the connection is closed, at most `timeout`.
    bool waitUntilClosed(std::chrono::milliseconds timeout) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_closed; });
    }

    /// Whether the peer closed the connection while no request of it waited for a
    /// reply (nothing was lost). Looks at the socket first: between calls a close
    /// may not have been read yet.
    bool closedByPeerWhileIdle()
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_closed)
                return m_closedWhileIdle;
            if (!m_pending.empty())
                return false;
        }
        char next;
        if (::recv(m_fd, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
            close(m_peerClosed);
        std::lock_guard lock(m_mutex);
        return m_closed && m_closedWhileIdle;
    }

    bool onReaderThread() const { return std::this_thread::get_id() == m_reader.get_id(); }

    /// Replies that matched no waiting request (a second reply to one request, or
    /// a reply after its caller gave up).
    std::uint64_t unmatchedReplyCount() const { return m_unmatchedReplies.load(); }

    /// Closes the connection: calls and callbacks still waiting get `reason`.
    void close(const std::string& reason)
    {
        std::map<std::uint64_t, Owner> orphans;
        {
            std::lock_guard lock(m_mutex);
            if (!m_closed) {
                m_closed = true;
                m_closeReason = reason;
                m_closedWhileIdle = m_pending.empty() && reason == m_peerClosed;
            } else if (m_pending.empty()) {
                return;
            }
            for (auto entry = m_pending.begin(); entry != m_pending.end();) {
                if (auto* call = std::get_if<Waiting*>(&entry->second)) {
                    if (!(*call)->reply)
                        (*call)->reply.emplace(unexpected(ConnectionError { ConnectionError::Kind::closed, reason }));
                    ++entry;
                } else {
                    orphans.insert(m_pending.extract(entry++));
                }
            }
            m_callbacksPending = 0;
        }
        // Wakes every thread that waits on the socket.
        ::shutdown(m_fd, SHUT_RDWR);
        m_changed.notify_all();
        m_readerWake.notify_all();
        for (auto& [id, owner] : orphans)
            std::get<Callback>(owner)(unexpected(ConnectionError { ConnectionError::Kind::closed, reason }));
    }

private:
    /// A call waiting for its reply on its own thread.
    struct Waiting {
        std::optional<Reply> reply;
    };
    using Owner = std::variant<Callback, Waiting*>;

    /// What one read of the socket gave.
    struct Batch {
        std::vector<Message> messages;
        std::optional<std::string> broken;
        /// The socket had nothing more to give.
        bool drained { false };
    };
    using Ready = std::vector<std::pair<Callback, Message>>;

    /// How much of a message write() sent.
    enum class Written {
        whole,
        lateForTheDeadline, ///< The peer took too little of it before the deadline.
        broken, ///< The socket failed.
    };

    // Writes all of `bytes` before `deadline`. A message cut short leaves the
    // stream unusable, so the connection is then closed.
    template<typename Bytes>
    Written write(const Bytes& bytes, Clock::time_point deadline)
    {
        const char* data = reinterpret_cast<const char*>(bytes.data());
        std::optional<std::string> broken;
        Written outcome = Written::whole;
        {
            std::lock_guard lock(m_writeMutex);
            std::size_t sent = 0;
            while (sent < bytes.size()) {
                ssize_t n = ::send(m_fd, data + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    sent += static_cast<std::size_t>(n);
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                    if (left.count() <= 0) {
                        if (sent == 0)
                            return Written::lateForTheDeadline;
                        broken = "a request cut short by its deadline";
                        outcome = Written::lateForTheDeadline;
                        break;
                    }
                    pollfd p { m_fd, POLLOUT, 0 };
                    ::poll(&p, 1, static_cast<int>(std::min<std::chrono::milliseconds::rep>(left.count(), 1000)));
                    continue;
                }
                broken = m_peerClosed;
                outcome = Written::broken;
                break;
            }
        }
        if (broken)
            close(*broken);
        return outcome;
    }

    void forget(std::uint64_t id)
    {
        std::lock_guard lock(m_mutex);
        m_pending.erase(id);
    }

    // With m_readMutex held: the whole messages the socket has now, without
    // waiting; or, with `blocking`, once something comes or the socket's receive
    // time-out passes (a batch then "drained" and empty).
    Batch readAvailable(bool blocking = false)
    {
        Batch batch;
        std::uint8_t chunk[64 * 1024];
        ssize_t got = ::recv(m_fd, chunk, sizeof chunk, blocking ? 0 : MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                batch.drained = true;
            else if (errno != EINTR)
                batch.broken = m_peerClosed;
            return batch;
        }
        if (got == 0) {
            batch.broken = m_peerClosed;
            return batch;
        }
        m_inbox.insert(m_inbox.end(), chunk, chunk + got);
        Expected<std::size_t, std::string> used = m_framing.take(m_inbox, batch.messages);
        if (!used) {
            batch.broken = used.error();
            return batch;
        }
        m_inbox.erase(m_inbox.begin(), m_inbox.begin() + static_cast<std::ptrdiff_t>(*used));
        return batch;
    }

    // With m_readMutex held, in the order they came: gives each waiting call its
    // reply and each message that answers no request to the handler; answers the
    // callbacks' replies, which run after the socket is let go of.
    Ready handOver(std::vector<Message>& messages)
    {
        Ready ready;
        for (Message& message : messages) {
            std::optional<std::uint64_t> id = Framing::replyId(message);
            if (!id) {
                if (m_unsolicited)
                    m_unsolicited(message);
                else
                    m_unmatchedReplies.fetch_add(1);
                continue;
            }
            std::unique_lock lock(m_mutex);
            auto entry = m_pending.find(*id);
            if (entry == m_pending.end()) {
                m_unmatchedReplies.fetch_add(1);
                continue;
            }
            if (auto* call = std::get_if<Waiting*>(&entry->second)) {
                if ((*call)->reply) {
                    m_unmatchedReplies.fetch_add(1);
                    continue;
                }
                (*call)->reply.emplace(std::move(message));
                lock.unlock();
                m_changed.notify_all();
                continue;
            }
            ready.emplace_back(std::move(std::get<Callback>(entry->second)), std::move(message));
            --m_callbacksPending;
            m_pending.erase(entry);
        }
        return ready;
    }

    static void run(Ready& ready)
    {
        for (auto& [callback, message] : ready)
            callback(std::move(message));
    }

    // Lets go of the socket and tells the calls waiting for it; then runs what was
    // read for others and closes the connection when the read found it broken.
    void finishTurn(std::unique_lock<std::mutex>& reading, Batch& batch)
    {
        Ready ready = handOver(batch.messages);
        reading.unlock();
        {
            std::lock_guard lock(m_mutex);
            ++m_readReleases;
        }
        m_changed.notify_all();
        run(ready);
        if (batch.broken)
            close(*batch.broken);
    }

    // Waits for `me` until `deadline`, reading the socket itself while nobody else does.
    void await(Waiting& me, Clock::time_point deadline)
    {
        std::unique_lock lock(m_mutex);
        while (!me.reply && Clock::now() < deadline) {
            std::uint64_t releasesSeen = m_readReleases;
            lock.unlock();
            std::unique_lock reading(m_readMutex, std::try_to_lock);
            if (reading) {
                // The socket is this thread's until something comes: it waits for
                // it holding the socket, so no reply can be read and handed to it
                // behind its back while it sleeps. It sleeps in a blocking read
                // while its deadline is further off than the socket's receive
                // time-out, and in poll for the rest, so that no deadline is
                // overstayed.
                Batch batch;
                for (;;) {
                    {
                        std::lock_guard check(m_mutex);
                        if (me.reply)
                            break;
                    }
                    if (Clock::now() >= deadline)
                        break;
                    auto read = platform::readBeforeDeadline(m_fd, deadline, [&](bool blocking) { return readAvailable(blocking); });
                    if (!read)
                        continue; // the time is up, or a signal: look again
                    batch = std::move(*read);
                    if (!batch.messages.empty() || batch.broken || !batch.drained)
                        break;
                }
                finishTurn(reading, batch);
                lock.lock();
                continue;
            }
            // Another thread reads: it hands this reply over, or lets go of the socket.
            lock.lock();
            m_changed.wait_until(lock, deadline, [&] { return me.reply.has_value() || m_readReleases != releasesSeen; });
        }
    }

    // The reader thread: between calls, replies to callbacks, unsolicited messages
    // and the socket closing.
    void readBetweenCalls()
    {
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                for (;;) {
                    if (m_stopping || m_closed)
                        return;
                    if (m_callsWaiting == 0
                        && (m_callbacksPending > 0 || m_eager || Clock::now() - m_lastCallReturned >= kReaderGrace))
                        break;
                    m_readerWake.wait_for(lock, kReaderGrace);
                }
            }
            std::unique_lock reading(m_readMutex, std::try_to_lock);
            if (!reading) {
                std::unique_lock lock(m_mutex);
                m_readerWake.wait_for(lock, kReaderGrace);
                continue;
            }
            Batch batch = readAvailable();
            bool drained = batch.drained;
            finishTurn(reading, batch);
            if (drained) {
                pollfd p { m_fd, POLLIN, 0 };
                ::poll(&p, 1, -1);
            }
        }
    }

    const int m_fd;
    Framing m_framing; // m_readMutex
    const std::string m_peerClosed;
    const UnsolicitedHandler m_unsolicited;

    std::mutex m_writeMutex;
    std::mutex m_readMutex;
    std::vector<std::uint8_t> m_inbox; // Bytes read that make no whole message yet (m_readMutex).

    mutable std::mutex m_mutex;
    /// A waiting call's reply came, the socket's reader let go of it, or the connection closed.
    mutable std::condition_variable m_changed;
    std::condition_variable m_readerWake;
    std::map<std::uint64_t, Owner> m_pending;
    std::uint64_t m_nextId { 1 };
    std::size_t m_callbacksPending { 0 };
    std::size_t m_callsWaiting { 0 };
    std::uint64_t m_readReleases { 0 };
    Clock::time_point m_lastCallReturned {};
    bool m_eager { false };
    bool m_stopping { false };
    bool m_closed { false };
    bool m_closedWhileIdle { false };
    std::string m_closeReason;
    std::atomic<std::uint64_t> m_unmatchedReplies { 0 };
    std::thread m_reader;
};

} // namespace mq
