// Duration of each bounce step through real processes (logicsim and
// marquee-helper), against the floor its fixed sleeps and script delays set; and
// for step 5, the time from the export panel closing to the reply.
//
// Usage: [LOGICSIM_LATENCY_PROFILE=slow] build/default/bench/e2e/bounce_timing [repetitions]
#include "bench/support/ProcessTiming.h"
#include "bench/support/StepExcess.h"
#include "marquee/HelperConnection.h"
#include "tests/support/TestMovie.h"

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
using namespace std::chrono_literals;

using mq::bench::reportAgainstFloor;
using mq::bench::waitForFile;

namespace {

double msSince(Clock::time_point begin) { return std::chrono::duration<double, std::milli>(Clock::now() - begin).count(); }

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;
    char directory[] = "/tmp/mqbounce.XXXXXX";
    if (!mkdtemp(directory))
        return 1;
    std::string runtime = directory;
    std::string movie = runtime + "/Cut 3.mov";
    mq::test::writeTestMovie(movie, 50, 25);
    pid_t sim = mq::bench::startProcess(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "serve" }, runtime);
    if (!waitForFile(runtime + "/logicsim.sock"))
        return 1;
    const std::string helperLog = runtime + "/helper.log";
    pid_t helper = mq::bench::startProcess(MQ_HELPER_EXECUTABLE, { "marquee-helper" }, runtime, helperLog);
    if (!waitForFile(runtime + "/com.quillmoor.marquee.helper"))
        return 1;
    auto connection = mq::client::HelperConnection::connect(runtime + "/com.quillmoor.marquee.helper");
    if (!connection)
        return 1;
    auto& helperConnection = *connection.value();
    if (!mq::bench::logicsimControl(MQ_LOGICSIM_EXECUTABLE, runtime, "set-export", R"({"directory": ")" + runtime + R"("})"))
        return 1;

    std::vector<double> stepOne, stepOneStopping, stepTwo, stepThree, stepFour, stepFive;
    for (int i = 0; i < repetitions; ++i) {
        auto begin = Clock::now();
        auto one = helperConnection.bounceGoToPositionWithTimecodeSeconds({ 3601.0 + i, false, 0.0, 25.0, false }, 30s);
        if (!one.hasValue() || !std::get<0>(one.value()))
            fail("step 1");
        stepOne.push_back(msSince(begin));

        begin = Clock::now();
        one = helperConnection.bounceGoToPositionWithTimecodeSeconds({ 3602.0 + i, true, 0.0, 25.0, false }, 30s);
        if (!one.hasValue() || !std::get<0>(one.value()))
            fail("step 1, stopping");
        stepOneStopping.push_back(msSince(begin));

        begin = Clock::now();
        auto two = helperConnection.bounceOpenMovieWithURL({ mq::URL::fileURLWithPath(movie), 0.0 }, 30s);
        if (!two.hasValue() || !std::get<0>(two.value()))
            fail("step 2");
        stepTwo.push_back(msSince(begin));

        begin = Clock::now();
        auto three = helperConnection.bounceAlignMovieRegionWithPacingSeconds({ 0.0 }, 30s);
        if (!three.hasValue() || !std::get<0>(three.value()))
            fail("step 3");
        stepThree.push_back(msSince(begin));

        begin = Clock::now();
        auto four = helperConnection.bounceOpenExportDialogWithPacingSeconds({ 0.0 }, 30s);
        if (!four.hasValue() || !std::get<0>(four.value()))
            fail("step 4");
        stepFour.push_back(msSince(begin));

        // The user cancels the panel while step 5 waits; it closes as the command returns.
        Clock::time_point closed;
        std::thread user([&] {
            std::this_thread::sleep_for(300ms);
            if (!mq::bench::logicsimControl(MQ_LOGICSIM_EXECUTABLE, runtime, "export-user", R"({"press": "cancel"})"))
                fail("cancelling the panel");
            closed = Clock::now();
        });
        auto five = helperConnection.bounceAwaitExportDialogsClosedWithReply({}, 60s);
        Clock::time_point replied = Clock::now();
        user.join();
        if (!five.hasValue() || std::get<1>(five.value()))
            fail("step 5");
        stepFive.push_back(std::chrono::duration<double, std::milli>(replied - closed).count());
    }

    // Floors: step 1 pauses 0.1 s in its script and sleeps 0.1 s after it (and 0.3 s
    // after stopping the transport); step 2 waits out the go-to-folder script's three
    // 1.0 s delays and, with no options window, the 2.0 s wait for one; steps 3 and 4
    // have no sleeps; step 5 answers 0.5 s after the dialogs are gone.
    auto count = static_cast<std::size_t>(repetitions);
    auto records = [&](const char* step, std::size_t n) { return mq::bench::newestRecords(helperLog, step, n); };
    // Step 1 ran twice a round: without stopping the transport, then with.
    std::vector<nlohmann::json> stepOneRecords = records("bounce step 1", 2 * count);
    std::vector<nlohmann::json> plainOne, stoppingOne;
    for (std::size_t i = 0; i < stepOneRecords.size(); ++i)
        (i % 2 == 0 ? plainOne : stoppingOne).push_back(stepOneRecords[i]);
    reportAgainstFloor("step 1: go to position", 200, stepOne, plainOne);
    reportAgainstFloor("step 1: go to position, stopping", 500, stepOneStopping, stoppingOne);
    reportAgainstFloor("step 2: open movie", 5000, stepTwo, records("bounce step 2", count));
    reportAgainstFloor("step 3: align movie region", 0, stepThree, records("bounce step 3", count));
    reportAgainstFloor("step 4: open export dialog", 0, stepFour, records("bounce step 4", count));
    reportAgainstFloor("step 5: panel closed to reply", 500, stepFive, records("bounce step 5", count));

    connection.value().reset();
    kill(helper, SIGTERM);
    kill(sim, SIGTERM);
    waitpid(helper, nullptr, 0);
    waitpid(sim, nullptr, 0);
    std::filesystem::remove_all(runtime);
    return 0;
}
