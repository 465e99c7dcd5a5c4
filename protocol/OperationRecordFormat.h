// How the helper's operation records travel in its log, for the helper that
// writes them and the tools that read them back (`marquee trace`, bench/e2e).
//
// A record is one log message of the "helper.service" category: the prefix
// below, then one JSON object on one line (docs/trace.md describes its fields).
// Under systemd the message is the journal entry's MESSAGE, with
// SYSLOG_IDENTIFIER "marquee-helper" and CATEGORY "helper.service"; on standard
// error the line reads "[helper.service] info: trace: {...}" (or "default:" for
// an operation that failed).
#pragma once

#include <optional>
#include <string_view>

namespace mq::operationrecord {

inline constexpr std::string_view kCategory = "helper.service";
inline constexpr std::string_view kMessagePrefix = "trace: ";
inline constexpr std::string_view kSyslogIdentifier = "marquee-helper";
/// The record's "format" value; a reader skips records of another.
inline constexpr int kFormatVersion = 1;

/// The JSON text of a record in `message` (a journal MESSAGE, or a whole line
/// of the helper's standard error); nothing when it holds no record.
inline std::optional<std::string_view> recordJSON(std::string_view message)
{
    std::string_view prefix = kMessagePrefix;
    std::size_t at = message.find(prefix);
    if (at == std::string_view::npos)
        return std::nullopt;
    // On standard error the category comes first: "[helper.service] level: trace: ".
    if (at != 0 && !(message.starts_with('[') && message.substr(1).starts_with(kCategory) && message.substr(1 + kCategory.size()).starts_with("] ")))
        return std::nullopt;
    std::string_view json = message.substr(at + prefix.size());
    if (!json.starts_with('{'))
        return std::nullopt;
    return json;
}

} // namespace mq::operationrecord
