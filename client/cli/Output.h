// What the marquee tool's subcommands share: the --json and --timeout-ms options,
// connecting to the helper, printing replies, and the exit statuses.
#pragma once

#include "app/ipc/protocol/WireValue.h"
#include "client/HelperConnection.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace mq::cli {

inline constexpr int kExitFailureReply = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnreachable = 3;
inline constexpr int kExitNoReply = 4;

struct CommonOptionValues {
    bool json { false };
    long timeoutMilliseconds { 30000 };
    std::chrono::milliseconds timeout() const { return std::chrono::milliseconds(timeoutMilliseconds); }
};
using CommonOptions = std::shared_ptr<CommonOptionValues>;

/// Adds --json and --timeout-ms to `command`.
void add(CLI::App* command, const CommonOptions& common);

/// Connects to the helper, or prints why not and exits with kExitUnreachable.
std::unique_ptr<client::HelperConnection> connectOrExit(const CommonOptionValues& common);

/// Prints `error` and exits with kExitUnreachable or kExitNoReply.
[[noreturn]] void exitForClientError(const client::ClientError& error);

/// Prints a reply as "name: value" lines or as one JSON object, and returns the
/// exit status: kExitFailureReply when a value named "ok" is false or an error
/// object is present, else 0.
int printReply(std::string_view selector, const std::vector<std::string>& names, const std::vector<WireValue>& values, bool json);

/// A value as readable text.
std::string describe(const WireValue& value);

} // namespace mq::cli
