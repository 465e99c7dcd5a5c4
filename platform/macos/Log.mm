// The log of platform/Log.h over the unified system log: one os_log handle per
// category of the subsystem "com.quillmoor.marquee". Messages are public, as the
// helper's lines carry no private data. Command-line tools may also ask for
// standard error.
#include "platform/Log.h"
#include "platform/LogCaptureSink.h"

#include <os/log.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace mq::log {

namespace {

std::atomic<bool> g_alsoStandardError { false };

os_log_type_t toLogType(Level level)
{
    switch (level) {
    case Level::debug:
        return OS_LOG_TYPE_DEBUG;
    case Level::info:
        return OS_LOG_TYPE_INFO;
    case Level::notice:
        return OS_LOG_TYPE_DEFAULT;
    case Level::error:
        return OS_LOG_TYPE_ERROR;
    case Level::fault:
        return OS_LOG_TYPE_FAULT;
    }
    return OS_LOG_TYPE_DEFAULT;
}

os_log_t handleFor(const std::string& category)
{
    static auto* mutex = new std::mutex;
    static auto* handles = new std::map<std::string, os_log_t>;
    std::lock_guard lock(*mutex);
    auto found = handles->find(category);
    if (found == handles->end())
        found = handles->emplace(category, os_log_create(std::string(kSubsystem).c_str(), category.c_str())).first;
    return found->second;
}

} // namespace

void Logger::write(Level level, std::string_view message) const
{
    std::string text(message);
    os_log_with_type(handleFor(m_category), toLogType(level), "%{public}s", text.c_str());
    if (g_alsoStandardError)
        std::fprintf(stderr, "[%s] %s: %s\n", m_category.c_str(), std::string(levelName(level)).c_str(), text.c_str());
    captureLine(m_category, level, message);
}

void flush()
{
    // The system log takes each line as it is written; only standard error buffers.
    std::fflush(stderr);
}

void forceStandardError()
{
    g_alsoStandardError = true;
}

} // namespace mq::log
