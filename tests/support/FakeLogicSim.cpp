#include "tests/support/FakeLogicSim.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace mq::test {

using nlohmann::json;

struct FakeLogicSim::State {
    std::string path;
    int listener { -1 };
    int wakeRead { -1 };
    int wakeWrite { -1 };
    std::thread thread;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Answer answer;
    std::vector<json> requests;

    void serve()
    {
        std::map<int, std::string> connections; // fd -> unfinished line
        for (;;) {
            std::vector<pollfd> fds { { wakeRead, POLLIN, 0 }, { listener, POLLIN, 0 } };
            for (auto& [fd, pending] : connections)
                fds.push_back({ fd, POLLIN, 0 });
            if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR)
                break;
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN) {
                int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    connections[fd];
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                int fd = fds[i].fd;
                char buffer[4096];
                ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0) {
                    ::close(fd);
                    connections.erase(fd);
                    continue;
                }
                std::string& pending = connections[fd];
                pending.append(buffer, static_cast<std::size_t>(n));
                for (std::size_t newline; (newline = pending.find('\n')) != std::string::npos;) {
                    json request = json::parse(pending.substr(0, newline), nullptr, false);
                    pending.erase(0, newline + 1);
                    handle(fd, request);
                }
            }
        }
        for (auto& [fd, pending] : connections)
            ::close(fd);
    }

    void handle(int fd, const json& request)
    {
        if (!request.is_object() || request.value("op", "") == "hello")
            return;
        Answer current;
        {
            std::lock_guard lock(mutex);
            requests.push_back(request);
            current = answer;
        }
        changed.notify_all();
        // Outside the lock, so that an answer that holds its reply back does not
        // keep the test from looking at the requests meanwhile.
        json reply = current ? current(request) : json { { "ran", true } };
        auto id = request.value("id", std::uint64_t(0));
        if (id == 0)
            return;
        reply["id"] = id;
        std::string line = reply.dump() + "\n";
        (void)!::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    }
};

FakeLogicSim::FakeLogicSim(std::string socketPath)
    : m_state(std::make_shared<State>())
{
    m_state->path = std::move(socketPath);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (m_state->path.size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + m_state->path);
    std::memcpy(address.sun_path, m_state->path.c_str(), m_state->path.size() + 1);
    int wake[2];
    m_state->listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_state->listener < 0 || ::bind(m_state->listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_state->listener, 16) != 0 || ::pipe2(wake, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot listen on " + m_state->path + ": " + std::strerror(errno));
    m_state->wakeRead = wake[0];
    m_state->wakeWrite = wake[1];
    m_state->thread = std::thread([state = m_state] { state->serve(); });
}

FakeLogicSim::~FakeLogicSim()
{
    (void)!::write(m_state->wakeWrite, "x", 1);
    m_state->thread.join();
    ::close(m_state->listener);
    ::close(m_state->wakeRead);
    ::close(m_state->wakeWrite);
    ::unlink(m_state->path.c_str());
}

void FakeLogicSim::setAnswer(Answer answer)
{
    std::lock_guard lock(m_state->mutex);
    m_state->answer = std::move(answer);
}

std::vector<json> FakeLogicSim::requests() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->requests;
}

std::vector<std::uint32_t> FakeLogicSim::actionCodes() const
{
    std::vector<std::uint32_t> codes;
    for (const json& request : requests())
        if (request.value("op", "") == "logic.runStoredAction")
            codes.push_back(request.value("code", std::uint32_t(0)));
    return codes;
}

bool FakeLogicSim::waitForActions(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout, [&] {
        std::size_t actions = 0;
        for (const json& request : m_state->requests)
            actions += request.value("op", "") == "logic.runStoredAction";
        return actions >= count;
    });
}

} // namespace mq::test
