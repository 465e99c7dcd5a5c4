// The monitors through real processes: marquee-helper and logicsim, with the
// scrub file read by the client reader in this process. Prints:
//
//   latency: from a change of logicsim's display (the moment the control command
//     that changes it is sent) to a new sequence number in the client's block,
//     p50 / p99 / max over many changes at random phases of the helper's tick;
//   cpu: the helper's share of one core while 1 and 8 targets follow a playing
//     transport (and logicsim's, which answers every read);
//   search: one full display search of a 6000-element window through the
//     logicsim backend (the helper's own code, in this process), against 6000 raw
//     socket round trips of its multiple-attribute read measured in the same run;
//   main queue during searches: the helper searching a 6000-element window once a
//     second for a lost display while a client asks for the permission status (a
//     main-queue request) every few milliseconds;
//   main queue during a hanging watch: the same requests while the close
//     watcher's checks wait for a Logic that never answers a read of a window's
//     document (each read waits out the 6 s messaging time-out).
//
// The latency's bound is one 60 Hz tick plus two raw socket round trips (p99 of
// the same run's floor): the tick that notices the change and the reads it makes.
//
// Run by hand: build/default/bench/monitors/monitors_e2e_bench [latency-samples]
#include "ax/SystemWideElement.h"
#include "logic/LogicApplication.h"
#include "bench/support/SocketFloor.h"
#include "marquee/ScrubReader.h"
#include "monitors/TransportReader.h"
#include "platform/linux/LogicSimPlatform.h"
#include "tests/harness/HelperHarness.h"
#include "timecode/ControlBarDisplay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using mq::test::HelperHarness;

double milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

/// User + system CPU seconds of process `pid`.
double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

mq::client::ScrubReader startScrub(HelperHarness& harness, mq::client::HelperConnection& connection, const std::string& name)
{
    std::string path = harness.runtimeDir().file(name);
    auto opened = mq::client::ScrubReader::open(path);
    if (!opened.hasValue())
        throw std::runtime_error("cannot map " + path);
    auto reply = connection.startTransportScrubObservingWithFrameRate({ 25.0, false, path }, 10s);
    if (!reply.hasValue() || !std::get<0>(reply.value()))
        throw std::runtime_error("the helper did not find the display");
    return std::move(opened.value());
}

void measureLatency(int samples)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    auto connection = harness.connect();
    mq::client::ScrubReader reader = startScrub(harness, *connection, "latency");
    std::mt19937 random(42);
    std::uniform_int_distribution<int> pause(20, 80);
    std::vector<double> latencies;
    int lost = 0;
    for (int i = 0; i < samples; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
        std::uint32_t before = reader.snapshot()->sequence;
        auto sent = Clock::now();
        harness.logicSim().ctl("set-playhead", { { "seconds", 3600.0 + (i % 2 ? 1.0 : 2.0) + i / 25.0 } });
        auto deadline = sent + 1s;
        while (reader.snapshot()->sequence == before && Clock::now() < deadline)
            std::this_thread::yield();
        if (reader.snapshot()->sequence == before) {
            ++lost;
            continue;
        }
        latencies.push_back(milliseconds(Clock::now() - sent));
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies[static_cast<std::size_t>(q * static_cast<double>(latencies.size() - 1))]; };
    std::printf("latency: display change -> new sequence in the client's block, %zu changes: p50 %.2f ms, p99 %.2f ms, max %.2f ms"
                " (%d not seen within 1 s)\n",
        latencies.size(), at(0.5), at(0.99), latencies.back(), lost);
    // The floor of one accessibility read of a field (about 100 bytes out, 60 back).
    std::vector<double> floorMicros = mq::bench::socketFloorMicros(110, 60, 1, 5000);
    mq::bench::Percentiles floor = mq::bench::percentilesOf(floorMicros);
    double bound = 1000.0 / 60 + 2 * floor.p99 / 1000;
    std::printf("latency: bound one tick + two floor round trips (p99 %.1f us) = %.2f ms; p99 / bound = %.2f\n", floor.p99, bound,
        at(0.99) / bound);
}

void measureCpu(int targets)
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    auto connection = harness.connect();
    std::vector<mq::client::ScrubReader> readers;
    for (int i = 0; i < targets; ++i)
        readers.push_back(startScrub(harness, *connection, "cpu" + std::to_string(i)));
    harness.logicSim().ctl("play");
    std::this_thread::sleep_for(500ms);
    pid_t helper = harness.helper().pid();
    pid_t sim = harness.logicSim().process().pid();
    double helperBefore = cpuSeconds(helper), simBefore = cpuSeconds(sim);
    std::uint32_t sequenceBefore = readers.front().snapshot()->sequence;
    auto start = Clock::now();
    std::this_thread::sleep_for(5s);
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    double helperShare = (cpuSeconds(helper) - helperBefore) / wall;
    double simShare = (cpuSeconds(sim) - simBefore) / wall;
    std::uint32_t updates = readers.front().snapshot()->sequence - sequenceBefore;
    std::printf("cpu: %d target(s) following a playing transport at 25 fps: helper %.2f%% of one core, logicsim %.2f%%"
                " (%.1f updates/s per target)\n",
        targets, helperShare * 100, simShare * 100, updates / wall);
}

void measureSearch()
{
    mq::test::TempRuntimeDir dir;
    mq::test::LogicSimProcess sim(dir);
    sim.ctl("build-large-window", { { "elements", 6000 }, { "fanout", 8 } });
    sim.ctl("remove-window", { { "window", "project" } });
    mq::platform::LogicSimOptions options;
    options.socketPath = sim.socketPath();
    mq::platform::LogicSimPlatform backend(options);
    mq::platform::Platform platform = backend.platform();
    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
        auto start = Clock::now();
        auto found = mq::timecode::ControlBarDisplay::locate(mq::logic::logicApplicationElement(platform));
        times.push_back(milliseconds(Clock::now() - start));
        if (found)
            throw std::runtime_error("a display was found in the large window");
    }
    // 6000 round trips of the search's multiple-attribute read, back to back.
    std::vector<double> floorMicros = mq::bench::socketFloorMicros(150, 400, 1, 6000);
    double floorMillis = 0;
    for (double micros : floorMicros)
        floorMillis += micros / 1000;
    double median = mq::bench::medianOf(times);
    std::printf("search: one full display search of a 6000-element window through logicsim: median %.1f ms, min %.1f ms;"
                " floor 6000 round trips %.1f ms; median / floor = %.2f\n",
        median, *std::min_element(times.begin(), times.end()), floorMillis, median / floorMillis);
    mq::ax::SystemWideElement::releaseShared(backend);
}

/// Asks for the permission status (a main-queue request) every 2 ms for 6 s and
/// prints how long the replies took.
void printMainQueueProbe(HelperHarness& harness, const char* during)
{
    auto probe = harness.connect();
    std::vector<double> replies;
    auto end = Clock::now() + 6s;
    while (Clock::now() < end) {
        auto sent = Clock::now();
        auto status = probe->permissionsStatusWithReply({}, 10s);
        if (!status.hasValue())
            throw std::runtime_error("permissionsStatus failed: " + status.error().message);
        replies.push_back(milliseconds(Clock::now() - sent));
        std::this_thread::sleep_for(2ms);
    }
    mq::bench::Percentiles p = mq::bench::percentilesOf(replies);
    std::size_t over = static_cast<std::size_t>(std::count_if(replies.begin(), replies.end(), [](double ms) { return ms > 5.0; }));
    std::printf("main queue: permissionsStatus %s, %zu requests: p50 %.2f ms, p99 %.2f ms, max %.2f ms; %zu over 5 ms\n", during,
        p.count, p.p50, p.p99, p.max, over);
}

void measureMainQueueDuringSearch()
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    harness.logicSim().ctl("build-large-window", { { "elements", 6000 }, { "fanout", 8 } });
    harness.logicSim().ctl("remove-window", { { "window", "project" } });
    auto connection = harness.connect();
    std::string path = harness.runtimeDir().file("lost");
    auto start = Clock::now();
    auto reply = connection->startTransportScrubObservingWithFrameRate({ 25.0, false, path }, 30s);
    if (!reply.hasValue() || std::get<0>(reply.value()))
        throw std::runtime_error("the scrub start did not answer false for a lost display");
    std::printf("main queue: the scrub start (first search of the 6000-element window) answered after %.1f ms\n",
        milliseconds(Clock::now() - start));
    printMainQueueProbe(harness, "during once-a-second searches");
}

void measureMainQueueDuringHangingWatch()
{
    HelperHarness harness(HelperHarness::Desktop::logicSim);
    auto connection = harness.connect();
    auto reply = connection->startProjectCloseWatchForShmPath({ harness.runtimeDir().file("watch") }, 10s);
    if (!reply.hasValue() || !std::get<0>(reply.value()))
        throw std::runtime_error("the watch did not start");
    harness.logicSim().ctl("fault", { { "op", "ax.copyAttributeValue" }, { "attribute", "AXDocument" }, { "noReply", true } });
    printMainQueueProbe(harness, "while the close watcher's checks hang");
}

} // namespace

int main(int argc, char** argv)
{
    int samples = argc > 1 ? std::atoi(argv[1]) : 300;
    std::printf("load average %s\n", mq::bench::loadAverage().c_str());
    try {
        measureLatency(samples);
        measureCpu(1);
        measureCpu(8);
        measureSearch();
        measureMainQueueDuringSearch();
        measureMainQueueDuringHangingWatch();
        std::printf("load average %s\n", mq::bench::loadAverage().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "monitors_e2e_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
