#include "logic/OperationJournal.h"

#include "logic/ServiceLog.h"
#include "protocol/OperationRecordFormat.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <unistd.h>

namespace mq::logic {

namespace {

using Json = nlohmann::ordered_json;

/// Milliseconds to the microsecond: enough for a timeline, and short in the record.
double milliseconds(std::chrono::steady_clock::duration duration)
{
    return std::round(std::chrono::duration<double, std::milli>(duration).count() * 1000.0) / 1000.0;
}

std::string utcText(std::chrono::system_clock::time_point time)
{
    auto since = time.time_since_epoch();
    std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000;
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return std::string(text, length) + "." + std::to_string(1000 + millis).substr(1) + "Z";
}

/// The steps from `index` on at `depth`, with their children, as a JSON array;
/// `index` ends past the last of them.
Json stepsJSON(const JournalEntry& entry, std::size_t& index, int depth)
{
    Json steps = Json::array();
    while (index < entry.steps.size() && entry.steps[index].depth >= depth) {
        const JournalStep& step = entry.steps[index++];
        Json out { { "name", step.name }, { "kind", stepKindName(step.kind) }, { "startMs", milliseconds(step.start - entry.start) },
            { "durationMs", milliseconds(step.end - step.start) } };
        if (step.plannedSeconds > 0)
            out["plannedMs"] = std::round(step.plannedSeconds * 1e6) / 1e3;
        for (auto [key, text] : { std::pair { "waitedFor", &step.waitedFor }, std::pair { "found", &step.found }, std::pair { "sent", &step.sent } })
            if (!text->empty())
                out[key] = *text;
        if (step.outcome != StepOutcome::ok) {
            out["outcome"] = stepOutcomeName(step.outcome);
            if (!step.error.empty())
                out["error"] = step.error;
        }
        if (step.causedFailure)
            out["failed"] = true;
        if (index < entry.steps.size() && entry.steps[index].depth > step.depth)
            out["steps"] = stepsJSON(entry, index, step.depth + 1);
        steps.push_back(std::move(out));
    }
    return steps;
}

std::optional<bool> environmentSwitch(const char* name, std::string_view offWord, std::string_view onWord)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    std::string_view text(value);
    if (text == offWord || text == "0" || text == "false" || text == "no")
        return false;
    if (text == onWord || text == "1" || text == "true" || text == "yes")
        return true;
    serviceLog().error("trace: ignoring {}={}: neither {} nor {}", name, text, onWord, offWord);
    return std::nullopt;
}

} // namespace

JournalSettings JournalSettings::load(const std::optional<std::string>& configurationFile)
{
    JournalSettings settings;
    if (configurationFile) {
        std::ifstream file(*configurationFile);
        Json document = file ? Json::parse(file, nullptr, /*allow_exceptions=*/false) : Json();
        if (document.is_object()) {
            for (auto [key, field] : { std::pair { "operationJournal", &settings.enabled }, std::pair { "traceNames", &settings.revealNames } }) {
                auto it = document.find(key);
                if (it == document.end())
                    continue;
                if (it->is_boolean())
                    *field = it->get<bool>();
                else
                    serviceLog().error("trace: ignoring \"{}\" in {}: not true or false", key, *configurationFile);
            }
        }
    }
    if (auto enabled = environmentSwitch("MARQUEE_OPERATION_JOURNAL", "off", "on"))
        settings.enabled = *enabled;
    if (auto reveal = environmentSwitch("MARQUEE_TRACE_NAMES", "0", "1"))
        settings.revealNames = *reveal;
    return settings;
}

OperationJournal::OperationJournal(JournalSettings settings)
    : m_settings(settings)
{
}

std::unique_ptr<OperationTrace> OperationJournal::begin(std::string_view operation) const
{
    if (!m_settings.enabled)
        return nullptr;
    return std::make_unique<OperationTrace>(std::string(operation), m_settings.revealNames);
}

void OperationJournal::finish(std::unique_ptr<OperationTrace> trace, bool ok, const ServiceError* error)
{
    if (!trace)
        return;
    JournalEntry entry = trace->finish(ok, error);
    {
        std::lock_guard lock(m_mutex);
        entry.sequence = ++m_finished;
    }
    std::string record = std::string(operationrecord::kMessagePrefix) + operationRecordJSON(entry);
    serviceLog().write(entry.ok ? log::Level::info : log::Level::notice, record);
    std::lock_guard lock(m_mutex);
    if (m_settings.capacity == 0)
        return;
    if (m_ring.size() == m_settings.capacity)
        m_ring.pop_front();
    m_ring.push_back(std::move(entry));
}

std::vector<JournalEntry> OperationJournal::recent(std::size_t count) const
{
    std::lock_guard lock(m_mutex);
    std::size_t first = m_ring.size() > count ? m_ring.size() - count : 0;
    return std::vector<JournalEntry>(m_ring.begin() + static_cast<std::ptrdiff_t>(first), m_ring.end());
}

std::string operationRecordJSON(const JournalEntry& entry)
{
    Json record { { "format", operationrecord::kFormatVersion }, { "sequence", entry.sequence }, { "operation", entry.operation },
        { "pid", static_cast<long>(::getpid()) }, { "wallClock", utcText(entry.wallClockStart) },
        { "monotonicMs", milliseconds(entry.start.time_since_epoch()) }, { "durationMs", milliseconds(entry.end - entry.start) },
        { "ok", entry.ok } };
    if (entry.error)
        record["error"] = Json { { "code", entry.error->code }, { "message", entry.error->localizedDescription } };
    std::size_t index = 0;
    record["steps"] = stepsJSON(entry, index, 0);
    // Text that is not UTF-8 (a window title read from Logic) is replaced, never a reason to lose the record.
    return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace mq::logic
