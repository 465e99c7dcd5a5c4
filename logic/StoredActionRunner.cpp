#include "logic/StoredActionRunner.h"

#include "logic/ServiceLog.h"
#include "logic/StoredActionData.h"
#include "logic/StoredActionInterpreter.h"
#include "platform/AESCipher.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

namespace mq::logic {

namespace stored {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kPlaceholder = "__ID__";

/// The run's secret buffers. However the run ends, the destructor wipes each one,
/// shows them to the test hook and only then lets them go.
struct Secrets {
    Key key {};
    std::vector<std::uint8_t> scriptTemplate;
    std::vector<std::uint8_t> allowList;
    std::vector<std::uint8_t> script;
    const RunOptions& options;

    explicit Secrets(const RunOptions& runOptions)
        : options(runOptions)
    {
    }
    Secrets(const Secrets&) = delete;
    Secrets& operator=(const Secrets&) = delete;

    void wipeKey() { platform::aes::secureZero(key.data(), key.size()); }

    ~Secrets()
    {
        wipeKey();
        for (auto* buffer : { &script, &scriptTemplate, &allowList })
            if (!buffer->empty())
                platform::aes::secureZero(buffer->data(), buffer->size());
        if (options.beforeRelease) {
            const ReleasedBuffer buffers[] = {
                { "key", key.data(), key.size() },
                { "template", scriptTemplate.data(), scriptTemplate.size() },
                { "allowList", allowList.data(), allowList.size() },
                { "script", script.data(), script.size() },
            };
            options.beforeRelease(buffers);
        }
    }
};

std::string_view asText(const std::vector<std::uint8_t>& bytes, std::size_t length)
{
    return { reinterpret_cast<const char*>(bytes.data()), length };
}

/// Builds the script into `secrets.script`, sized exactly once so that no copy of
/// it is left behind by a reallocation. False when the template has no placeholder.
bool substitute(Secrets& secrets, std::size_t templateLength, std::uint32_t code)
{
    std::string_view text = asText(secrets.scriptTemplate, templateLength);
    if (text.size() < kPlaceholder.size())
        return false;
    std::size_t count = 0;
    for (std::size_t at = text.find(kPlaceholder); at != std::string_view::npos; at = text.find(kPlaceholder, at + kPlaceholder.size()))
        ++count;
    if (count == 0)
        return false;

    char digitsBuffer[16];
    int digitsLength = std::snprintf(digitsBuffer, sizeof digitsBuffer, "%u", code);
    std::string_view digits(digitsBuffer, static_cast<std::size_t>(digitsLength));

    secrets.script.resize(text.size() - count * kPlaceholder.size() + count * digits.size());
    auto out = secrets.script.begin();
    std::size_t from = 0;
    for (std::size_t at = text.find(kPlaceholder); at != std::string_view::npos; at = text.find(kPlaceholder, from)) {
        out = std::copy(text.begin() + static_cast<std::ptrdiff_t>(from), text.begin() + static_cast<std::ptrdiff_t>(at), out);
        out = std::copy(digits.begin(), digits.end(), out);
        from = at + kPlaceholder.size();
    }
    std::copy(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), out);
    return true;
}

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

/// A pipe whose ends are not inherited by any child process (another run may be
/// starting its own interpreter on another thread at this moment).
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

/// The interpreter process of one run.
class Interpreter {
public:
    /// Starts `path -` with three new pipes as its standard streams.
    bool launch(const std::string& path)
    {
        Pipe input, output, error;
        if (!makePipe(input) || !makePipe(output) || !makePipe(error))
            return false;

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input.read.get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output.write.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, error.write.get(), STDERR_FILENO);
        // The interpreter gets its three pipes and nothing else: a descriptor of the
        // helper's that someone forgot to make close-on-exec (a client's socket, the
        // listening socket) would otherwise outlive the helper in the child.
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

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
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        char dash[] = "-";
        std::string program = path;
        char* argv[] = { program.data(), dash, nullptr };
        int status = posix_spawn(&m_pid, path.c_str(), &actions, &attributes, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        if (status != 0) {
            m_pid = -1;
            serviceLog().error("Could not start the stored action interpreter {}: {}", path, std::strerror(status));
            return false;
        }
        m_input = std::move(input.write);
        m_output = std::move(output.read);
        m_error = std::move(error.read);
#if defined(__linux__) && defined(SYS_pidfd_open)
        // Readable once the interpreter has exited, so that its exit ends the wait
        // at once: its pipes reach end of file a moment before it can be reaped,
        // and without this the wait would then sleep in 1 ms steps. Kernels before
        // 5.3 have none, and the steps remain.
        m_exit = FileDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0)));
#endif
        setNonBlocking(m_input.get());
        setNonBlocking(m_output.get());
        setNonBlocking(m_error.get());
        return true;
    }

    /// Writes `script` to the interpreter's standard input and closes it, reading
    /// and discarding what the interpreter writes meanwhile (an interpreter that
    /// fills an unread pipe would otherwise block forever), and waits for its exit.
    /// Answers true when it exited with status 0.
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
            // With its outputs closed and no pidfd, the interpreter's exit shows only in waitpid.
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
                        return terminate(SIGTERM); // the interpreter stopped reading its script
                } else {
                    drain(fds[i].fd == m_output.get() ? m_output : m_error);
                }
            }
        }
    }

    ~Interpreter()
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

    /// Ends the interpreter (SIGTERM gets one second before SIGKILL), reaps it and
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
    /// A pidfd of the interpreter, when the system has them.
    FileDescriptor m_exit;
};

bool decipherInto(const StoredText& text, const Key& key, std::vector<std::uint8_t>& plaintext, std::size_t& length)
{
    plaintext.assign(text.ciphertext.size(), 0);
    std::ptrdiff_t result = decipher(text, key, plaintext);
    if (result < 0)
        return false;
    length = static_cast<std::size_t>(result);
    return true;
}

bool containsWholeNumber(std::string_view text, std::string_view needle)
{
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) {
        std::size_t after = at + needle.size();
        if (after == text.size() || text[after] < '0' || text[after] > '9')
            return true;
    }
    return false;
}

} // namespace

std::string defaultInterpreter()
{
    return storedActionInterpreter();
}

bool allowListAdmits(std::string_view allowList, std::uint32_t code)
{
    char needle[16];
    int length = std::snprintf(needle, sizeof needle, ": %u", code);
    if (containsWholeNumber(allowList, std::string_view(needle, static_cast<std::size_t>(length))))
        return true;
    length = std::snprintf(needle, sizeof needle, ":%u", code);
    return containsWholeNumber(allowList, std::string_view(needle, static_cast<std::size_t>(length)));
}

bool runStoredAction(std::uint32_t code, const RunOptions& options)
{
    const StoredActionData& data = options.data ? *options.data : builtInStoredActions();
    Secrets secrets(options);

    combineKeyPieces(data.keyPieces, secrets.key);
    std::size_t templateLength = 0;
    if (!decipherInto(data.scriptTemplate, secrets.key, secrets.scriptTemplate, templateLength))
        return false;
    std::size_t allowListLength = 0;
    bool allowListDeciphered = decipherInto(data.allowList, secrets.key, secrets.allowList, allowListLength);
    secrets.wipeKey();
    if (!allowListDeciphered)
        return false;

    if (!allowListAdmits(asText(secrets.allowList, allowListLength), code))
        return false;
    if (!substitute(secrets, templateLength, code))
        return false;

    // A missing interpreter is said on every run it refuses: every step that
    // drives Logic fails through here, and the log is where the user looks.
    std::string path = options.interpreter.empty() ? defaultInterpreter() : options.interpreter;
    if (std::string why = interpreterUnusable(path); !why.empty()) {
        serviceLog().error("Stored action interpreter {} cannot be run ({}); stored action {} refused", path, why, code);
        return false;
    }
    Interpreter interpreter;
    if (!interpreter.launch(path))
        return false;
    return interpreter.feedAndWait(secrets.script, Clock::now() + options.timeout);
}

} // namespace stored

bool runStoredAction(std::uint32_t code)
{
    return stored::runStoredAction(code, stored::RunOptions {});
}

} // namespace mq::logic
