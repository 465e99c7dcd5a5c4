// Duration of one audio placement through real processes (logicsim and
// marquee-helper), against the floor its fixed sleeps set, with Logic's window,
// commit, name-editor and import delays set to 0 so that what is left over is the helper's
// (and the stored actions' interpreter, a process per action).
//
// Usage: [LOGICSIM_LATENCY_PROFILE=slow] build/default/bench/e2e/place_timing [repetitions]
#include "bench/support/ProcessTiming.h"
#include "bench/support/StepExcess.h"
#include "marquee/HelperConnection.h"
#include "tests/support/TestAudioFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

using mq::bench::reportAgainstFloor;

int main(int argc, char** argv)
{
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 10;
    mq::bench::TimingSession session(MQ_LOGICSIM_EXECUTABLE, MQ_HELPER_EXECUTABLE);
    if (!session.started() || (!mq::bench::latencyProfile() && !session.control("set-latency", R"({"seed": 1, "windowOpenMs": [0, 0], "commitMs": [0, 0], "nameEditorMs": [0, 0], "importMs": [0, 0]})")))
        return 1;
    auto connection = mq::client::HelperConnection::connect(session.helperSocket());
    if (!connection)
        return 1;
    auto& helperConnection = *connection.value();
    std::string file = session.runtime() + "/line.wav";
    mq::test::writeTestAudioFile(file, mq::test::AudioFormat::wav, 48000, 48000);

    double start = 3600.0;
    auto place = [&](bool newTrack, std::int64_t color) {
        start += 2.0;
        auto r = helperConnection.placeAudioFileWithURL(
            { mq::URL::fileURLWithPath(file), start, "Bench", newTrack, "Bench Track", color, color >= 0, 0.0, 25.0, false });
        return r.hasValue() && std::get<0>(r.value());
    };
    // The first coloured placement opens the Colors window; the ones measured
    // reuse it, as every later request of a batch does.
    if (!place(true, 1)) {
        std::fprintf(stderr, "the first placement failed\n");
        return 1;
    }
    bool failed = false;
    auto time = [&](bool newTrack, std::int64_t color) {
        std::vector<double> ms;
        for (int i = 0; i < repetitions; ++i) {
            auto begin = Clock::now();
            if (!place(newTrack, color)) {
                std::fprintf(stderr, "a placement failed\n");
                failed = true;
                return std::vector<double> {}; // reported as nothing; the session still ends its processes
            }
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        }
        return ms;
    };
    // Floors: the 0.1 s delay inside the Move-playhead script, 100 ms after it and
    // 100 ms after the spot; a new track adds 300, 200 and 100 ms after 1795, 571
    // and the Track-name script; each colour click 50 ms before and after it and
    // 0.5 ms between mouse down and up.
    constexpr double kPlain = 100 + 100 + 100;
    constexpr double kNewTrack = 300 + 200 + 100;
    constexpr double kClick = 50 + 0.5 + 50;
    auto records = [&] { return mq::bench::newestRecords(session.helperLog(), "placeAudioFile", static_cast<std::size_t>(repetitions)); };
    std::vector<double> plain = time(false, -1);
    reportAgainstFloor("placeAudioFile, selected track, no colour", kPlain, plain, records());
    std::vector<double> full = time(true, 12);
    reportAgainstFloor("placeAudioFile, new named track, region and track coloured", kPlain + kNewTrack + 2 * kClick, full, records());
    (void)helperConnection.closeColorsWindowWithReply({});

    return failed ? 1 : 0;
}
