// What the monitors cost on the main thread, against the scripted in-process
// Logic: these figures are the helper's own work per call, without the round
// trips to a real Logic (or logicsim) that each accessibility read adds.
//
//   DisplaySearch6000: one full display search of a window of 6000 elements
//     whose display is the last element examined.
//   PollTickPlaying/N: one poll tick of the transport reader while the display
//     changes every tick (a playing transport), with N targets. At 60 ticks a
//     second the main thread's share of one core is 60 x this time.
#include "ax/SystemWideElement.h"
#include "logic/LogicApplication.h"
#include "monitors/TransportReader.h"
#include "tests/support/ScriptedPlatform.h"
#include "tests/support/TempRuntimeDir.h"
#include "timecode/ControlBarDisplay.h"

#include <benchmark/benchmark.h>

#include <string>

namespace mq {
namespace {

constexpr platform::pid_type kLogicPid = 900;

struct Logic {
    test::ScriptedPlatform scripted;
    platform::AXElementRef application;
    platform::AXElementRef window;
    std::vector<platform::AXElementRef> sliders;

    explicit Logic(std::size_t fillerElements)
    {
        scripted.workspace.addRunningApplication(
            platform::RunningApplication { std::string("com.apple.logic10"), kLogicPid, std::string("Logic Pro") });
        application = scripted.accessibility.addApplication(kLogicPid);
        scripted.accessibility.setAttribute(application, "AXWindows", platform::CFArray {});
        window = scripted.accessibility.addWindow(application, "Film");
        platform::AXElementRef bar = scripted.accessibility.addChild(window, "AXGroup");
        scripted.accessibility.setAttribute(bar, "AXDescription", "Control Bar");
        platform::AXElementRef display = scripted.accessibility.addChild(bar, "AXGroup");
        const char* names[] = { "Hour", "Minute", "Second", "Frame" };
        for (int i = 0; i < 4; ++i) {
            platform::AXElementRef slider = scripted.accessibility.addChild(display, "AXSlider");
            scripted.accessibility.setAttribute(slider, "AXDescription", names[i]);
            scripted.accessibility.setAttribute(slider, "AXValueDescription", "00");
            scripted.accessibility.setAttribute(slider, "AXPosition", platform::AXValue(platform::CGPoint { 10.0 * i, 0 }));
            sliders.push_back(slider);
        }
        // Filler pushed after the bar is examined before it: the display comes last.
        for (std::size_t i = 0; i < fillerElements; ++i)
            scripted.accessibility.addChild(window, i % 2 ? "AXStaticText" : "AXButton");
    }
    ~Logic() { ax::SystemWideElement::releaseShared(scripted.accessibility); }

    void showFrame(long frame)
    {
        const long fields[4] = { frame / 90000 % 24, frame / 1500 % 60, frame / 25 % 60, frame % 25 };
        for (int i = 0; i < 4; ++i) {
            std::string text = std::to_string(fields[i]);
            scripted.accessibility.setAttribute(sliders[i], "AXValueDescription", fields[i] < 10 ? "0" + text : text);
        }
    }
};

void DisplaySearch6000(benchmark::State& state)
{
    // The window, 5994 filler elements, the bar, its display group and 4 sliders.
    Logic logic(5994);
    for (auto _ : state) {
        std::optional<timecode::ControlBarDisplay> found = timecode::ControlBarDisplay::locate(mq::logic::logicApplicationElement(logic.scripted.platform));
        if (!found || found->fieldCount() != 4)
            state.SkipWithError("the display was not found");
        benchmark::DoNotOptimize(found);
        state.PauseTiming();
        logic.scripted.accessibility.clearCalls();
        state.ResumeTiming();
    }
}
BENCHMARK(DisplaySearch6000)->Unit(benchmark::kMillisecond);

void PollTickPlaying(benchmark::State& state)
{
    Logic logic(50);
    test::TempRuntimeDir files;
    RunLoop loop;
    // The reader checks that it runs on the main thread: run the measurement as a job.
    loop.async([&] {
        TransportReader reader(logic.scripted.platform, loop, std::chrono::hours(1));
        for (int64_t i = 0; i < state.range(0); ++i)
            reader.start(25, false, files.file("scrub" + std::to_string(i)), [](bool) {});
        long frame = 0;
        for (auto _ : state) {
            logic.showFrame(++frame);
            reader.pollTick();
            if (frame % 1000 == 0) {
                state.PauseTiming();
                logic.scripted.accessibility.clearCalls();
                state.ResumeTiming();
            }
        }
        // 60 x the time of one tick: the main thread's share of a core at 60 ticks a second.
        state.counters["coreShareAt60Hz"]
            = benchmark::Counter(1.0 / 60.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
        loop.stop();
    });
    loop.run();
}
BENCHMARK(PollTickPlaying)->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace mq

BENCHMARK_MAIN();
