// Logging for subsystem "com.quillmoor.marquee": one Logger per category.
//
// Under systemd (standard error connected to the journal) every line goes to the
// journal with SUBSYSTEM, CATEGORY and PRIORITY fields; otherwise it is written to
// standard error as one line: "[category] level: message". Tests capture lines
// in-process with LogCapture, or read the helper's standard error.
#pragma once

#include <fmt/format.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mq::log {

/// The system log's levels. `notice` is the platform's "default" level.
enum class Level { debug, info, notice, error, fault };

/// The word a level prints as: "debug", "info", "default", "error", "fault".
std::string_view levelName(Level level);

inline constexpr std::string_view kSubsystem = "com.quillmoor.marquee";

/// One category of the subsystem. Cheap to copy; safe to use from any thread.
class Logger {
public:
    explicit Logger(std::string category);

    const std::string& category() const { return m_category; }

    template<typename... Args>
    void debug(fmt::format_string<Args...> format, Args&&... args) const
    {
        write(Level::debug, fmt::format(format, std::forward<Args>(args)...));
    }
    template<typename... Args>
    void info(fmt::format_string<Args...> format, Args&&... args) const
    {
        write(Level::info, fmt::format(format, std::forward<Args>(args)...));
    }
    template<typename... Args>
    void notice(fmt::format_string<Args...> format, Args&&... args) const
    {
        write(Level::notice, fmt::format(format, std::forward<Args>(args)...));
    }
    template<typename... Args>
    void error(fmt::format_string<Args...> format, Args&&... args) const
    {
        write(Level::error, fmt::format(format, std::forward<Args>(args)...));
    }
    template<typename... Args>
    void fault(fmt::format_string<Args...> format, Args&&... args) const
    {
        write(Level::fault, fmt::format(format, std::forward<Args>(args)...));
    }

    void write(Level level, std::string_view message) const;

private:
    std::string m_category;
};

/// Makes sure everything logged so far has been written out (before _exit).
void flush();

/// Sends every line to standard error even under systemd (command-line tools).
void forceStandardError();

/// One captured line.
struct CapturedLine {
    std::string category;
    Level level;
    std::string message;
};

/// Collects every line logged in this process while it lives (tests).
/// Lines still go to the normal output as well.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<CapturedLine> lines() const;
    /// True when a line of `category` (any category when empty) contains `text`.
    bool contains(std::string_view text, std::string_view category = {}) const;
    size_t count(std::string_view text, std::string_view category = {}) const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace mq::log
