#include "platform/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace mq::platform {

namespace {

using Clock = std::chrono::steady_clock;

/// A file descriptor closed when it goes out of scope.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor() { close(); }
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd { -1 };
};

struct Pipe {
    FileDescriptor read;
    FileDescriptor write;
};

/// A pipe whose ends are not inherited by any child process (another thread may be
/// starting a child of its own at this moment).
bool makePipe(Pipe& pipe)
{
    int fds[2];
#if defined(__linux__)
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
#else
    if (::pipe(fds) != 0)
        return false;
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#endif
    pipe.read = FileDescriptor(fds[0]);
    pipe.write = FileDescriptor(fds[1]);
    return true;
}

void setNonBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

/// write() that cannot raise SIGPIPE in this process: the signal is blocked on
/// this thread while writing, and one raised by this write is taken back.
ssize_t writeWithoutSigpipe(int fd, const std::uint8_t* data, std::size_t size)
{
    sigset_t pipeOnly, previous, pending;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    sigpending(&pending);
    bool wasPending = sigismember(&pending, SIGPIPE) == 1;

    ssize_t written = ::write(fd, data, size);
    int writeError = errno;

    if (written < 0 && writeError == EPIPE && !wasPending) {
#if defined(__APPLE__)
        int taken;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1)
            sigwait(&pipeOnly, &taken);
#else
        const timespec noWait { 0, 0 };
        while (sigtimedwait(&pipeOnly, nullptr, &noWait) < 0 && errno == EINTR) { }
#endif
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = writeError;
    return written;
}

/// One child process and the pipes of its standard streams.
class Child {
public:
    /// Starts `path` with `arguments` and three new pipes as its standard streams;
    /// the error says why it could not be.
    Expected<void, std::string> launch(const std::string& path, std::span<const std::string> arguments)
    {
        Pipe input, output, error;
        if (!makePipe(input) || !makePipe(output) || !makePipe(error))
            return unexpected(std::string("no pipe: ") + std::strerror(errno));

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input.read.get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output.write.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, error.write.get(), STDERR_FILENO);
        // The child gets its three pipes and nothing else: a descriptor of this
        // process that someone forgot to make close-on-exec (a client's socket, the
        // listening socket) would otherwise outlive this process in the child.
#if defined(__APPLE__)
        short closeOthers = POSIX_SPAWN_CLOEXEC_DEFAULT;
#else
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        short closeOthers = 0;
#endif

        // The child starts with every signal unblocked and SIGPIPE at its default,
        // whatever this process does with them.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none, pipeOnly;
        sigemptyset(&none);
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &pipeOnly);
        posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | closeOthers));

        std::vector<std::string> texts { path };
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& text : texts)
            argv.push_back(text.data());
        argv.push_back(nullptr);
        int status = posix_spawn(&m_pid, path.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (status != 0) {
            m_pid = -1;
            return unexpected(std::string(std::strerror(status)));
        }
        m_input = std::move(input.write);
        m_output = std::move(output.read);
        m_error = std::move(error.read);
#if defined(__linux__) && defined(SYS_pidfd_open)
        // Readable once the child has exited, so that its exit ends the wait
        // at once: its pipes reach end of file a moment before it can be reaped,
        // and without this the wait would then sleep in 1 ms steps. Kernels before
        // 5.3 have none, and the steps remain.
        m_exit = FileDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0)));
#endif
        setNonBlocking(m_input.get());
        setNonBlocking(m_output.get());
        setNonBlocking(m_error.get());
        return {};
    }

    /// Writes `script` to the child's standard input and closes it, discarding what
    /// the child writes meanwhile, and waits for its exit. Answers true when it
    /// exited with status 0.
    bool feedAndWait(std::span<const std::uint8_t> script, Clock::time_point deadline)
    {
        std::size_t written = 0;
        for (;;) {
            if (m_input.isOpen() && written == script.size())
                m_input.close();
            if (reapIfExited())
                return exitedCleanly() && !m_input.isOpen();

            pollfd fds[4];
            nfds_t count = 0;
            if (m_input.isOpen())
                fds[count++] = { m_input.get(), POLLOUT, 0 };
            if (m_output.isOpen())
                fds[count++] = { m_output.get(), POLLIN, 0 };
            if (m_error.isOpen())
                fds[count++] = { m_error.get(), POLLIN, 0 };
            if (m_exit.isOpen())
                fds[count++] = { m_exit.get(), POLLIN, 0 };

            // Rounded up: truncating would end the run up to a millisecond before its time-out.
            auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (remaining.count() <= 0)
                return terminate(SIGKILL);
            // With its outputs closed and no pidfd, the child's exit shows only in waitpid.
            bool exitShowsInPoll = m_exit.isOpen() || m_output.isOpen() || m_error.isOpen();
            auto slice = exitShowsInPoll ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1);
            int ready = ::poll(fds, count, static_cast<int>(std::min(remaining, slice).count()));
            if (ready < 0 && errno != EINTR)
                return terminate(SIGTERM);
            for (nfds_t i = 0; ready > 0 && i < count; ++i) {
                if (fds[i].revents == 0 || fds[i].fd == m_exit.get())
                    continue; // the exit is reaped at the top of the loop
                if (fds[i].fd == m_input.get()) {
                    ssize_t n = writeWithoutSigpipe(m_input.get(), script.data() + written, script.size() - written);
                    if (n > 0)
                        written += static_cast<std::size_t>(n);
                    else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                        return terminate(SIGTERM); // the child stopped reading its input
                } else {
                    drain(fds[i].fd == m_output.get() ? m_output : m_error);
                }
            }
        }
    }

    ~Child()
    {
        if (m_pid > 0)
            terminate(SIGKILL);
    }

private:
    static void drain(FileDescriptor& fd)
    {
        std::uint8_t discard[4096];
        for (;;) {
            ssize_t n = ::read(fd.get(), discard, sizeof discard);
            if (n > 0)
                continue;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            fd.close(); // end of file, or an error: nothing more to read
            return;
        }
    }

    bool reapIfExited()
    {
        pid_t result;
        do
            result = ::waitpid(m_pid, &m_status, WNOHANG);
        while (result < 0 && errno == EINTR);
        if (result == 0)
            return false;
        m_pid = -1; // reaped (or not ours to wait for any more)
        if (result < 0)
            m_status = -1;
        return true;
    }

    bool exitedCleanly() const { return m_status >= 0 && WIFEXITED(m_status) && WEXITSTATUS(m_status) == 0; }

    /// Ends the child (SIGTERM gets one second before SIGKILL), reaps it and
    /// answers false.
    bool terminate(int signal)
    {
        m_input.close();
        if (m_pid <= 0)
            return false;
        ::kill(m_pid, signal);
        if (signal != SIGKILL) {
            auto giveUp = Clock::now() + std::chrono::seconds(1);
            while (Clock::now() < giveUp) {
                if (reapIfExited())
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            ::kill(m_pid, SIGKILL);
        }
        while (::waitpid(m_pid, &m_status, 0) < 0 && errno == EINTR) { }
        m_pid = -1;
        return false;
    }

    pid_t m_pid { -1 };
    int m_status { -1 };
    FileDescriptor m_input, m_output, m_error;
    /// A pidfd of the child, when the system has them.
    FileDescriptor m_exit;
};

} // namespace

Expected<bool, std::string> runChildProcess(const std::string& program, std::span<const std::string> arguments,
    std::span<const std::uint8_t> input, std::chrono::steady_clock::time_point deadline)
{
    Child child;
    if (Expected<void, std::string> launched = child.launch(program, arguments); !launched)
        return unexpected(launched.error());
    return child.feedAndWait(input, deadline);
}

} // namespace mq::platform
