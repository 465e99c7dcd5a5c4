// What the operation journal keeps of one finished Logic-driving operation: its
// steps in the order they started, each with its time on the monotonic clock,
// what it waited for and found, what it sent, and how it ended.
#pragma once

#include "marquee/ServiceError.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::logic {

/// What a step does; a timeline draws waits apart from fixed sleeps.
enum class StepKind {
    group, ///< a step made of steps (a Go to Position session, a dialog, a colour click)
    lock, ///< waiting for another request that drives Logic
    check, ///< the input guard or a dialog's structure: what is in front, what a window holds
    action, ///< a stored action, run to its end or started in the background
    wait, ///< a bounded wait for a window, a focus or a result
    sleep, ///< a fixed pause (a settle pause, the client's pacing)
    send, ///< a keystroke script, key events, a click, an Apple Event
    read, ///< reading a value of Logic's (the control bar, a dialog's time)
};

enum class StepOutcome {
    ok,
    failed, ///< the step did not do what it should (a script that failed, a value that did not read)
    timedOut, ///< a wait whose time ran out
    refused, ///< the input guard or a check stopped it: nothing was sent
};

/// The names a record uses: "group", "lock", ... and "ok", "failed", "timed-out", "refused".
std::string_view stepKindName(StepKind kind);
std::string_view stepOutcomeName(StepOutcome outcome);

struct JournalStep {
    std::string name;
    StepKind kind { StepKind::group };
    /// 0 for a step of the operation itself, 1 for a step inside one of those, ...
    int depth { 0 };
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point end;
    /// The fixed time inside the step that it cannot do without (a settle pause,
    /// a script's own delays); 0 for none.
    double plannedSeconds { 0 };
    std::string waitedFor;
    std::string found;
    std::string sent;
    StepOutcome outcome { StepOutcome::ok };
    /// Why it did not end well, in words.
    std::string error;
    /// This step is where the operation's error came from.
    bool causedFailure { false };
};

struct JournalEntry {
    /// Counts the operations of this helper process from 1.
    std::uint64_t sequence { 0 };
    std::string operation;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point end;
    std::chrono::system_clock::time_point wallClockStart;
    bool ok { true };
    /// The error the operation replied with, when it failed with one.
    std::optional<ServiceError> error;
    /// In the order they started; a step's children follow it with a greater depth.
    std::vector<JournalStep> steps;
};

} // namespace mq::logic
