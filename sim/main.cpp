// logicsim: the stand-in for Logic Pro, "System Events" and the desktop that the
// helper drives on Linux.
//
//   logicsim serve [--scenario FILE] [--socket PATH]
//   logicsim ctl COMMAND [JSON-ARGS] [--socket PATH]
//   logicsim ctl snapshot FILE.png [--diff BEFORE.json] [--state AFTER.json]
#include "platform/Log.h"
#include "platform/linux/LogicSimWire.h"
#include "sim/Simulator.h"
#include "sim/Server.h"
#include "sim/snapshot/Snapshot.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace mq::sim {
extern const char* const kDefaultScenario;
}

namespace {

using nlohmann::json;

std::string resolveSocket(const std::string& option)
{
    if (!option.empty())
        return option;
    auto path = mq::platform::wire::defaultSocketPath();
    if (!path)
        throw std::runtime_error("XDG_RUNTIME_DIR is not set; pass --socket");
    return *path;
}

int serve(const std::string& scenarioFile, const std::string& socketOption)
{
    mq::sim::Simulator model;
    if (scenarioFile.empty()) {
        model.load(json::parse(mq::sim::kDefaultScenario));
    } else {
        std::ifstream in(scenarioFile);
        if (!in)
            throw std::runtime_error("cannot read scenario " + scenarioFile);
        model.load(json::parse(in));
    }
    mq::sim::Server server(model, resolveSocket(socketOption));
    server.run();
    return 0;
}

// Sends one control command and returns the reply without its id; nothing when
// logicsim cannot be reached or does not answer (said on standard error).
// Bounded: 5 s in all.
std::optional<json> requestControl(const std::string& command, const json& args, const std::string& socketOption)
{
    std::string path = resolveSocket(socketOption);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::cerr << "logicsim ctl: cannot connect to " << path << ": " << std::strerror(errno) << "\n";
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    std::string line = json { { "id", 1 }, { "op", mq::platform::wire::opName(mq::platform::wire::Op::control) }, { "command", command }, { "args", args } }.dump() + "\n";
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        std::cerr << "logicsim ctl: send failed\n";
        ::close(fd);
        return std::nullopt;
    }
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (received.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd p { fd, POLLIN, 0 };
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
            std::cerr << "logicsim ctl: no reply within 5 s\n";
            ::close(fd);
            return std::nullopt;
        }
        char buffer[65536];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            std::cerr << "logicsim ctl: connection closed\n";
            ::close(fd);
            return std::nullopt;
        }
        received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    json reply = json::parse(received.substr(0, received.find('\n')));
    reply.erase("id");
    return reply;
}

/// A state report read from `path` (as `logicsim ctl state > FILE` writes it).
std::optional<json> readStateFile(const std::string& path)
{
    std::ifstream in(path);
    if (!in) {
        std::cerr << "logicsim ctl snapshot: cannot read " << path << "\n";
        return std::nullopt;
    }
    json state = json::parse(in, nullptr, false);
    if (!state.is_object()) {
        std::cerr << "logicsim ctl snapshot: " << path << " is not a state report (a JSON object)\n";
        return std::nullopt;
    }
    return state;
}

/// What `snapshot` draws: the running world's state, or a saved one, and what
/// it compares it with.
struct SnapshotSources {
    std::string stateFile;
    std::string beforeFile;
};

// Runs one control command and prints its reply. `snapshot FILE.png` is done
// here, on the control side: it reads the world's state (or a saved state
// report) and draws it, marking the changes since `--diff BEFORE.json`.
int control(const std::string& command, const std::string& argsText, const std::string& socketOption, const SnapshotSources& sources)
{
    bool snapshot = command == "snapshot";
    if (snapshot && argsText.empty()) {
        std::cerr << "logicsim ctl snapshot: give the PNG file to write\n";
        return 2;
    }
    if (!snapshot && (!sources.stateFile.empty() || !sources.beforeFile.empty())) {
        std::cerr << "logicsim ctl " << command << ": --state and --diff are for snapshot only\n";
        return 2;
    }
    std::optional<json> before;
    if (!sources.beforeFile.empty() && !(before = readStateFile(sources.beforeFile)))
        return 2;
    std::optional<json> reply;
    if (snapshot && !sources.stateFile.empty()) {
        if (!(reply = readStateFile(sources.stateFile)))
            return 2;
    } else {
        json args = snapshot || argsText.empty() ? json::object() : json::parse(argsText);
        reply = requestControl(snapshot ? "state" : command, args, socketOption);
    }
    if (!reply)
        return 2;
    if (reply->contains("error")) {
        std::cerr << "logicsim ctl " << command << ": " << (*reply)["error"].get<std::string>() << "\n";
        return 1;
    }
    if (snapshot) {
        if (auto failure = mq::sim::writeSnapshot(*reply, argsText, before ? &*before : nullptr)) {
            std::cerr << "logicsim ctl snapshot: " << *failure << "\n";
            return 1;
        }
        std::cout << json { { "ok", true }, { "file", argsText } }.dump(2) << "\n";
        return 0;
    }
    std::cout << reply->dump(2) << "\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    mq::log::forceStandardError();
    CLI::App app { "logicsim: a simulator of Logic Pro and the desktop around it" };
    app.require_subcommand(1);
    std::string socketOption;
    app.add_option("--socket", socketOption, "socket path (default $XDG_RUNTIME_DIR/logicsim.sock)");

    std::string scenarioFile;
    auto* serveCommand = app.add_subcommand("serve", "serve a scenario on the socket");
    serveCommand->add_option("--scenario", scenarioFile, "scenario JSON file (default: the built-in default scenario)");

    std::string command, argsText;
    auto* ctlCommand = app.add_subcommand("ctl", "send one control command (see sim/README.md)");
    ctlCommand->add_option("command", command, "control command")->required();
    ctlCommand->add_option("args", argsText, "arguments as one JSON object (for snapshot: the PNG file to write)");
    SnapshotSources sources;
    ctlCommand->add_option("--diff", sources.beforeFile, "snapshot: mark what changed since this state report (logicsim ctl state > FILE)");
    ctlCommand->add_option("--state", sources.stateFile, "snapshot: draw this state report instead of the running logicsim's");

    CLI11_PARSE(app, argc, argv);
    try {
        if (*serveCommand)
            return serve(scenarioFile, socketOption);
        return control(command, argsText, socketOption, sources);
    } catch (const std::exception& e) {
        std::cerr << "logicsim: " << e.what() << "\n";
        return 1;
    }
}
