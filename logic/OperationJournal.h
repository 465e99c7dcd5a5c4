// The operation journal: the step timelines of the last Logic-driving operations,
// kept in a bounded ring in memory, and written to the helper's log as one
// structured record per finished operation (protocol/OperationRecordFormat.h),
// which `marquee trace` reads back.
//
// The service owns one and hands each operation's OperationTrace down through
// LogicDriving. Safe to use from any thread.
#pragma once

#include "logic/JournalEntry.h"
#include "logic/OperationTrace.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::logic {

struct JournalSettings {
    /// Off: no operation is recorded or logged.
    bool enabled { true };
    /// Names and paths the user gave appear in records as they are.
    bool revealNames { false };
    /// Finished operations kept in memory.
    std::size_t capacity { 200 };

    /// The settings of this process: MARQUEE_OPERATION_JOURNAL ("off" turns the
    /// journal off) and MARQUEE_TRACE_NAMES ("1" reveals names), each when set and
    /// not empty, else the keys "operationJournal" and "traceNames" (booleans) of
    /// the configuration file `configurationFile` (when given and readable).
    static JournalSettings load(const std::optional<std::string>& configurationFile);
};

class OperationJournal {
public:
    explicit OperationJournal(JournalSettings settings = {});
    OperationJournal(const OperationJournal&) = delete;
    OperationJournal& operator=(const OperationJournal&) = delete;

    const JournalSettings& settings() const { return m_settings; }

    /// Starts recording `operation`; nothing when the journal is off.
    std::unique_ptr<OperationTrace> begin(std::string_view operation) const;

    /// Ends the recording (nothing for a null trace): the entry goes into the
    /// ring, the oldest leaving it when full, and its record into the log, at
    /// info level, or default when it failed. `error` is the reply's error.
    void finish(std::unique_ptr<OperationTrace> trace, bool ok, const ServiceError* error = nullptr);

    /// The last `count` finished operations, oldest first.
    std::vector<JournalEntry> recent(std::size_t count) const;

private:
    JournalSettings m_settings;
    mutable std::mutex m_mutex;
    std::deque<JournalEntry> m_ring;
    std::uint64_t m_finished { 0 };
};

/// The record of `entry`: one line of JSON (docs/trace.md).
std::string operationRecordJSON(const JournalEntry& entry);

} // namespace mq::logic
