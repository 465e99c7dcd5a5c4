// marquee-osascript: the Linux stand-in for /usr/bin/osascript that the stored
// action runner starts. It reads a stored action script on standard input
// ("marquee-osascript -"), asks logicsim to run the action the script names, and
// exits 0 exactly when logicsim ran it. Like osascript it reports failures on
// standard error and exits 1.
//
// logicsim is found at $XDG_RUNTIME_DIR/logicsim.sock; the conversation is two
// JSON lines of logicsim's client protocol: a hello, and
//   {"id": 1, "op": "logic.runStoredAction", "code": CODE, "application": BUNDLE}
//     ->  {"id": 1, "ran": true|false, ...}
// with "firstRunningOf": [BUNDLE...] instead of "application" when the script
// addresses the first of its list that runs (sim/osascript-standin/StoredActionScript.h).
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimOps.h"
#include "sim/osascript-standin/StoredActionScript.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <vector>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;
namespace field = mq::platform::wire::field;

constexpr std::size_t kMaxScriptBytes = 1 << 20;
constexpr auto kReadTimeout = std::chrono::seconds(10);
constexpr auto kActionTimeout = std::chrono::seconds(10);

int fail(const std::string& message)
{
    std::fprintf(stderr, "marquee-osascript: %s\n", message.c_str());
    return 1;
}

int remainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

/// Reads `fd` to its end; false on error, time-out or a text longer than `limit`.
bool readAll(int fd, std::string& out, std::size_t limit, Clock::time_point deadline)
{
    char buffer[4096];
    for (;;) {
        pollfd p { fd, POLLIN, 0 };
        int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > limit)
            return false;
    }
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

/// The reply line with id 1; anything else logicsim pushes meanwhile is skipped.
std::optional<json> awaitReply(int fd, Clock::time_point deadline)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        for (std::size_t newline; (newline = pending.find('\n')) != std::string::npos;) {
            json message = json::parse(pending.substr(0, newline), nullptr, false);
            pending.erase(0, newline + 1);
            if (message.is_object() && message.value(field::id, std::uint64_t(0)) == 1)
                return message;
        }
        pollfd p { fd, POLLIN, 0 };
        int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::strcmp(argv[1], "-") != 0)
        return fail("usage: marquee-osascript - (the script comes on standard input)");

    std::string script;
    if (!readAll(STDIN_FILENO, script, kMaxScriptBytes, Clock::now() + kReadTimeout))
        return fail("cannot read the script from standard input");
    std::optional<std::uint32_t> code = mq::sim::storedActionCode(script);
    if (!code)
        return fail("-:0: syntax error: not a stored action script (-2741)");
    std::optional<mq::sim::StoredActionAddress> target = mq::sim::storedActionAddress(script);
    if (!target)
        return fail("-:0: syntax error: the script addresses no application (-2741)");

    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (!runtimeDir || !*runtimeDir)
        return fail("XDG_RUNTIME_DIR is not set: cannot reach logicsim");
    std::string socketPath = std::string(runtimeDir) + "/logicsim.sock";
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return fail("logicsim's socket path is too long");
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("cannot connect to logicsim at " + socketPath + ": " + std::strerror(errno));

    json hello { { field::id, 0 }, { field::op, mq::platform::wire::opName(mq::platform::wire::Op::hello) }, { field::role, "client" }, { field::pid, ::getpid() } };
    json request { { field::id, 1 }, { field::op, mq::platform::wire::opName(mq::platform::wire::Op::logicRunStoredAction) }, { field::code, *code } };
    request[target->firstRunningOnly ? "firstRunningOf" : "application"] = target->firstRunningOnly
        ? json(target->bundleIdentifiers)
        : json(target->bundleIdentifiers.front());
    if (!writeAll(fd, hello.dump() + "\n" + request.dump() + "\n"))
        return fail("lost logicsim while sending the action");
    std::optional<json> reply = awaitReply(fd, Clock::now() + kActionTimeout);
    ::close(fd);
    if (!reply)
        return fail("logicsim did not answer the action " + std::to_string(*code));
    if (reply->value("ran", false))
        return 0;
    std::string reason = reply->contains("reason") && (*reply)["reason"].is_string() ? (*reply)["reason"].get<std::string>()
        : reply->contains("error") && (*reply)["error"].is_string()                 ? (*reply)["error"].get<std::string>()
                                                                                     : std::string("not run");
    return fail("action " + std::to_string(*code) + ": " + reason);
}
