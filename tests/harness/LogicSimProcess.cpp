#include "tests/harness/LogicSimProcess.h"

#include "platform/linux/LogicSimOps.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

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
