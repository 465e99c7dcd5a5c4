#include "platform/linux/LogicSimConnection.h"

#include "platform/Log.h"
#include "platform/linux/LogicSimWire.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
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
    return fd;
}

} // namespace

struct LogicSimConnection::Link {
    struct Slot {
        bool done { false };
        bool gone { false };
        json reply;
    };

    Link(int socket, std::shared_ptr<EventHandler> handler)
        : fd(socket)
        , events(std::move(handler))
    {
        reader = std::thread([this] { readReplies(); });
    }

    ~Link()
    {
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
            ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
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

    void readReplies()
    {
        std::string pending;
        char buffer[65536];
        for (;;) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p { fd, POLLIN, 0 };
                ::poll(&p, 1, -1);
                continue;
            }
            if (n <= 0)
                break;
            pending.append(buffer, static_cast<size_t>(n));
            if (pending.size() > wire::kMaxLineBytes) {
                logger().error("logicsim sent a line over the size limit; dropping the connection");
                break;
            }
            size_t start = 0;
            for (size_t newline; (newline = pending.find('\n', start)) != std::string::npos; start = newline + 1)
                deliver(std::string_view(pending).substr(start, newline - start));
            pending.erase(0, start);
        }
        alive = false;
        std::lock_guard lock(mutex);
        for (auto& [id, slot] : slots) {
            slot->gone = true;
            slot->done = true;
        }
        changed.notify_all();
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
        std::lock_guard lock(mutex);
        auto it = slots.find(id);
        if (it == slots.end())
            return; // a reply for a call that has already given up
        it->second->reply = std::move(message);
        it->second->done = true;
        changed.notify_all();
    }

    int fd;
    std::shared_ptr<EventHandler> events;
    std::atomic<bool> alive { true };
    std::mutex writeMutex;
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::uint64_t, std::shared_ptr<Slot>> slots;
    std::uint64_t nextId { 1 };
    std::thread reader;
};

LogicSimConnection::LogicSimConnection(std::string socketPath)
    : m_socketPath(std::move(socketPath))
    , m_events(std::make_shared<EventHandler>())
{
}

LogicSimConnection::~LogicSimConnection() = default;

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
    }
    request["id"] = id;
    Status written = current->write(request.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", deadline);
    std::unique_lock lock(current->mutex);
    Result result;
    if (written != Status::ok) {
        result.status = written;
    } else {
        current->changed.wait_until(lock, deadline, [&] { return slot->done; });
        if (!slot->done)
            result.status = Status::timedOut;
        else if (slot->gone)
            result.status = Status::gone;
        else
            result = { Status::ok, std::move(slot->reply) };
    }
    current->slots.erase(id);
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
