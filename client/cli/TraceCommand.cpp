// `marquee trace`: the step timelines of the helper's last Logic-driving
// operations, read back from its log (the systemd journal, or a file that holds
// its standard error) and drawn as timelines, or printed as their JSON records.
#include "client/cli/Commands.h"
#include "client/cli/Output.h"
#include "client/cli/TraceTimeline.h"

#include "client/OperationRecordLog.h"

#include <CLI/CLI.hpp>

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

namespace mq::cli {

namespace {

struct TraceOptions {
    std::size_t last { 1 };
    bool failedOnly { false };
    bool details { false };
    std::string logFile;
};

/// The file named by --log, else by MARQUEE_HELPER_LOG; nothing means the journal.
std::optional<std::string> logFileOf(const TraceOptions& options)
{
    if (!options.logFile.empty())
        return options.logFile;
    if (const char* file = std::getenv("MARQUEE_HELPER_LOG"); file && *file)
        return std::string(file);
    return std::nullopt;
}

int terminalWidth()
{
    winsize size {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 40)
        return size.ws_col;
    return 100;
}

} // namespace

void addTraceCommand(CLI::App& app)
{
    auto common = commonOptionsFor("trace");
    auto options = std::make_shared<TraceOptions>();
    auto* command = app.add_subcommand("trace",
        "the step timelines of the helper's last Logic-driving operations, read from its log (the systemd journal, "
        "or the file of --log or MARQUEE_HELPER_LOG that holds its standard error)");
    command->add_option("--last", options->last, "how many operations, the newest last")->check(CLI::Range(std::size_t { 1 }, std::size_t { 10000 }));
    command->add_flag("--failed", options->failedOnly, "only operations that failed");
    command->add_flag("--details", options->details, "what every step waited for, found and sent (else only the failed step's)");
    command->add_option("--log", options->logFile, "a file holding the helper's standard error, instead of the journal")->type_name("FILE");
    addJSONFlag(command, common);
    command->callback([common, options] {
        client::RecordFilter failed = [](const nlohmann::json& record) { return !record.value("ok", true); };
        client::OperationRecordSearch search
            = client::findOperationRecords(logFileOf(*options), options->last, options->failedOnly ? failed : client::RecordFilter {});
        const std::string hint = "; give the file that holds the helper's standard error with --log FILE or MARQUEE_HELPER_LOG";
        if (!search.readable)
            exitForFailure(*common, "cannot read the helper's log: looked in " + search.lookedIn + hint);
        if (search.recordsSeen == 0)
            exitForFailure(*common, "no operation records: looked in " + search.lookedIn + hint);
        if (common->json) {
            printJSONReply(*common, { { "source", search.lookedIn }, { "operations", search.records } });
            return;
        }
        if (search.records.empty()) {
            std::cout << "no failed operation among the records in " << search.lookedIn << "\n";
            return;
        }
        TimelineStyle style;
        style.colour = ::isatty(STDOUT_FILENO) && !std::getenv("NO_COLOR");
        style.width = terminalWidth();
        style.details = options->details;
        std::cout << "▓ wait   ░ fixed sleep   █ action, send, read, check   ─ group   ✗ the failed step\n";
        for (const nlohmann::json& record : search.records)
            std::cout << "\n" << drawTimeline(record, style);
    });
}

} // namespace mq::cli
