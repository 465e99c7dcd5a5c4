// Duration of each Go to Position operation through real processes (logicsim and
// marquee-helper), against its floor: the fixed sleeps and typing of the operation
// plus logicsim's user-interface latencies, which this run fixes (the dialog shows
// kWindowOpenMs after the command that opens it; a typed value takes effect
// kCommitMs after Tab, within the operation's own settle pause).
//
// Usage: [LOGICSIM_LATENCY_PROFILE=slow] build/default/bench/e2e/go_to_position_timing [repetitions]
#include "bench/support/SocketFloor.h"
#include "bench/support/ProcessTiming.h"
#include "bench/support/StepExcess.h"
#include "marquee/HelperConnection.h"

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

using mq::bench::reportAgainstFloor;
using mq::bench::waitForFile;

namespace {

constexpr int kWindowOpenMs = 100;
constexpr int kCommitMs = 30;

} // namespace

int main(int argc, char** argv)
{
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 15;
    char directory[] = "/tmp/mqtiming.XXXXXX";
    if (!mkdtemp(directory))
        return 1;
    std::string runtime = directory;
    pid_t sim = mq::bench::startProcess(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "serve" }, runtime);
    if (!waitForFile(runtime + "/logicsim.sock"))
        return 1;
    std::optional<std::string> profile = mq::bench::latencyProfile();
    std::string latency = profile ? "{\"seed\": 1, \"profile\": \"" + *profile + "\"}"
                                  : "{\"seed\": 1, \"windowOpenMs\": " + std::to_string(kWindowOpenMs) + ", \"commitMs\": "
            + std::to_string(kCommitMs) + ", \"accessibilityCallMs\": 0}";
    pid_t control = mq::bench::startProcess(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "ctl", "set-latency", latency.c_str() }, runtime);
    int controlStatus = 0;
    if (waitpid(control, &controlStatus, 0) != control || !WIFEXITED(controlStatus) || WEXITSTATUS(controlStatus) != 0) {
        std::fprintf(stderr, "logicsim ctl set-latency failed\n");
        return 1;
    }
    std::printf("logicsim latencies: window open %d ms, commit %d ms; load average %s\n", kWindowOpenMs, kCommitMs,
        mq::bench::loadAverage().c_str());
    const std::string helperLog = runtime + "/helper.log";
    pid_t helper = mq::bench::startProcess(MQ_HELPER_EXECUTABLE, { "marquee-helper" }, runtime, helperLog);
    auto records = [&](const char* operation) { return mq::bench::newestRecords(helperLog, operation, static_cast<std::size_t>(repetitions)); };
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

    // Floors: the dialog's latency, and the fixed sleeps and typing of each
    // operation. Reading has none; bar 1 sleeps 50 ms; a move presses Tab twice
    // (2 ms each), sleeps 60 and 500 ms and types 11 characters at 6 ms each (the
    // commit after the second Tab falls within the 500 ms).
    std::vector<double> read = time([&] {
        auto r = helperConnection.readLogicPlayheadSMPTEWithFrameRate({ 25.0, false });
        return r.hasValue() && std::get<1>(r.value());
    });
    reportAgainstFloor("readLogicPlayheadSMPTE", kWindowOpenMs, read, records("readLogicPlayheadSMPTE"));
    std::vector<double> start = time([&] {
        auto r = helperConnection.readLogicProjectStartSMPTEWithFrameRate({ 25.0, false });
        return r.hasValue() && std::get<3>(r.value());
    });
    reportAgainstFloor("readLogicProjectStartSMPTE", kWindowOpenMs + 50.0, start, records("readLogicProjectStartSMPTE"));
    double target = 3600.0;
    std::vector<double> move = time([&] {
        target += 1.0;
        auto r = helperConnection.goToLogicPlayheadSMPTESeconds({ target, 25.0, false });
        return r.hasValue() && std::get<2>(r.value());
    });
    reportAgainstFloor("goToLogicPlayheadSMPTESeconds", kWindowOpenMs + 2 + 60 + 11 * 6 + 2 + 500, move, records("goToLogicPlayheadSMPTESeconds"));

    // With Logic gone, a read fails at once instead of waiting out the dialog's 2 s.
    pid_t quit = mq::bench::startProcess(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "ctl", "quit", R"({"app":"logic"})" }, runtime);
    int quitStatus = 0;
    if (waitpid(quit, &quitStatus, 0) != quit || !WIFEXITED(quitStatus) || WEXITSTATUS(quitStatus) != 0)
        return 1;
    reportAgainstFloor("readLogicPlayheadSMPTE, no Logic", 0.0, time([&] {
        auto r = helperConnection.readLogicPlayheadSMPTEWithFrameRate({ 25.0, false });
        return r.hasValue() && !std::get<1>(r.value());
    }));

    connection.value().reset();
    kill(helper, SIGTERM);
    kill(sim, SIGTERM);
    waitpid(helper, nullptr, 0);
    waitpid(sim, nullptr, 0);
    std::filesystem::remove_all(runtime);
    return 0;
}
