#include "tests/harness/LogicSimProcess.h"

#include "platform/linux/LogicSimOps.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <stdexcept>
#include <vector>

namespace mq::test {

using namespace std::chrono_literals;

std::string logicSimExecutablePath()
{
    return MQ_LOGICSIM_EXECUTABLE;
}

LogicSimProcess::LogicSimProcess(const TempRuntimeDir& runtimeDir, std::optional<std::string> scenarioFile)
    : m_socketPath(runtimeDir.file("logicsim.sock"))
{
    std::vector<std::string> argv { logicSimExecutablePath(), "serve" };
    if (scenarioFile) {
        argv.push_back("--scenario");
        argv.push_back(*scenarioFile);
    }
    m_process = std::make_unique<ChildProcess>(argv, ChildProcess::Environment { { "XDG_RUNTIME_DIR", runtimeDir.path() } });
    if (!m_process->waitForLine("listening on", 5s))
        throw std::runtime_error("logicsim did not start listening");
}

LogicSimProcess::~LogicSimProcess()
{
    if (m_process->waitForExit(0ms))
        return;
    m_process->sendSignal(SIGCONT);
    expectInputStayedInLogic();
    m_process->sendSignal(SIGTERM);
    if (!m_process->waitForExit(3s))
        m_process->sendSignal(SIGKILL);
}

nlohmann::json logicSimControl(const std::string& socketPath, const std::string& command, const nlohmann::json& args)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return { { "error", "cannot connect to logicsim" } };
    }
    std::string line = nlohmann::json { { "id", 1 }, { "op", mq::platform::wire::opName(mq::platform::wire::Op::control) }, { "command", command }, { "args", args } }.dump() + "\n";
    [[maybe_unused]] auto sent = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (received.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[65536];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    auto end = received.find('\n');
    if (end == std::string::npos)
        return { { "error", "no reply from logicsim" } };
    return nlohmann::json::parse(received.substr(0, end));
}

void LogicSimProcess::expectInputStayedInLogic() const
{
    if (m_expectKeyCommands && m_expectInputOutsideLogic)
        return;
    auto state = ctlRaw("state", { { "only", { "bundleIdentifiers", "keyEvents", "mouseEvents", "events" } } });
    if (state.contains("error")) {
        ADD_FAILURE() << "cannot read logicsim's state to check where the input went: " << state["error"].dump();
        return;
    }
    std::set<std::string> logic;
    for (const auto& [key, bundle] : state["bundleIdentifiers"].items())
        if (bundle == "com.apple.logic10" || bundle == "com.apple.mobilelogic")
            logic.insert(key);
    // Where an event went is outside Logic when nobody of Logic's received it:
    // another application, a client in front, the Dock, the desktop, or a menu.
    auto outside = [&](const nlohmann::json& event) {
        const auto& app = event["app"];
        if (app.is_null())
            return false;
        return !app.is_string() || !logic.contains(app.get<std::string>()) || event["window"] == "menu bar" || event["window"] == "desktop";
    };
    std::vector<std::string> faults;
    if (!m_expectInputOutsideLogic) {
        for (const auto& key : state["keyEvents"])
            if (key.value("keyDown", false) && outside(key))
                faults.push_back("a key reached " + key["app"].dump() + " (window " + key["window"].dump() + "): " + key.dump());
        for (const auto& click : state["mouseEvents"])
            if (click.value("type", "") != "mouseMoved" && outside(click))
                faults.push_back("a click reached " + click["app"].dump() + " (" + click["window"].dump() + "): " + click.dump());
    }
    if (!m_expectKeyCommands)
        for (const auto& event : state["events"])
            if (event.value("type", "") == "keyCommand")
                faults.push_back("Logic ran a key command: " + event.dump());
    constexpr std::size_t kShown = 8;
    std::string listed;
    for (std::size_t i = 0; i < faults.size() && i < kShown; ++i)
        listed += "\n  " + faults[i];
    if (faults.size() > kShown)
        listed += "\n  ... and " + std::to_string(faults.size() - kShown) + " more";
    EXPECT_TRUE(faults.empty()) << "input left Logic's dialogs (" << faults.size() << "):" << listed;
}

nlohmann::json LogicSimProcess::ctlRaw(const std::string& command, const nlohmann::json& args) const
{
    return logicSimControl(m_socketPath, command, args);
}

nlohmann::json LogicSimProcess::ctl(const std::string& command, const nlohmann::json& args) const
{
    auto reply = ctlRaw(command, args);
    if (reply.contains("error"))
        ADD_FAILURE() << "logicsim ctl " << command << " " << args.dump() << ": " << reply["error"].dump();
    return reply;
}

} // namespace mq::test
