// Recording one Logic-driving operation while it runs: each step is a TraceStep,
// a scope that starts the step when it is made and ends it when it goes (or at
// end()). Steps made while another is open nest inside it.
//
// An operation runs on one thread, and so is its trace used. Every recording
// call takes a trace that may be null (the journal is off, or a test drives the
// operation without one): it then does nothing, so the operations never ask.
#pragma once

#include "logic/JournalEntry.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mq::logic {

class OperationTrace {
public:
    /// `revealNames`: names and paths the user gave are kept as they are in what
    /// a step sent; otherwise each is replaced by its length (nameText).
    OperationTrace(std::string operation, bool revealNames);
    OperationTrace(const OperationTrace&) = delete;
    OperationTrace& operator=(const OperationTrace&) = delete;

    const std::string& operation() const { return m_entry.operation; }

    /// `name` as a record may show it: itself when names are revealed, else
    /// "<name: N characters>".
    std::string nameText(std::string_view name) const;
    /// A name the operation's error message may quote ('name'): the record shows
    /// it as nameText does.
    void protectName(std::string name);

    /// Starts a step inside the innermost open one; its index.
    std::size_t openStep(std::string_view name, StepKind kind);
    /// Ends step `index` now, and any step still open inside it.
    void closeStep(std::size_t index);
    JournalStep& step(std::size_t index) { return m_entry.steps[index]; }

    /// Ends the operation: closes what is still open, marks the step the failure
    /// came from (the last one that started among those that did not end well),
    /// and answers the entry. `error` is the reply's error, when there is one.
    JournalEntry finish(bool ok, const ServiceError* error);

private:
    JournalEntry m_entry;
    std::vector<std::size_t> m_open;
    std::vector<std::string> m_protectedNames;
    bool m_revealNames;
};

/// One step of an operation: started when made, ended when destroyed or at end().
/// Move-only; does nothing at all on a null trace.
class TraceStep {
public:
    TraceStep(OperationTrace* trace, std::string_view name, StepKind kind);
    TraceStep(TraceStep&& other) noexcept;
    TraceStep& operator=(TraceStep&&) = delete;
    TraceStep(const TraceStep&) = delete;
    TraceStep& operator=(const TraceStep&) = delete;
    ~TraceStep() { end(); }

    /// Whether the step is being recorded: callers may skip building texts for it.
    bool recording() const { return m_trace != nullptr; }
    OperationTrace* trace() const { return m_trace; }

    void waitedFor(std::string text);
    void found(std::string text);
    void sent(std::string text);
    /// The fixed time inside the step (see JournalStep::plannedSeconds).
    void planned(double seconds);
    /// The step did not end well: `outcome` and why.
    void fail(StepOutcome outcome, std::string why);
    /// Ends the step now; nothing the second time.
    void end();

private:
    JournalStep* step() const { return m_trace ? &m_trace->step(m_index) : nullptr; }

    OperationTrace* m_trace;
    std::size_t m_index { 0 };
};

/// Sleeps `seconds` (when greater than 0) as a step of kind sleep named `name`,
/// planned for that long.
void settleFor(OperationTrace* trace, std::string_view name, double seconds);

} // namespace mq::logic
