#include "client/OperationRecordLog.h"

#include "protocol/OperationRecordFormat.h"

#include <systemd/sd-journal.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>

namespace mq::client {

namespace {

/// The record in `message`, when it holds one of the format this reader knows.
std::optional<nlohmann::json> parseRecord(std::string_view message)
{
    std::optional<std::string_view> text = operationrecord::recordJSON(message);
    if (!text)
        return std::nullopt;
    nlohmann::json record = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
    if (!record.is_object() || record.value("format", 0) != operationrecord::kFormatVersion || !record.contains("steps"))
        return std::nullopt;
    return record;
}

std::string recordsWord(std::size_t count) { return std::to_string(count) + (count == 1 ? " record" : " records"); }

/// Takes the record of each message it is shown when `wanted` accepts it, and
/// counts every record seen.
struct Collector {
    const RecordFilter& wanted;
    OperationRecordSearch& search;

    /// The record `message` holds, when it is wanted.
    std::optional<nlohmann::json> take(std::string_view message)
    {
        std::optional<nlohmann::json> record = parseRecord(message);
        if (!record)
            return std::nullopt;
        ++search.recordsSeen;
        if (wanted && !wanted(*record))
            return std::nullopt;
        return record;
    }
};

OperationRecordSearch searchFile(const std::string& path, std::size_t count, const RecordFilter& wanted)
{
    OperationRecordSearch search;
    std::ifstream file(path);
    if (!file) {
        search.lookedIn = "the file " + path + " (cannot read it: " + std::strerror(errno) + ")";
        return search;
    }
    search.readable = true;
    Collector collector { wanted, search };
    std::deque<nlohmann::json> newest;
    for (std::string line; std::getline(file, line);) {
        std::optional<nlohmann::json> record = collector.take(line);
        if (!record)
            continue;
        newest.push_back(std::move(*record));
        if (newest.size() > count)
            newest.pop_front();
    }
    search.records.assign(std::make_move_iterator(newest.begin()), std::make_move_iterator(newest.end()));
    search.lookedIn = "the file " + path + " (" + recordsWord(search.recordsSeen) + ")";
    return search;
}

OperationRecordSearch searchJournal(std::size_t count, const RecordFilter& wanted)
{
    OperationRecordSearch search;
    const std::string where = "the systemd journal, entries of SYSLOG_IDENTIFIER=" + std::string(operationrecord::kSyslogIdentifier);
    sd_journal* journal = nullptr;
    if (int status = sd_journal_open(&journal, SD_JOURNAL_LOCAL_ONLY); status < 0) {
        search.lookedIn = where + " (cannot open it: " + std::strerror(-status) + ")";
        return search;
    }
    std::string identifier = "SYSLOG_IDENTIFIER=" + std::string(operationrecord::kSyslogIdentifier);
    std::string category = "CATEGORY=" + std::string(operationrecord::kCategory);
    sd_journal_add_match(journal, identifier.data(), identifier.size());
    sd_journal_add_match(journal, category.data(), category.size());
    search.readable = true;
    Collector collector { wanted, search };
    std::vector<nlohmann::json> newestFirst;
    SD_JOURNAL_FOREACH_BACKWARDS(journal)
    {
        const void* data = nullptr;
        std::size_t length = 0;
        if (sd_journal_get_data(journal, "MESSAGE", &data, &length) < 0)
            continue;
        std::string_view field(static_cast<const char*>(data), length);
        field.remove_prefix(std::min(field.size(), std::string_view("MESSAGE=").size()));
        std::optional<nlohmann::json> record = collector.take(field);
        if (!record)
            continue;
        newestFirst.push_back(std::move(*record));
        if (newestFirst.size() == count)
            break;
    }
    sd_journal_close(journal);
    search.records.assign(std::make_move_iterator(newestFirst.rbegin()), std::make_move_iterator(newestFirst.rend()));
    search.lookedIn = where + " (" + recordsWord(search.recordsSeen) + " read)";
    return search;
}

} // namespace

OperationRecordSearch findOperationRecords(const std::optional<std::string>& logFile, std::size_t count, const RecordFilter& wanted)
{
    return logFile ? searchFile(*logFile, count, wanted) : searchJournal(count, wanted);
}

std::vector<nlohmann::json> operationRecordsInLines(const std::vector<std::string>& lines)
{
    std::vector<nlohmann::json> records;
    for (const std::string& line : lines)
        if (std::optional<nlohmann::json> record = parseRecord(line))
            records.push_back(std::move(*record));
    return records;
}

} // namespace mq::client
