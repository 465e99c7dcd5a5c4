// Reading the helper's operation records back from its log: a file that holds
// the helper's standard error, or the systemd journal (protocol/OperationRecordFormat.h).
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mq::client {

struct OperationRecordSearch {
    /// The newest records wanted that `wanted` accepts (all when it is empty).
    std::vector<nlohmann::json> records;
    /// Where the records were looked for, and what was found there, in words:
    /// "the file /tmp/helper.log (12 records)", "the systemd journal, entries of
    /// SYSLOG_IDENTIFIER=marquee-helper (cannot open it: ...)".
    std::string lookedIn;
    /// Whether the log could be read at all.
    bool readable { false };
    /// Records seen in the log, wanted or not.
    std::size_t recordsSeen { 0 };
};

using RecordFilter = std::function<bool(const nlohmann::json& record)>;

/// The newest `count` records that `wanted` accepts, oldest first: from
/// `logFile` when given, else from the systemd journal (entries of the
/// "marquee-helper" identifier, newest first until `count` are found). Lines and
/// entries that hold no record, or one of another format, are skipped.
OperationRecordSearch findOperationRecords(const std::optional<std::string>& logFile, std::size_t count, const RecordFilter& wanted = {});

/// The records of the helper's log lines `lines` (its standard error), oldest first.
std::vector<nlohmann::json> operationRecordsInLines(const std::vector<std::string>& lines);

} // namespace mq::client
