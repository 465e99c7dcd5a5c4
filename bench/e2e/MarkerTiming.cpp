// Duration of one marker request through real processes (logicsim and
// marquee-helper), against the floor its fixed sleeps set, with Logic's own
// window and commit delays set to 0 so that what is left over is the helper's.
// Under each figure, the three steps of the helper's operation records that
// took most above their planned time.
//
// The same markers are made by a second helper with its operation journal off
// (MARQUEE_OPERATION_JOURNAL=off) on the same logicsim, one request each in
// turn, so that both see the same Logic and the same machine load: the
// difference of the medians is what the journal costs a marker.
//
// Usage: [LOGICSIM_LATENCY_PROFILE=slow] build/default/bench/e2e/marker_timing [repetitions]
#include "bench/support/ProcessTiming.h"
#include "bench/support/SocketFloor.h"
#include "bench/support/StepExcess.h"
#include "marquee/HelperConnection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
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
    mq::bench::TimingSession withoutJournal(MQ_LOGICSIM_EXECUTABLE, MQ_HELPER_EXECUTABLE, { "MARQUEE_OPERATION_JOURNAL=off" }, &session);
    if (!withoutJournal.started())
        return 1;
    auto connection = mq::client::HelperConnection::connect(session.helperSocket());
    auto connectionWithoutJournal = mq::client::HelperConnection::connect(withoutJournal.helperSocket());
    if (!connection || !connectionWithoutJournal)
        return 1;
    std::printf("load average %s\n", mq::bench::loadAverage().c_str());

    // The first marker of the batch reveals the marker track and opens the Colors
    // window; the ones measured reuse both, as every later marker of a batch does.
    double start = 3600.0;
    auto marker = [&](mq::client::HelperConnection& helper, std::int64_t color) {
        start += 2.0;
        auto r = helper.createLogicMarkerWithTimecodeSeconds({ start, 1.0, "Bench", color, 0.0, 25.0, false });
        return r.hasValue() && std::get<0>(r.value());
    };
    if (!marker(*connection.value(), 1) || !marker(*connectionWithoutJournal.value(), 1)) {
        std::fprintf(stderr, "the first marker failed\n");
        return 1;
    }
    bool failed = false;
    // The markers of each helper in turn, which goes first alternating so that
    // neither always follows the other; the durations with the journal, and without.
    auto time = [&](std::int64_t color) {
        std::vector<double> with;
        std::vector<double> without;
        for (int i = 0; i < repetitions && !failed; ++i) {
            auto* on = connection.value().get();
            auto* off = connectionWithoutJournal.value().get();
            for (auto* helper : { i % 2 ? off : on, i % 2 ? on : off }) {
                auto begin = Clock::now();
                if (!marker(*helper, color)) {
                    std::fprintf(stderr, "a marker failed\n");
                    failed = true;
                    break;
                }
                (helper == connection.value().get() ? with : without)
                    .push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
            }
        }
        return std::pair { with, without };
    };
    auto records = [&] { return mq::bench::newestRecords(session.helperLog(), "createLogicMarker", static_cast<std::size_t>(repetitions)); };
    auto journalCost = [](const std::vector<double>& with, const std::vector<double>& without) {
        double on = mq::bench::medianOf(with);
        double off = mq::bench::medianOf(without);
        std::printf("    journal on %.1f ms, off %.1f ms (median of %zu each): %+.1f ms, %+.2f%%\n", on, off, with.size(), on - off,
            off > 0 ? 100.0 * (on - off) / off : 0.0);
    };
    // Floors: 500 ms after the locators, 100 ms inside and 500 ms after the clip-end
    // script, 200 ms after each of the three marker actions; with a colour, 50 ms
    // before and after the click.
    auto [plain, plainWithout] = time(-1);
    reportAgainstFloor("createLogicMarker, no colour", 500 + 100 + 500 + 3 * 200, plain, records());
    journalCost(plain, plainWithout);
    auto [coloured, colouredWithout] = time(12);
    reportAgainstFloor("createLogicMarker, coloured", 500 + 100 + 500 + 3 * 200 + 2 * 50, coloured, records());
    journalCost(coloured, colouredWithout);
    std::printf("    a marker's operation record: %.0f bytes on average\n", mq::bench::meanRecordBytes(session.helperLog(), "createLogicMarker"));
    (void)connection.value()->closeColorsWindowWithReply({});
    (void)connectionWithoutJournal.value()->closeColorsWindowWithReply({});

    return failed ? 1 : 0;
}
