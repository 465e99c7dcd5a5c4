#include "platform/linux/LogicSimConnection.h"

#include "base/FramedConnection.h"
#include "base/SocketWait.h"
#include "platform/Log.h"
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace mq::platform {

namespace field = wire::field;

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

/// One JSON object per line. A line that is no JSON object is logged and skipped;
/// a line over the size limit breaks the stream.
struct JsonLines {
    using Message = json;

    Expected<std::size_t, std::string> take(std::span<const std::uint8_t> bytes, std::vector<json>& out)
    {
        std::size_t start = 0;
        for (auto newline = std::find(bytes.begin(), bytes.end(), '\n'); newline != bytes.end();
             newline = std::find(newline + 1, bytes.end(), '\n')) {
            std::size_t end = static_cast<std::size_t>(newline - bytes.begin());
            json message = json::parse(bytes.begin() + static_cast<std::ptrdiff_t>(start), newline, nullptr, false);
            if (message.is_discarded() || !message.is_object())
                logger().error("logicsim sent a malformed line");
            else
                out.push_back(std::move(message));
            start = end + 1;
        }
        if (bytes.size() - start > wire::kMaxLineBytes) {
            logger().error("logicsim sent a line over the size limit; dropping the connection");
            return unexpected(std::string("a line over the size limit"));
        }
        return start;
    }

    static std::optional<std::uint64_t> replyId(const json& message)
    {
        if (message.contains(field::event))
            return std::nullopt;
        return message.value(field::id, std::uint64_t(0));
    }
};

std::string line(const json& message)
{
    return message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace

struct LogicSimConnection::Link : FramedConnection<JsonLines> {
    using FramedConnection::FramedConnection;
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
    if (current)
        current->setEager(awaited);
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
    if (m_link && !m_link->isClosed())
        return m_link;
    auto previous = std::move(m_link);
    int fd = connectTo(m_socketPath);
    if (fd < 0)
        return nullptr;
    auto fresh = std::make_shared<Link>(fd, JsonLines {}, "logicsim closed the connection",
        [events = m_events](json& event) {
            if (*events)
                (*events)(event);
        });
    fresh->setEager(m_eventsAwaited);
    // Say who we are first, so that logicsim applies this process's permissions.
    json hello { { field::id, 0 }, { field::op, wire::opName(wire::Op::hello) }, { field::role, "client" }, { field::pid, ::getpid() } };
    if (!fresh->post(line(hello), Clock::now() + std::chrono::seconds(1)))
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
    auto reply = current->call(
        [&](std::uint64_t id) {
            request[field::id] = id;
            return line(request);
        },
        deadline);
    if (!reply)
        return { reply.error().kind == ConnectionError::Kind::timedOut ? Status::timedOut : Status::gone, {} };
    return { Status::ok, std::move(reply).value() };
}

void LogicSimConnection::post(json request)
{
    auto current = link();
    if (!current)
        return;
    request[field::id] = 0;
    (void)current->post(line(request), Clock::now() + std::chrono::seconds(1));
}

} // namespace mq::platform
