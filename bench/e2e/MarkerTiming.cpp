// Duration of one marker request through real processes (logicsim and
// marquee-helper), against the floor its fixed sleeps set, with Logic's own
// window and commit delays set to 0 so that what is left over is the helper's.
//
// Usage: build/default/bench/e2e/marker_timing [repetitions]
#include "bench/support/ProcessTiming.h"
#include "client/HelperConnection.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

using mq::bench::reportAgainstFloor;
using mq::bench::waitForFile;

int main(int argc, char** argv)
{
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 10;
    char directory[] = "/tmp/mqtiming.XXXXXX";
    if (!mkdtemp(directory))
        return 1;
    std::string runtime = directory;
    pid_t sim = mq::bench::startProcess(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "serve" }, runtime);
    if (!waitForFile(runtime + "/logicsim.sock"))
        return 1;
    pid_t helper = mq::bench::startProcess(MQ_HELPER_EXECUTABLE, { "marquee-helper" }, runtime);
    if (!waitForFile(runtime + "/com.quillmoor.marquee.helper"))
        return 1;
    if (!mq::bench::logicsimControl(MQ_LOGICSIM_EXECUTABLE, runtime, "set-latency", R"({"seed": 1, "windowOpenMs": [0, 0], "commitMs": [0, 0]})")
        || !mq::bench::logicsimControl(MQ_LOGICSIM_EXECUTABLE, runtime, "set-transport", R"({"projectEndSeconds": 90000})"))
        return 1;
    auto connection = mq::client::HelperConnection::connect(runtime + "/com.quillmoor.marquee.helper");
    if (!connection)
        return 1;
    auto& helperConnection = *connection.value();

    // The first marker of the batch reveals the marker track and opens the Colors
    // window; the ones measured reuse both, as every later marker of a batch does.
    double start = 3600.0;
    auto marker = [&](std::int64_t color) {
        start += 2.0;
        auto r = helperConnection.createLogicMarkerWithTimecodeSeconds({ start, 1.0, "Bench", color, 0.0, 25.0, false });
        return r.ok() && std::get<0>(r.value());
    };
    if (!marker(1)) {
        std::fprintf(stderr, "the first marker failed\n");
        return 1;
    }
    auto time = [&](std::int64_t color) {
        std::vector<double> ms;
        for (int i = 0; i < repetitions; ++i) {
            auto begin = Clock::now();
            if (!marker(color)) {
                std::fprintf(stderr, "a marker failed\n");
                std::exit(1);
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        }
        return ms;
    };
    // Floors: 500 ms after the locators, 100 ms inside and 500 ms after the clip-end
    // script, 200 ms after each of the three marker actions; with a colour, 50 ms
    // before and after the click.
    reportAgainstFloor("createLogicMarker, no colour", 500 + 100 + 500 + 3 * 200, time(-1));
    reportAgainstFloor("createLogicMarker, coloured", 500 + 100 + 500 + 3 * 200 + 2 * 50, time(12));
    (void)helperConnection.closeColorsWindowWithReply({});

    connection.value().reset();
    kill(helper, SIGTERM);
    kill(sim, SIGTERM);
    waitpid(helper, nullptr, 0);
    waitpid(sim, nullptr, 0);
    std::filesystem::remove_all(runtime);
    return 0;
}
