// Duration of one marker request through real processes (logicsim and
// marquee-helper), against the floor its fixed sleeps set, with Logic's own
// window and commit delays set to 0 so that what is left over is the helper's.
//
// Usage: [LOGICSIM_LATENCY_PROFILE=slow] build/default/bench/e2e/marker_timing [repetitions]
#include "bench/support/ProcessTiming.h"
#include "marquee/HelperConnection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

using mq::bench::reportAgainstFloor;

int main(int argc, char** argv)
{
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 10;
    mq::bench::TimingSession session(MQ_LOGICSIM_EXECUTABLE, MQ_HELPER_EXECUTABLE);
    if (!session.started() || (!mq::bench::latencyProfile() && !session.control("set-latency", R"({"seed": 1, "windowOpenMs": [0, 0], "commitMs": [0, 0], "nameEditorMs": [0, 0]})"))
        || !session.control("set-transport", R"({"projectEndSeconds": 90000})"))
        return 1;
    auto connection = mq::client::HelperConnection::connect(session.helperSocket());
    if (!connection)
        return 1;
    auto& helperConnection = *connection.value();

    // The first marker of the batch reveals the marker track and opens the Colors
    // window; the ones measured reuse both, as every later marker of a batch does.
    double start = 3600.0;
    auto marker = [&](std::int64_t color) {
        start += 2.0;
        auto r = helperConnection.createLogicMarkerWithTimecodeSeconds({ start, 1.0, "Bench", color, 0.0, 25.0, false });
        return r.hasValue() && std::get<0>(r.value());
    };
    if (!marker(1)) {
        std::fprintf(stderr, "the first marker failed\n");
        return 1;
    }
    bool failed = false;
    auto time = [&](std::int64_t color) {
        std::vector<double> ms;
        for (int i = 0; i < repetitions; ++i) {
            auto begin = Clock::now();
            if (!marker(color)) {
                std::fprintf(stderr, "a marker failed\n");
                failed = true;
                return std::vector<double> {}; // reported as nothing; the session still ends its processes
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

    return failed ? 1 : 0;
}
