#include "logic/OperationTrace.h"

#include "platform/Dispatch.h"

#include <algorithm>
#include <utility>

namespace mq::logic {

namespace {

using Clock = std::chrono::steady_clock;

std::size_t characterCount(std::string_view text)
{
    // Every byte that does not continue a UTF-8 sequence starts a character.
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

std::string_view stepKindName(StepKind kind)
{
    switch (kind) {
    case StepKind::group: return "group";
    case StepKind::lock: return "lock";
    case StepKind::check: return "check";
    case StepKind::action: return "action";
    case StepKind::wait: return "wait";
    case StepKind::sleep: return "sleep";
    case StepKind::send: return "send";
    case StepKind::read: return "read";
    }
    return "group";
}

std::string_view stepOutcomeName(StepOutcome outcome)
{
    switch (outcome) {
    case StepOutcome::ok: return "ok";
    case StepOutcome::failed: return "failed";
    case StepOutcome::timedOut: return "timed-out";
    case StepOutcome::refused: return "refused";
    }
    return "ok";
}

OperationTrace::OperationTrace(std::string operation, bool revealNames)
    : m_revealNames(revealNames)
{
    m_entry.operation = std::move(operation);
    m_entry.wallClockStart = std::chrono::system_clock::now();
    m_entry.start = Clock::now();
    m_entry.steps.reserve(64);
}

std::string OperationTrace::nameText(std::string_view name) const
{
    if (m_revealNames)
        return std::string(name);
    return "<name: " + std::to_string(characterCount(name)) + " characters>";
}

void OperationTrace::protectName(std::string name)
{
    if (!m_revealNames && !name.empty())
        m_protectedNames.push_back(std::move(name));
}

std::size_t OperationTrace::openStep(std::string_view name, StepKind kind)
{
    JournalStep& step = m_entry.steps.emplace_back();
    step.name = name;
    step.kind = kind;
    step.depth = static_cast<int>(m_open.size());
    step.start = Clock::now();
    step.end = step.start;
    m_open.push_back(m_entry.steps.size() - 1);
    return m_entry.steps.size() - 1;
}

void OperationTrace::closeStep(std::size_t index)
{
    auto it = std::find(m_open.begin(), m_open.end(), index);
    if (it == m_open.end())
        return;
    Clock::time_point now = Clock::now();
    for (auto inner = it; inner != m_open.end(); ++inner)
        m_entry.steps[*inner].end = now;
    m_open.erase(it, m_open.end());
}

JournalEntry OperationTrace::finish(bool ok, const ServiceError* error)
{
    m_entry.end = Clock::now();
    for (std::size_t index : m_open)
        m_entry.steps[index].end = m_entry.end;
    m_open.clear();
    m_entry.ok = ok && !error;
    if (error)
        m_entry.error = *error;
    if (!m_entry.ok) {
        auto cause = std::find_if(m_entry.steps.rbegin(), m_entry.steps.rend(), [](const JournalStep& step) { return step.outcome != StepOutcome::ok; });
        if (cause != m_entry.steps.rend())
            cause->causedFailure = true;
    }
    // A name the error message quotes goes out as its length, like what was sent.
    for (const std::string& name : m_protectedNames) {
        std::string quoted = "'" + name + "'";
        std::string shown = "'" + nameText(name) + "'";
        if (m_entry.error)
            replaceAll(m_entry.error->localizedDescription, quoted, shown);
        for (JournalStep& step : m_entry.steps)
            for (std::string* text : { &step.found, &step.error, &step.sent })
                replaceAll(*text, quoted, shown);
    }
    return std::move(m_entry);
}

TraceStep::TraceStep(OperationTrace* trace, std::string_view name, StepKind kind)
    : m_trace(trace)
{
    if (m_trace)
        m_index = m_trace->openStep(name, kind);
}

TraceStep::TraceStep(TraceStep&& other) noexcept
    : m_trace(std::exchange(other.m_trace, nullptr))
    , m_index(other.m_index)
{
}

void TraceStep::waitedFor(std::string text)
{
    if (JournalStep* s = step())
        s->waitedFor = std::move(text);
}

void TraceStep::found(std::string text)
{
    if (JournalStep* s = step())
        s->found = std::move(text);
}

void TraceStep::sent(std::string text)
{
    if (JournalStep* s = step())
        s->sent = std::move(text);
}

void TraceStep::planned(double seconds)
{
    if (JournalStep* s = step())
        s->plannedSeconds = seconds;
}

void TraceStep::fail(StepOutcome outcome, std::string why)
{
    if (JournalStep* s = step()) {
        s->outcome = outcome;
        s->error = std::move(why);
    }
}

void TraceStep::end()
{
    if (OperationTrace* trace = std::exchange(m_trace, nullptr))
        trace->closeStep(m_index);
}

void settleFor(OperationTrace* trace, std::string_view name, double seconds)
{
    TraceStep pause(trace, name, StepKind::sleep);
    pause.planned(seconds > 0 ? seconds : 0);
    sleepForSeconds(seconds);
}

} // namespace mq::logic
