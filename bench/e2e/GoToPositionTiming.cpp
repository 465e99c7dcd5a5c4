// Duration of each Go to Position operation through real processes (logicsim and
// marquee-helper), against the floor its fixed sleeps and typing set.
//
// Usage: build/default/bench/e2e/go_to_position_timing [repetitions]
#include "client/HelperConnection.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

pid_t start(const char* path, std::vector<const char*> argv, const std::string& runtime)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        if (!freopen("/dev/null", "w", stderr) || !freopen("/dev/null", "w", stdout))
            _exit(126);
        argv.push_back(nullptr);
        execv(path, const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    return pid;
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

void report(const char* name, double floorMs, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    double p90 = ms[static_cast<std::size_t>(0.9 * static_cast<double>(ms.size() - 1))];
    std::printf("%-32s floor %6.1f ms   median %6.1f ms (+%5.1f)   p90 %6.1f ms (+%5.1f)\n", name, floorMs, median, median - floorMs, p90,
        p90 - floorMs);
}

} // namespace

int main(int argc, char** argv)
{
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 15;
    char directory[] = "/tmp/mqtiming.XXXXXX";
    if (!mkdtemp(directory))
        return 1;
    std::string runtime = directory;
    pid_t sim = start(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "serve" }, runtime);
    if (!waitForFile(runtime + "/logicsim.sock"))
        return 1;
    pid_t helper = start(MQ_HELPER_EXECUTABLE, { "marquee-helper" }, runtime);
    if (!waitForFile(runtime + "/com.quillmoor.marquee.helper"))
        return 1;
    auto connection = mq::client::HelperConnection::connect(runtime + "/com.quillmoor.marquee.helper");
    if (!connection)
        return 1;
    auto& helperConnection = *connection.value();

    auto time = [&](const std::function<bool()>& operation) {
        std::vector<double> ms;
        for (int i = 0; i < repetitions; ++i) {
            auto begin = Clock::now();
            if (!operation()) {
                std::fprintf(stderr, "operation failed\n");
                std::exit(1);
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        }
        return ms;
    };

    // Floors: the fixed sleeps and typing of each operation. Reading has none; bar 1
    // sleeps 50 ms; a move presses Tab twice (2 ms each), sleeps 60 and 500 ms and
    // types 11 characters at 6 ms each.
    report("readLogicPlayheadSMPTE", 0.0, time([&] {
        auto r = helperConnection.readLogicPlayheadSMPTEWithFrameRate({ 25.0, false });
        return r.ok() && std::get<1>(r.value());
    }));
    report("readLogicProjectStartSMPTE", 50.0, time([&] {
        auto r = helperConnection.readLogicProjectStartSMPTEWithFrameRate({ 25.0, false });
        return r.ok() && std::get<3>(r.value());
    }));
    double target = 3600.0;
    report("goToLogicPlayheadSMPTESeconds", 2 + 60 + 11 * 6 + 2 + 500, time([&] {
        target += 1.0;
        auto r = helperConnection.goToLogicPlayheadSMPTESeconds({ target, 25.0, false });
        return r.ok() && std::get<2>(r.value());
    }));

    // With Logic gone, a read fails at once instead of waiting out the dialog's 2 s.
    pid_t quit = start(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "ctl", "quit", R"({"app":"logic"})" }, runtime);
    int quitStatus = 0;
    if (waitpid(quit, &quitStatus, 0) != quit || !WIFEXITED(quitStatus) || WEXITSTATUS(quitStatus) != 0)
        return 1;
    report("readLogicPlayheadSMPTE, no Logic", 0.0, time([&] {
        auto r = helperConnection.readLogicPlayheadSMPTEWithFrameRate({ 25.0, false });
        return r.ok() && !std::get<1>(r.value());
    }));

    connection.value().reset();
    kill(helper, SIGTERM);
    kill(sim, SIGTERM);
    waitpid(helper, nullptr, 0);
    waitpid(sim, nullptr, 0);
    std::filesystem::remove_all(runtime);
    return 0;
}
