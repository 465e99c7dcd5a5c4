// What every backend of the log shares: level names, the logger's category and
// the in-process capture that tests read.
#include "platform/Log.h"
#include "platform/LogCaptureSink.h"

#include <algorithm>
#include <mutex>

namespace mq::log {

struct LogCapture::State {
    mutable std::mutex mutex;
    std::vector<CapturedLine> lines;
};

namespace {
std::mutex& captureMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::vector<std::shared_ptr<LogCapture::State>>& activeCaptures()
{
    static auto* v = new std::vector<std::shared_ptr<LogCapture::State>>;
    return *v;
}
} // namespace

void captureLine(const std::string& category, Level level, std::string_view message)
{
    std::lock_guard lock(captureMutex());
    for (auto& capture : activeCaptures()) {
        std::lock_guard captureLock(capture->mutex);
        capture->lines.push_back({ category, level, std::string(message) });
    }
}

std::string_view levelName(Level level)
{
    switch (level) {
    case Level::debug: return "debug";
    case Level::info: return "info";
    case Level::notice: return "default";
    case Level::error: return "error";
    case Level::fault: return "fault";
    }
    return "info";
}

Logger::Logger(std::string category)
    : m_category(std::move(category))
{
}

LogCapture::LogCapture()
    : m_state(std::make_shared<State>())
{
    std::lock_guard lock(captureMutex());
    activeCaptures().push_back(m_state);
}

LogCapture::~LogCapture()
{
    std::lock_guard lock(captureMutex());
    auto& all = activeCaptures();
    all.erase(std::remove(all.begin(), all.end(), m_state), all.end());
}

std::vector<CapturedLine> LogCapture::lines() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->lines;
}

size_t LogCapture::count(std::string_view text, std::string_view category) const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<size_t>(std::count_if(m_state->lines.begin(), m_state->lines.end(), [&](const CapturedLine& line) {
        return (category.empty() || line.category == category) && line.message.find(text) != std::string::npos;
    }));
}

bool LogCapture::contains(std::string_view text, std::string_view category) const
{
    return count(text, category) > 0;
}

} // namespace mq::log
