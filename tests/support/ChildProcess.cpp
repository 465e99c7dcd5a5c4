#include "tests/support/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mq::test {

namespace {

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

std::runtime_error systemError(const std::string& what, int error)
{
    return std::runtime_error(what + ": " + std::strerror(error));
}

} // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, Environment extraEnvironment)
{
    if (argv.empty())
        throw std::runtime_error("ChildProcess: empty argv");

    // The environment: ours, with the extra variables replacing same-named ones.
    std::map<std::string, std::string> merged;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text(*entry);
        auto equals = text.find('=');
        if (equals != std::string_view::npos)
            merged[std::string(text.substr(0, equals))] = std::string(text.substr(equals + 1));
    }
    for (auto& [name, value] : extraEnvironment)
        merged[name] = value;
    std::vector<std::string> envStrings;
    for (auto& [name, value] : merged)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (auto& s : argv)
        args.push_back(s.data());
    args.push_back(nullptr);

    int out[2], err[2], wake[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw systemError("pipe2", errno);
    if (::pipe2(err, O_CLOEXEC) != 0) {
        int e = errno;
        ::close(out[0]);
        ::close(out[1]);
        throw systemError("pipe2", e);
    }
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        int e = errno;
        for (int fd : { out[0], out[1], err[0], err[1] })
            ::close(fd);
        throw systemError("pipe2", e);
    }
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal handling and nothing blocked, whatever
    // the test runner did to its own signal state.
    sigset_t defaults, empty;
    sigfillset(&defaults);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &empty);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    int result = ::posix_spawnp(&m_pid, args[0], &actions, &attributes, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    ::close(err[1]);
    if (result != 0) {
        ::close(out[0]);
        ::close(err[0]);
        closeFd(m_wakeRead);
        closeFd(m_wakeWrite);
        m_pid = -1;
        throw systemError("posix_spawnp " + argv[0], result);
    }

    m_pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    m_openStreams = 2;
    m_stdoutReader = std::thread([this, fd = out[0]] { readStream(fd, Stream::standardOutput); });
    m_stderrReader = std::thread([this, fd = err[0]] { readStream(fd, Stream::standardError); });
}

ChildProcess::~ChildProcess()
{
    if (!m_status) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    // The streams end when the child is gone, unless a grandchild still holds
    // them; in that case the readers are told to stop.
    if (!waitForOutputEnd(std::chrono::milliseconds(1000))) {
        char byte = 1;
        [[maybe_unused]] auto written = ::write(m_wakeWrite, &byte, 1);
    }
    m_stdoutReader.join();
    m_stderrReader.join();
    closeFd(m_pidfd);
    closeFd(m_wakeRead);
    closeFd(m_wakeWrite);
}

void ChildProcess::readStream(int fd, Stream stream)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = { { fd, POLLIN, 0 }, { m_wakeRead, POLLIN, 0 } };
        int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(count));
        std::vector<Line> complete;
        size_t start = 0;
        for (size_t newline; (newline = pending.find('\n', start)) != std::string::npos; start = newline + 1)
            complete.push_back({ stream, pending.substr(start, newline - start) });
        pending.erase(0, start);
        if (!complete.empty()) {
            std::lock_guard lock(m_mutex);
            for (auto& line : complete)
                m_lines.push_back(std::move(line));
            m_changed.notify_all();
        }
    }
    ::close(fd);
    std::lock_guard lock(m_mutex);
    if (!pending.empty())
        m_lines.push_back({ stream, std::move(pending) });
    --m_openStreams;
    m_changed.notify_all();
}

bool ChildProcess::waitForLine(std::string_view text, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    size_t checked = 0;
    auto found = [&] {
        for (; checked < m_lines.size(); ++checked)
            if (m_lines[checked].text.find(text) != std::string::npos)
                return true;
        return false;
    };
    bool result = m_changed.wait_for(lock, timeout, [&] { return found() || m_openStreams == 0; });
    return result && (checked < m_lines.size() || found());
}

std::vector<ChildProcess::Line> ChildProcess::lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<std::string> ChildProcess::lines(Stream stream) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const auto& line : m_lines)
        if (line.stream == stream)
            texts.push_back(line.text);
    return texts;
}

bool ChildProcess::hasLine(std::string_view text) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& line : m_lines)
        if (line.text.find(text) != std::string::npos)
            return true;
    return false;
}

bool ChildProcess::sendSignal(int signal)
{
    if (m_status)
        return false;
    return ::kill(m_pid, signal) == 0;
}

bool ChildProcess::tryReap(int options)
{
    int status = 0;
    pid_t result;
    do
        result = ::waitpid(m_pid, &status, options);
    while (result < 0 && errno == EINTR);
    if (result == m_pid) {
        m_status = status;
        return true;
    }
    return false;
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (m_status)
        return m_status;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (tryReap(WNOHANG))
            return m_status;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        if (m_pidfd >= 0) {
            // The pidfd becomes readable when the process ends.
            pollfd fd { m_pidfd, POLLIN, 0 };
            ::poll(&fd, 1, static_cast<int>(left.count()) + 1);
        } else {
            // Without pidfds (old kernels) poll the status every 2 ms.
            ::poll(nullptr, 0, static_cast<int>(std::min<long long>(left.count() + 1, 2)));
        }
    }
}

bool ChildProcess::waitForOutputEnd(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_openStreams == 0; });
}

} // namespace mq::test
