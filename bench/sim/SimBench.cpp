// What one accessibility round trip to logicsim costs, and what a full search
// of a large window costs (the control-bar display search visits up to 6000
// elements per window). Each benchmark also measures its floor in the same run:
// the same line sizes ping-ponged between two processes over a Unix socket
// (floor_* counters, and ratio_* = measured / floor).
#include "ax/UIElement.h"
#include "bench/support/SocketFloor.h"
#include "platform/linux/LogicSimPlatform.h"
#include "platform/linux/LogicSimWire.h"
#include "timecode/ControlBarDisplay.h"
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
using bench::Percentiles;
using bench::percentilesOf;

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

// The sizes of one request line and its reply line, as the backend and logicsim write them.
std::size_t requestLineBytes(const std::string& op, const json& arguments, const AXElementRef& element)
{
    json request = arguments;
    request["op"] = op;
    request["el"] = wire::encodeElement(element);
    request["id"] = 100000;
    return request.dump().size() + 1;
}

std::size_t replyLineBytes(const CFValue& value)
{
    return json { { "err", 0 }, { "value", wire::encode(value) }, { "id", 100000 } }.dump().size() + 1;
}

void recordPercentiles(benchmark::State& state, std::vector<double>& micros, std::size_t requestBytes, std::size_t replyBytes)
{
    if (micros.empty())
        return;
    Percentiles measured = percentilesOf(micros);
    std::vector<double> floorMicros = bench::socketFloorMicros(requestBytes, replyBytes, 1, static_cast<int>(micros.size()));
    Percentiles floor = percentilesOf(floorMicros);
    state.counters["p50_us"] = measured.p50;
    state.counters["p99_us"] = measured.p99;
    state.counters["floor_p50_us"] = floor.p50;
    state.counters["floor_p99_us"] = floor.p99;
    state.counters["ratio_p50"] = measured.p50 / floor.p50;
    state.counters["ratio_p99"] = measured.p99 / floor.p99;
}

// A walk's floor: as many raw round trips of the walk's line sizes, back to back.
void recordWalkFloor(benchmark::State& state, double walkMillis, int roundTrips, std::size_t requestBytes, std::size_t replyBytes)
{
    std::vector<double> floorMicros = bench::socketFloorMicros(requestBytes, replyBytes, 1, roundTrips);
    double floorMillis = 0;
    for (double micros : floorMicros)
        floorMillis += micros / 1000;
    state.counters["floor_ms"] = floorMillis;
    state.counters["ratio"] = walkMillis / floorMillis;
}

// The line sizes of a multiple-attribute read of the display search, on `element`.
std::pair<std::size_t, std::size_t> summaryLineBytes(LogicSimPlatform& backend, const AXElementRef& element)
{
    const std::vector<std::string> names { "AXRole", "AXChildren", "AXPosition", "AXDescription" };
    CFArray values;
    backend.copyMultipleAttributeValues(element, names, 0, values);
    return { requestLineBytes("ax.copyMultipleAttributeValues", { { "attrs", names }, { "options", 0 } }, element),
        replyLineBytes(CFValue(values)) };
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
    CFValue title;
    w.backend->copyAttributeValue(w.documentWindow, "AXTitle", title);
    recordPercentiles(state, micros, requestLineBytes("ax.copyAttributeValue", { { "attr", "AXTitle" } }, w.documentWindow),
        replyLineBytes(title));
}
BENCHMARK(BM_AttributeRead)->Unit(benchmark::kMicrosecond);

// Depth-first, explicit stack, AXRole then AXChildren of each element: two
// round trips per element, as the display search does it.
void BM_DepthFirstWalk6000(benchmark::State& state)
{
    auto& w = world();
    double totalMillis = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
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
        totalMillis += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    CFValue children;
    w.backend->copyAttributeValue(w.largeWindow, "AXChildren", children);
    std::size_t request = requestLineBytes("ax.copyAttributeValue", { { "attr", "AXChildren" } }, w.largeWindow);
    recordWalkFloor(state, totalMillis / static_cast<double>(state.iterations()), 12000, request, replyLineBytes(children));
}
BENCHMARK(BM_DepthFirstWalk6000)->Unit(benchmark::kMillisecond);

// The same walk with one multiple-attribute read per element: one round trip.
void BM_DepthFirstWalk6000Batched(benchmark::State& state)
{
    auto& w = world();
    const std::vector<std::string> names { "AXRole", "AXChildren" };
    double totalMillis = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
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
        totalMillis += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    CFArray values;
    w.backend->copyMultipleAttributeValues(w.largeWindow, names, 0, values);
    std::size_t request = requestLineBytes("ax.copyMultipleAttributeValues", { { "attrs", names }, { "options", 0 } }, w.largeWindow);
    recordWalkFloor(state, totalMillis / static_cast<double>(state.iterations()), 6000, request, replyLineBytes(CFValue(values)));
}
BENCHMARK(BM_DepthFirstWalk6000Batched)->Unit(benchmark::kMillisecond);

// The control-bar display search itself over the 6000-element window, which shows
// no display: the whole budget is spent. Its floor is 6000 raw round trips of its
// multiple-attribute read.
void BM_DisplaySearch6000(benchmark::State& state)
{
    auto& w = world();
    ax::UIElement root(*w.backend, w.largeWindow);
    double totalMillis = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (timecode::ControlBarDisplay::find(root))
            state.SkipWithError("a display was found in the large window");
        totalMillis += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    auto [request, reply] = summaryLineBytes(*w.backend, w.largeWindow);
    recordWalkFloor(state, totalMillis / static_cast<double>(state.iterations()), 6000, request, reply);
}
BENCHMARK(BM_DisplaySearch6000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
