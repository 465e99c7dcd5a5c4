#include "sim/Server.h"

#include "platform/Log.h"
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

#include <asio.hpp>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace mq::sim {

namespace wire = platform::wire;

namespace {

const log::Logger& logger()
{
    static const log::Logger instance("logicsim");
    return instance;
}

using Stream = asio::local::stream_protocol;

// Whether something answers on `path` (a live logicsim) rather than a stale file.
bool somethingListens(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

struct Server::Impl {
    struct Session : std::enable_shared_from_this<Session> {
        Session(Impl& owner, Stream::socket socket)
            : server(owner)
            , socket(std::move(socket))
            , input(platform::wire::kMaxLineBytes)
        {
        }

        void start() { readLine(); }

        void readLine()
        {
            asio::async_read_until(socket, input, '\n', [self = shared_from_this()](std::error_code error, size_t length) {
                if (error) {
                    if (error != asio::error::eof && error != asio::error::operation_aborted)
                        logger().notice("connection closed: {}", error.message());
                    self->close();
                    return;
                }
                // The stream buffer holds its bytes in one piece: the line is read in place.
                std::string_view line(static_cast<const char*>(self->input.data().data()), length);
                bool open = self->server.onLine(self, line);
                self->input.consume(length);
                if (!open)
                    return;
                self->readLine();
            });
        }

        void send(const json& message)
        {
            if (closed)
                return;
            bool idle = outgoing.empty();
            outgoing.push_back(message.dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
            if (idle)
                writeNext();
        }

        void writeNext()
        {
            asio::async_write(socket, asio::buffer(outgoing.front()), [self = shared_from_this()](std::error_code error, size_t) {
                if (error) {
                    self->close();
                    return;
                }
                self->outgoing.pop_front();
                if (!self->outgoing.empty())
                    self->writeNext();
            });
        }

        void close()
        {
            if (closed)
                return;
            closed = true;
            std::error_code ignored;
            socket.close(ignored);
            server.sessions.erase(shared_from_this());
        }

        Impl& server;
        Stream::socket socket;
        asio::streambuf input;
        std::deque<std::string> outgoing;
        bool closed { false };
        bool isClient { false };
        pid_type pid { 0 };
    };

    Impl(Simulator& m, std::string path)
        : model(m)
        , socketPath(std::move(path))
        , acceptor(io)
        , signals(io, SIGINT, SIGTERM)
    {
        if (socketPath.size() >= sizeof(sockaddr_un::sun_path))
            throw std::runtime_error("socket path too long: " + socketPath);
        if (somethingListens(socketPath))
            throw std::runtime_error("another logicsim is serving " + socketPath);
        ::unlink(socketPath.c_str());
        mode_t old = ::umask(0177);
        std::error_code error;
        acceptor.open(Stream(), error);
        if (!error)
            acceptor.bind(Stream::endpoint(socketPath), error);
        ::umask(old);
        if (!error)
            acceptor.listen(asio::socket_base::max_listen_connections, error);
        if (error)
            throw std::runtime_error("cannot listen on " + socketPath + ": " + error.message());
        ::chmod(socketPath.c_str(), 0600);
        // Delayed effects (windows opening, fields committing) run on timers.
        model.setScheduler([this](std::chrono::milliseconds delay, std::function<void()> job) {
            auto timer = std::make_shared<asio::steady_timer>(io, delay);
            timer->async_wait([this, timer, job = std::move(job)](std::error_code cancelled) {
                if (cancelled)
                    return;
                job();
                flushBroadcasts();
            });
        });
    }

    void accept()
    {
        acceptor.async_accept([this](std::error_code error, Stream::socket socket) {
            if (error) {
                if (error != asio::error::operation_aborted)
                    logger().error("accept failed: {}", error.message());
                return;
            }
            auto session = std::make_shared<Session>(*this, std::move(socket));
            sessions.insert(session);
            session->start();
            accept();
        });
    }

    // Answers one line. False when the connection was closed for a bad line.
    bool onLine(const std::shared_ptr<Session>& session, std::string_view line)
    {
        json request = json::parse(line, nullptr, false);
        if (request.is_discarded() || !request.is_object() || !request.contains(wire::field::op) || !request[wire::field::op].is_string()) {
            logger().error("closing a connection that sent a malformed line: {}", line.substr(0, 200));
            session->close();
            return false;
        }
        auto id = request.value(wire::field::id, std::uint64_t(0));
        auto op = request[wire::field::op].get<std::string>();
        auto known = platform::wire::opNamed(op);
        if (known == platform::wire::Op::hello) {
            session->isClient = request.value(wire::field::role, "client") == "client";
            session->pid = request.value(wire::field::pid, pid_type(0));
            reply(session, id, json { { "ok", true }, { "server", "logicsim" }, { "pid", ::getpid() } });
            return true;
        }
        if (known == platform::wire::Op::control) {
            json body;
            try {
                body = model.control(request.value("command", ""), request.value("args", json::object()));
            } catch (const std::exception& e) {
                body = json { { "error", e.what() } };
            }
            reply(session, id, body);
            flushBroadcasts();
            return true;
        }
        auto fault = model.takeFault(op, request, session->pid);
        if (fault && fault->noReply)
            return true;
        if (fault && fault->error) {
            reply(session, id, json { { "err", *fault->error }, { "error", "injected fault" } });
            return true;
        }
        if (fault && fault->delayMs > 0) {
            auto timer = std::make_shared<asio::steady_timer>(io, std::chrono::milliseconds(fault->delayMs));
            timer->async_wait([this, timer, session, id, known, op, request](std::error_code error) {
                if (!error)
                    answerAfterCost(session, id, known, op, request);
            });
            return true;
        }
        answerAfterCost(session, id, known, op, request);
        return true;
    }

    // Tries `job` again at `retry` (Logic's main thread free, or a modal window
    // checked again), after the jobs already waiting, in the order they came:
    // keys typed meanwhile arrive in order.
    void afterLogicIsFree(std::chrono::steady_clock::time_point retry, std::function<void()> job)
    {
        waitingForLogic.push_back(std::move(job));
        if (!logicTimer || retry < logicTimerDue)
            armLogicTimer(retry);
    }

    void armLogicTimer(std::chrono::steady_clock::time_point due)
    {
        if (logicTimer)
            logicTimer->cancel();
        logicTimerDue = due;
        logicTimer = std::make_shared<asio::steady_timer>(io, due);
        logicTimer->async_wait([this, timer = logicTimer](std::error_code error) {
            if (error || timer != logicTimer)
                return;
            logicTimer.reset();
            // Each job checks again and waits anew when it still has to.
            auto jobs = std::exchange(waitingForLogic, {});
            for (auto& job : jobs)
                job();
        });
    }

    // Each accessibility call occupies the application for its cost, one after
    // another as on an application's main thread; other requests do not wait.
    void answerAfterCost(const std::shared_ptr<Session>& session, std::uint64_t id, std::optional<platform::wire::Op> known,
        const std::string& op, const json& request)
    {
        if (auto retry = known ? model.waitForLogic(*known, request) : std::nullopt) {
            afterLogicIsFree(*retry, [this, session, id, known, op, request] { answerAfterCost(session, id, known, op, request); });
            return;
        }
        auto cost = model.accessibilityCallCost();
        if (!known || platform::wire::areaOf(*known) != platform::wire::OpArea::accessibility || cost.count() <= 0) {
            answer(session, id, known, op, request);
            return;
        }
        auto now = std::chrono::steady_clock::now();
        accessibilityBusyUntil = std::max(accessibilityBusyUntil, now) + cost;
        auto timer = std::make_shared<asio::steady_timer>(io, accessibilityBusyUntil);
        timer->async_wait([this, timer, session, id, known, op, request](std::error_code error) {
            if (!error)
                answer(session, id, known, op, request);
        });
    }

    // `known` is what `op` names, looked up once when the line came.
    void answer(const std::shared_ptr<Session>& session, std::uint64_t id, std::optional<platform::wire::Op> known,
        const std::string& op, const json& request)
    {
        if (!known) {
            reply(session, id, json { { "error", "unknown op " + op } });
            return;
        }
        if (*known == platform::wire::Op::scriptRun) {
            runScript(session, id, request);
            return;
        }
        json body;
        try {
            body = model.handle(*known, request, session->pid);
        } catch (const std::exception& e) {
            body = json { { "error", std::string("bad request: ") + e.what() } };
        }
        if (auto ticket = body.find("deferred"); ticket != body.end()) {
            // Answered later (a prompt waiting for the user): the asker keeps waiting.
            deferred[ticket->get<std::uint64_t>()] = { session, id };
        } else {
            reply(session, id, body);
        }
        flushBroadcasts();
    }

    // A keystroke script replies once all its steps are done; its delays are
    // timers, so other requests are served meanwhile.
    void runScript(const std::shared_ptr<Session>& session, std::uint64_t id, const json& request)
    {
        ScriptStart start;
        try {
            start = model.startScript(request, session->pid);
        } catch (const std::exception& e) {
            start.reply = json { { "error", std::string("bad request: ") + e.what() } };
        }
        if (!start.run) {
            reply(session, id, start.reply);
            flushBroadcasts();
            return;
        }
        continueScript(session, id, start.run);
    }

    void continueScript(const std::shared_ptr<Session>& session, std::uint64_t id, const std::shared_ptr<ScriptRun>& run)
    {
        std::optional<double> pause = model.continueScript(*run);
        flushBroadcasts();
        if (!pause) {
            reply(session, id, model.finishScript(*run));
            return;
        }
        auto timer = std::make_shared<asio::steady_timer>(io, std::chrono::microseconds(static_cast<std::int64_t>(*pause * 1e6)));
        timer->async_wait([this, timer, session, id, run](std::error_code error) {
            if (!error)
                continueScript(session, id, run);
        });
    }

    void reply(const std::shared_ptr<Session>& session, std::uint64_t id, json body)
    {
        if (id == 0)
            return; // the sender asked for no reply
        body["id"] = id;
        session->send(body);
    }

    void flushBroadcasts()
    {
        for (auto& answered : model.takeAnsweredRequests()) {
            auto it = deferred.find(answered.ticket);
            if (it == deferred.end())
                continue;
            reply(it->second.first, it->second.second, answered.reply);
            deferred.erase(it);
        }
        for (auto& message : model.takeBroadcasts())
            for (auto& session : std::vector<std::shared_ptr<Session>>(sessions.begin(), sessions.end()))
                if (session->isClient)
                    session->send(message);
    }

    Simulator& model;
    std::string socketPath;
    std::chrono::steady_clock::time_point accessibilityBusyUntil {};
    /// Requests waiting for Logic's busy main thread, in the order they came.
    std::deque<std::function<void()>> waitingForLogic;
    std::shared_ptr<asio::steady_timer> logicTimer;
    std::chrono::steady_clock::time_point logicTimerDue {};
    asio::io_context io;
    Stream::acceptor acceptor;
    asio::signal_set signals;
    std::set<std::shared_ptr<Session>> sessions;
    /// Requests whose reply the model holds back, by ticket.
    std::map<std::uint64_t, std::pair<std::shared_ptr<Session>, std::uint64_t>> deferred;
};

Server::Server(Simulator& simulator, std::string socketPath)
    : m_impl(std::make_unique<Impl>(simulator, std::move(socketPath)))
{
}

Server::~Server()
{
    ::unlink(m_impl->socketPath.c_str());
}

void Server::run()
{
    m_impl->signals.async_wait([this](std::error_code, int signal) {
        logger().info("signal {}: stopping", signal);
        m_impl->io.stop();
    });
    m_impl->accept();
    std::printf("logicsim: listening on %s\n", m_impl->socketPath.c_str());
    std::fflush(stdout);
    m_impl->io.run();
}

} // namespace mq::sim
