// What one accessibility round trip to logicsim costs, and what a full search
// of a large window costs (the control-bar display search visits up to 6000
// elements per window).
#include "platform/linux/LogicSimPlatform.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempRuntimeDir.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using namespace mq;
using namespace mq::platform;
using namespace std::chrono_literals;
using nlohmann::json;

// One logicsim for the whole run, with a 6000-element window behind Logic's document window.
struct World {
    test::TempRuntimeDir dir;
    test::ChildProcess sim { { MQ_LOGICSIM_PATH, "serve" }, { { "XDG_RUNTIME_DIR", dir.path() } } };
    std::unique_ptr<LogicSimPlatform> backend;
    AXElementRef documentWindow;
    AXElementRef largeWindow;

    World()
    {
        if (!sim.waitForLine("listening on", 5s))
            throw std::runtime_error("logicsim did not start");
        control("build-large-window", { { "elements", 6000 }, { "fanout", 8 } });
        LogicSimOptions options;
        options.socketPath = dir.file("logicsim.sock");
        backend = std::make_unique<LogicSimPlatform>(options);
        pid_type pid = -1;
        for (const auto& app : backend->runningApplications())
            if (app.bundleIdentifier == "com.apple.logic10")
                pid = app.pid;
        CFValue windows;
        if (backend->copyAttributeValue(backend->createApplication(pid), "AXWindows", windows) != 0)
            throw std::runtime_error("cannot read Logic's windows");
        documentWindow = *windows.get<CFArray>()->front().get<AXElementRef>();
        largeWindow = *windows.get<CFArray>()->back().get<AXElementRef>();
    }

    void control(const std::string& command, const json& args)
    {
        test::ChildProcess ctl({ MQ_LOGICSIM_PATH, "ctl", command, args.dump() }, { { "XDG_RUNTIME_DIR", dir.path() } });
        auto status = ctl.waitForExit(5s);
        if (!status || *status != 0)
            throw std::runtime_error("logicsim ctl " + command + " failed");
    }
};

World& world()
{
    static World instance;
    return instance;
}

void recordPercentiles(benchmark::State& state, std::vector<double>& micros)
{
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

void BM_AttributeRead(benchmark::State& state)
{
    auto& w = world();
    std::vector<double> micros;
    micros.reserve(200000);
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        CFValue value;
        if (w.backend->copyAttributeValue(w.documentWindow, "AXTitle", value) != 0)
            state.SkipWithError("read failed");
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    recordPercentiles(state, micros);
}
BENCHMARK(BM_AttributeRead)->Unit(benchmark::kMicrosecond);

// Depth-first, explicit stack, AXRole then AXChildren of each element: two
// round trips per element, as the display search does it.
void BM_DepthFirstWalk6000(benchmark::State& state)
{
    auto& w = world();
    for (auto _ : state) {
        std::vector<AXElementRef> stack { w.largeWindow };
        int visited = 0;
        while (!stack.empty() && visited < 6000) {
            AXElementRef e = stack.back();
            stack.pop_back();
            ++visited;
            CFValue role, children;
            w.backend->copyAttributeValue(e, "AXRole", role);
            benchmark::DoNotOptimize(role);
            if (w.backend->copyAttributeValue(e, "AXChildren", children) == 0)
                for (const auto& child : *children.get<CFArray>())
                    stack.push_back(*child.get<AXElementRef>());
        }
        if (visited != 6000)
            state.SkipWithError("the window does not have 6000 elements");
    }
}
BENCHMARK(BM_DepthFirstWalk6000)->Unit(benchmark::kMillisecond);

// The same walk with one multiple-attribute read per element: one round trip.
void BM_DepthFirstWalk6000Batched(benchmark::State& state)
{
    auto& w = world();
    const std::vector<std::string> names { "AXRole", "AXChildren" };
    for (auto _ : state) {
        std::vector<AXElementRef> stack { w.largeWindow };
        int visited = 0;
        while (!stack.empty() && visited < 6000) {
            AXElementRef e = stack.back();
            stack.pop_back();
            ++visited;
            CFArray values;
            if (w.backend->copyMultipleAttributeValues(e, names, 0, values) == 0 && values.size() == 2)
                if (auto children = values[1].get<CFArray>())
                    for (const auto& child : *children)
                        stack.push_back(*child.get<AXElementRef>());
        }
        if (visited != 6000)
            state.SkipWithError("the window does not have 6000 elements");
    }
}
BENCHMARK(BM_DepthFirstWalk6000Batched)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
