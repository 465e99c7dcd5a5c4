// A child process for tests: started from an argv with extra environment
// variables, its standard output and standard error collected line by line,
// signalled and reaped with bounded waits. The destructor kills and reaps it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace mq::test {

class ChildProcess {
public:
    enum class Stream { standardOutput, standardError };
    struct Line {
        Stream stream;
        std::string text;
    };
    using Environment = std::vector<std::pair<std::string, std::string>>;

    /// Starts `argv[0]` (a path, or a name looked up in PATH) with this process's
    /// environment plus `extraEnvironment` (which wins over inherited values).
    /// Throws std::runtime_error when the process cannot be started.
    explicit ChildProcess(std::vector<std::string> argv, Environment extraEnvironment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }

    /// True as soon as a line of either stream contains `text`; false when
    /// `timeout` passes first or both streams have ended without such a line.
    bool waitForLine(std::string_view text, std::chrono::milliseconds timeout);

    /// Every line received so far from both streams, in arrival order (the order
    /// between the two streams is only as precise as the pipes make it).
    std::vector<Line> lines() const;
    /// The texts of the lines of one stream, in order.
    std::vector<std::string> lines(Stream stream) const;
    /// True when a received line contains `text`.
    bool hasLine(std::string_view text) const;

    /// Sends `signal` (SIGTERM, SIGKILL, SIGSTOP, SIGCONT...). False when the
    /// process has already been reaped or kill() fails.
    bool sendSignal(int signal);

    /// Waits until the process ends and reaps it; returns its wait status (use
    /// WIFEXITED, WEXITSTATUS, WIFSIGNALED, WTERMSIG), or nothing when `timeout`
    /// passes first. After a successful wait the status is kept and returned again.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    /// Waits for both output streams to reach their end (after exit).
    bool waitForOutputEnd(std::chrono::milliseconds timeout);

private:
    void readStream(int fd, Stream stream);
    bool tryReap(int options);

    pid_t m_pid { -1 };
    int m_pidfd { -1 };
    int m_wakeRead { -1 };
    int m_wakeWrite { -1 };
    std::optional<int> m_status;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Line> m_lines;
    int m_openStreams { 0 };
    std::thread m_stdoutReader;
    std::thread m_stderrReader;
};

} // namespace mq::test
