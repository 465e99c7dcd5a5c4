#include "platform/linux/LogicSimConnection.h"

#include "platform/Log.h"
#include "base/SocketWait.h"
#include "platform/linux/LogicSimWire.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <vector>
#include <unistd.h>

namespace mq::platform {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

const log::Logger& logger()
{
    static const log::Logger instance("platform.logicsim");
    return instance;
}

int connectTo(const std::string& path)
{
    if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path))
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A Unix-socket connect completes or fails at once; a listener that is
    // stopped still accepts into its backlog.
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    // Connected, the socket blocks, so that a call waiting for its reply sleeps in
    // recv itself (one system call, as a raw round trip) rather than in poll and
    // then recv. Its receive time-out bounds each such sleep, so that the call
    // still looks at its deadline; every other read and write says MSG_DONTWAIT.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || !platform::setBlockingReadSlice(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

// Who reads the socket: whichever thread holds `readMutex`. A call takes it when it
// is free and reads until its own reply is there, so that its reply wakes no other
// thread on the way; the reader thread takes it only while no call waits (and not
// in the short grace after one), so that events pushed by logicsim and the link
// breaking are still noticed between calls. Whatever a reader reads it hands over
// before it lets go of the socket: replies to their calls' slots, events to the
// handler (which must not block).
struct LogicSimConnection::Link {
    /// How long the reader thread stays away from the socket after the last call returned.
    static constexpr std::chrono::milliseconds kReaderGrace { 20 };

    struct Slot {
        bool done { false };
        bool gone { false };
        json reply;
    };

    /// What one read of the socket gave.
    struct Batch {
        std::vector<std::string> lines;
        bool broken { false };
        bool drained { false };
    };

    Link(int socket, std::shared_ptr<EventHandler> handler)
        : fd(socket)
        , events(std::move(handler))
    {
        reader = std::thread([this] { readBetweenCalls(); });
    }

    ~Link()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        readerWake.notify_all();
        ::shutdown(fd, SHUT_RDWR);
        reader.join();
        ::close(fd);
    }

    // Writes one whole line before `deadline`. A line cut short leaves the stream
    // unusable, so the link is then given up.
    Status write(const std::string& line, Clock::time_point deadline)
    {
        std::lock_guard lock(writeMutex);
        size_t sent = 0;
        while (sent < line.size()) {
            if (!alive)
                return Status::gone;
            ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) {
                    if (sent > 0)
                        fail();
                    return Status::timedOut;
                }
                pollfd p { fd, POLLOUT, 0 };
                ::poll(&p, 1, static_cast<int>(left) + 1);
                continue;
            }
            fail();
            return Status::gone;
        }
        return Status::ok;
    }

    void fail()
    {
        alive = false;
        ::shutdown(fd, SHUT_RDWR);
    }

    // With readMutex held: the whole lines the socket has now, without waiting; or,
    // with `blocking`, once something comes or the socket's receive time-out passes
    // (a batch then "drained" and empty).
    Batch readAvailable(bool blocking = false)
    {
        Batch batch;
        char buffer[65536];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, blocking ? 0 : MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                batch.drained = true;
            else if (errno != EINTR)
                batch.broken = true;
            return batch;
        }
        if (n == 0) {
            batch.broken = true;
            return batch;
        }
        inbox.append(buffer, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t newline; (newline = inbox.find('\n', start)) != std::string::npos; start = newline + 1)
            batch.lines.emplace_back(inbox, start, newline - start);
        inbox.erase(0, start);
        if (inbox.size() > wire::kMaxLineBytes) {
            logger().error("logicsim sent a line over the size limit; dropping the connection");
            batch.broken = true;
        }
        return batch;
    }

    // One turn at the socket: read, let go of it, hand over what was read. False
    // once the link is broken.
    // Lets go of the socket and tells the calls waiting for it.
    void releaseRead(std::unique_lock<std::mutex>& reading)
    {
        reading.unlock();
        {
            std::lock_guard lock(mutex);
            ++readReleases;
        }
        changed.notify_all();
    }

    // Delivers before letting go of the socket, so that a call cannot take the
    // socket and sleep on it while its reply is still in this thread's hands.
    bool readTurn(std::unique_lock<std::mutex>& reading, bool* drained)
    {
        Batch batch = readAvailable();
        for (const std::string& line : batch.lines)
            deliver(line);
        releaseRead(reading);
        *drained = batch.drained;
        if (batch.broken) {
            breakLink();
            return false;
        }
        return true;
    }

    void breakLink()
    {
        alive = false;
        ::shutdown(fd, SHUT_RDWR);
        {
            std::lock_guard lock(mutex);
            for (auto& [id, slot] : slots) {
                slot->gone = true;
                slot->done = true;
            }
        }
        changed.notify_all();
        readerWake.notify_all();
    }

    // The reader thread: events and a broken link while no call is reading.
    void readBetweenCalls()
    {
        for (;;) {
            {
                std::unique_lock lock(mutex);
                for (;;) {
                    if (stopping || !alive)
                        return;
                    if (callsWaiting == 0 && (eventsAwaited || Clock::now() - lastCallReturned >= kReaderGrace))
                        break;
                    readerWake.wait_for(lock, kReaderGrace);
                }
            }
            std::unique_lock reading(readMutex, std::try_to_lock);
            if (!reading) {
                std::unique_lock lock(mutex);
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

    void deliver(std::string_view line)
    {
        json message = json::parse(line, nullptr, false);
        if (message.is_discarded() || !message.is_object()) {
            logger().error("logicsim sent a malformed line");
            return;
        }
        if (message.contains("event")) {
            if (events && *events)
                (*events)(message);
            return;
        }
        auto id = message.value("id", std::uint64_t(0));
        {
            std::lock_guard lock(mutex);
            auto it = slots.find(id);
            if (it == slots.end())
                return; // a reply for a call that has already given up
            it->second->reply = std::move(message);
            it->second->done = true;
        }
        changed.notify_all();
    }

    // Waits for `slot` until `deadline`, reading the socket itself while nobody else does.
    void await(const std::shared_ptr<Slot>& slot, Clock::time_point deadline)
    {
        std::unique_lock lock(mutex);
        while (!slot->done && Clock::now() < deadline) {
            std::uint64_t releasesSeen = readReleases;
            lock.unlock();
            std::unique_lock reading(readMutex, std::try_to_lock);
            if (reading) {
                // The socket is this thread's until something comes: it waits for
                // it holding the socket, so no reply can be read and handed to it
                // behind its back while it sleeps.
                // It sleeps in a blocking read while its deadline is further off
                // than the socket's receive time-out, and in poll for the rest, so
                // that a reply costs one system call to receive, as in a raw
                // round trip, and no deadline is overstayed.
                Batch batch;
                for (;;) {
                    {
                        std::lock_guard check(mutex);
                        if (slot->done)
                            break;
                    }
                    if (Clock::now() >= deadline)
                        break;
                    auto read = platform::readBeforeDeadline(fd, deadline, [&](bool blocking) { return readAvailable(blocking); });
                    if (!read)
                        continue; // the time is up, or a signal: look again
                    batch = std::move(*read);
                    if (!batch.lines.empty() || batch.broken || !batch.drained)
                        break;
                }
                for (const std::string& line : batch.lines)
                    deliver(line);
                releaseRead(reading);
                if (batch.broken)
                    breakLink();
                lock.lock();
                continue;
            }
            // Another thread reads: it hands this reply over, or lets go of the socket.
            lock.lock();
            changed.wait_until(lock, deadline, [&] { return slot->done || readReleases != releasesSeen; });
        }
    }

    int fd;
    std::shared_ptr<EventHandler> events;
    std::atomic<bool> alive { true };
    std::mutex writeMutex;
    std::mutex readMutex;
    std::string inbox; // Bytes read that do not make a whole line yet (readMutex).
    std::mutex mutex;
    std::condition_variable changed;
    std::condition_variable readerWake;
    std::map<std::uint64_t, std::shared_ptr<Slot>> slots;
    std::uint64_t nextId { 1 };
    std::size_t callsWaiting { 0 };
    std::uint64_t readReleases { 0 };
    Clock::time_point lastCallReturned {};
    /// Events are awaited: the reader thread skips the grace.
    bool eventsAwaited { false };
    bool stopping { false };
    std::thread reader;
};

LogicSimConnection::LogicSimConnection(std::string socketPath)
    : m_socketPath(std::move(socketPath))
    , m_events(std::make_shared<EventHandler>())
{
}

LogicSimConnection::~LogicSimConnection() = default;

void LogicSimConnection::setEventsAwaited(bool awaited)
{
    std::shared_ptr<Link> current;
    {
        std::lock_guard lock(m_mutex);
        m_eventsAwaited = awaited;
        current = m_link;
    }
    if (!current)
        return;
    {
        std::lock_guard lock(current->mutex);
        current->eventsAwaited = awaited;
    }
    current->readerWake.notify_all();
}

void LogicSimConnection::setEventHandler(EventHandler handler)
{
    std::lock_guard lock(m_mutex);
    // Links made from now on deliver to the new handler.
    m_events = std::make_shared<EventHandler>(std::move(handler));
}

std::shared_ptr<LogicSimConnection::Link> LogicSimConnection::link()
{
    std::lock_guard lock(m_mutex);
    if (m_link && m_link->alive)
        return m_link;
    auto previous = std::move(m_link);
    int fd = connectTo(m_socketPath);
    if (fd < 0)
        return nullptr;
    auto fresh = std::make_shared<Link>(fd, m_events);
    {
        std::lock_guard awaited(fresh->mutex);
        fresh->eventsAwaited = m_eventsAwaited;
    }
    // Say who we are first, so that logicsim applies this process's permissions.
    json hello { { "id", 0 }, { "op", wire::opName(wire::Op::hello) }, { "role", "client" }, { "pid", ::getpid() } };
    if (fresh->write(hello.dump() + "\n", Clock::now() + std::chrono::seconds(1)) != Status::ok)
        return nullptr;
    if (previous)
        logger().info("reconnected to logicsim");
    m_link = fresh;
    return m_link;
}

LogicSimConnection::Result LogicSimConnection::call(json request, std::chrono::nanoseconds timeout)
{
    auto deadline = Clock::now() + timeout;
    auto current = link();
    if (!current)
        return { Status::gone, {} };
    auto slot = std::make_shared<Link::Slot>();
    std::uint64_t id;
    {
        std::lock_guard lock(current->mutex);
        id = current->nextId++;
        current->slots.emplace(id, slot);
        ++current->callsWaiting;
    }
    request["id"] = id;
    Status written = current->write(request.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", deadline);
    Result result;
    if (written == Status::ok)
        current->await(slot, deadline);
    std::unique_lock lock(current->mutex);
    if (written != Status::ok)
        result.status = written;
    else if (!slot->done)
        result.status = Status::timedOut;
    else if (slot->gone)
        result.status = Status::gone;
    else
        result = { Status::ok, std::move(slot->reply) };
    current->slots.erase(id);
    current->lastCallReturned = Clock::now();
    // While events are awaited the reader thread takes the socket over at once.
    if (--current->callsWaiting == 0 && current->eventsAwaited)
        current->readerWake.notify_one();
    return result;
}

void LogicSimConnection::post(json request)
{
    auto current = link();
    if (!current)
        return;
    request["id"] = 0;
    current->write(request.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", Clock::now() + std::chrono::seconds(1));
}

} // namespace mq::platform
