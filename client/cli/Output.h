// What the marquee tool's commands share: the --json and --timeout-ms options,
// connecting to the helper, printing replies and failures, and the exit statuses.
//
// With --json every command prints JSON objects of one shape, one per line:
//   {"ok": true,  "command": "goto", "reply": {...}}
//   {"ok": false, "command": "goto", "error": {"kind": "...", "message": "...", "reply": {...}?}}
// where "kind" is "usage", "failed" (the helper answered with a failure),
// "not-running" or "no-reply". Commands that follow something live (scrub, watch,
// bounce run) print one such line per event.
#pragma once

#include "marquee/WireValue.h"
#include "marquee/HelperConnection.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace mq::cli {

// The exit statuses; README.md's table lists them and tests/cli pins both.
inline constexpr int kExitFailureReply = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnreachable = 3;
inline constexpr int kExitNoReply = 4;

struct CommonOptionValues {
    /// The command as typed after "marquee" ("goto", "bounce run", "call run-action-with-code").
    std::string command;
    bool json { false };
    long timeoutMilliseconds { 30000 };
    std::chrono::milliseconds timeout() const { return std::chrono::milliseconds(timeoutMilliseconds); }
};
using CommonOptions = std::shared_ptr<CommonOptionValues>;

/// The common options of command `name`, before they are added to it.
CommonOptions commonOptionsFor(std::string name);

/// Adds --json and --timeout-ms to `command`.
void add(CLI::App* command, const CommonOptions& common);
/// Adds --json alone (commands that ask no single request).
void addJSONFlag(CLI::App* command, const CommonOptions& common);

/// Connects to the helper, or says why not (and how to start it) and exits with kExitUnreachable.
std::unique_ptr<client::HelperConnection> connectOrExit(const CommonOptionValues& common);

/// Reports `error` and exits with kExitUnreachable or kExitNoReply.
[[noreturn]] void exitForClientError(const CommonOptionValues& common, const client::ClientError& error);

/// Reports a usage error found after parsing (a value out of range, an unreadable
/// file) and exits with kExitUsage.
[[noreturn]] void exitForUsage(const CommonOptionValues& common, const std::string& message);

/// Reports a failure and exits with kExitFailureReply; `reply` goes with it in JSON.
[[noreturn]] void exitForFailure(const CommonOptionValues& common, const std::string& message,
    nlohmann::json reply = nullptr);

/// Prints one successful result: the JSON line, or nothing in text mode.
void printJSONReply(const CommonOptionValues& common, nlohmann::json reply);

/// Prints a reply as "name: value" lines or as one JSON line. A false value named
/// "ok" or an error object makes it a failure: the status is then kExitFailureReply.
int printReply(const CommonOptionValues& common, const std::vector<std::string>& names, const std::vector<WireValue>& values);

/// Calls `Request`, prints its reply and exits with the reply's status when it failed.
template<typename Request>
void callAndPrint(client::HelperConnection& connection, const CommonOptionValues& common, typename Request::Arguments arguments);

/// Whether progress may be drawn: standard error is a terminal and no JSON is asked for.
bool progressWanted(const CommonOptionValues& common);

/// A value as readable text, and as JSON.
std::string describe(const WireValue& value);
nlohmann::json toJSON(const WireValue& value);

/// Throws the exit status through CLI11, so that main() returns it.
[[noreturn]] void exitWith(int status);

template<typename Request>
void callAndPrint(client::HelperConnection& connection, const CommonOptionValues& common, typename Request::Arguments arguments)
{
    auto result = connection.template call<Request>(std::move(arguments), common.timeout());
    if (!result)
        exitForClientError(common, result.error());
    int status = printReply(common, protocol::parameterNames(Request::replyText), ipc::encodeTuple(std::move(result.value())));
    if (status != 0)
        exitWith(status);
}

} // namespace mq::cli
