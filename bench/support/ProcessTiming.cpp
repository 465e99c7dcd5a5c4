#include "bench/support/ProcessTiming.h"

#include "bench/support/StepExcess.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace mq::bench {

pid_t startProcess(const char* path, std::vector<const char*> argv, const std::string& runtime, const std::string& standardErrorFile,
    const std::vector<std::string>& environment)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        for (const std::string& variable : environment)
            ::putenv(const_cast<char*>(variable.c_str()));
        const char* errors = standardErrorFile.empty() ? "/dev/null" : standardErrorFile.c_str();
        if (!std::freopen(errors, "w", stderr) || !std::freopen("/dev/null", "w", stdout))
            ::_exit(126);
        argv.push_back(nullptr);
        ::execv(path, const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    return pid;
}

std::optional<std::string> latencyProfile()
{
    const char* named = std::getenv("LOGICSIM_LATENCY_PROFILE");
    if (!named || !*named)
        return std::nullopt;
    std::printf("logicsim latency profile: %s (Logic's own delays included above the floors)\n", named);
    return std::string(named);
}

bool waitForFile(const std::string& path)
{
    for (int i = 0; i < 500; ++i) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool logicsimControl(const char* logicsimPath, const std::string& runtime, const char* command, const std::string& args)
{
    pid_t pid = startProcess(logicsimPath, { "logicsim", "ctl", command, args.c_str() }, runtime);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TimingSession::TimingSession(const char* logicsimPath, const char* helperPath, const std::vector<std::string>& helperEnvironment,
    const TimingSession* sharedLogic)
    : m_logicsimPath(logicsimPath)
{
    char directory[] = "/tmp/mqtiming.XXXXXX";
    if (!::mkdtemp(directory))
        return;
    m_runtime = directory;
    if (sharedLogic) {
        // The helper and its interpreter find logicsim by this name in their runtime directory.
        std::error_code error;
        std::filesystem::create_symlink(sharedLogic->runtime() + "/logicsim.sock", m_runtime + "/logicsim.sock", error);
        if (error)
            return;
    } else {
        m_logicsim = startProcess(logicsimPath, { "logicsim", "serve" }, m_runtime);
        if (m_logicsim < 0 || !waitForFile(m_runtime + "/logicsim.sock"))
            return;
    }
    m_helper = startProcess(helperPath, { "marquee-helper" }, m_runtime, helperLog(), helperEnvironment);
    m_started = m_helper > 0 && waitForFile(helperSocket());
}

TimingSession::~TimingSession()
{
    for (pid_t pid : { m_helper, m_logicsim }) {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    if (!m_runtime.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_runtime, ignored);
    }
}

void reportAgainstFloor(const char* name, double floorMs, std::vector<double> ms, const std::vector<nlohmann::json>& records)
{
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    double p90 = ms[static_cast<std::size_t>(0.9 * static_cast<double>(ms.size() - 1))];
    std::printf("%-36s floor %7.1f ms   median %7.1f ms (+%6.1f)   p90 %7.1f ms (+%6.1f)\n", name, floorMs, median, median - floorMs, p90,
        p90 - floorMs);
    if (std::string steps = stepExcessLine(records); !steps.empty())
        std::printf("%s\n", steps.c_str());
}

} // namespace mq::bench
