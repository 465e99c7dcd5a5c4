#include "platform/Log.h"
#include "platform/LogCaptureSink.h"

#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>
#include <systemd/sd-journal.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <syslog.h>

namespace mq::log {

namespace {

spdlog::level::level_enum toSpdlog(Level level)
{
    switch (level) {
    case Level::debug: return spdlog::level::debug;
    case Level::info: return spdlog::level::info;
    case Level::notice: return spdlog::level::warn;
    case Level::error: return spdlog::level::err;
    case Level::fault: return spdlog::level::critical;
    }
    return spdlog::level::info;
}

Level fromSpdlog(spdlog::level::level_enum level)
{
    switch (level) {
    case spdlog::level::trace:
    case spdlog::level::debug: return Level::debug;
    case spdlog::level::info: return Level::info;
    case spdlog::level::warn: return Level::notice;
    case spdlog::level::err: return Level::error;
    default: return Level::fault;
    }
}

int syslogPriority(Level level)
{
    switch (level) {
    case Level::debug: return LOG_DEBUG;
    case Level::info: return LOG_INFO;
    case Level::notice: return LOG_NOTICE;
    case Level::error: return LOG_ERR;
    case Level::fault: return LOG_CRIT;
    }
    return LOG_INFO;
}

// Standard error is the journal when systemd says so through JOURNAL_STREAM
// ("device:inode" of the stream it connected) and that is still our fd 2.
bool standardErrorIsJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream)
        return false;
    unsigned long long device = 0, inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2)
        return false;
    struct stat st {};
    if (fstat(2, &st) != 0)
        return false;
    return st.st_dev == device && st.st_ino == inode;
}

class StandardErrorSink final : public spdlog::sinks::base_sink<std::mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        auto line = fmt::format("[{}] {}: {}\n", std::string_view(msg.logger_name.data(), msg.logger_name.size()),
            levelName(fromSpdlog(msg.level)), std::string_view(msg.payload.data(), msg.payload.size()));
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    void flush_() override { std::fflush(stderr); }
};

class JournalSink final : public spdlog::sinks::base_sink<std::mutex> {
protected:
    void sink_it_(const spdlog::details::log_msg& msg) override
    {
        std::string_view category(msg.logger_name.data(), msg.logger_name.size());
        std::string_view payload(msg.payload.data(), msg.payload.size());
        auto level = fromSpdlog(msg.level);
        sd_journal_send("MESSAGE=%.*s", static_cast<int>(payload.size()), payload.data(),
            "PRIORITY=%d", syslogPriority(level),
            "SUBSYSTEM=%.*s", static_cast<int>(kSubsystem.size()), kSubsystem.data(),
            "CATEGORY=%.*s", static_cast<int>(category.size()), category.data(),
            "SYSLOG_IDENTIFIER=marquee-helper", nullptr);
    }
    void flush_() override { }
};


struct Registry {
    std::mutex mutex;
    std::shared_ptr<spdlog::sinks::sink> output;
    std::vector<std::shared_ptr<spdlog::logger>> loggers;
};

Registry& registry()
{
    static auto* instance = new Registry; // Lives until _exit; never destroyed under running threads.
    return *instance;
}

std::shared_ptr<spdlog::sinks::sink> outputSink(Registry& r)
{
    if (!r.output) {
        if (standardErrorIsJournal())
            r.output = std::make_shared<JournalSink>();
        else
            r.output = std::make_shared<StandardErrorSink>();
        r.output->set_level(spdlog::level::trace);
    }
    return r.output;
}

} // namespace

void Logger::write(Level level, std::string_view message) const
{
    std::shared_ptr<spdlog::logger> logger;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        logger = spdlog::get(m_category);
        if (!logger) {
            logger = std::make_shared<spdlog::logger>(m_category, outputSink(r));
            logger->set_level(spdlog::level::trace);
            logger->flush_on(spdlog::level::trace);
            spdlog::register_logger(logger);
            r.loggers.push_back(logger);
        }
    }
    logger->log(toSpdlog(level), "{}", message);

    captureLine(m_category, level, message);
}

void flush()
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto& logger : r.loggers)
        logger->flush();
    std::fflush(stderr);
}

void forceStandardError()
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.output) {
        r.output = std::make_shared<StandardErrorSink>();
        r.output->set_level(spdlog::level::trace);
    }
}

} // namespace mq::log
