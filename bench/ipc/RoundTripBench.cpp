// Round trip of an immediate request (setColorsWindowAvoidRectX:...) through a real
// marquee-helper process, for one client and for 8 clients at once, each against
// its floor measured in the same run: a raw Unix-socket ping-pong between this
// process and a child process with the same frame sizes (8 sockets served by one
// thread for the 8-client floor, as the helper serves them). Rounds alternate
// helper and floor; the summary gives the medians over the rounds.
//
// Usage: build/default/bench/ipc/ipc_round_trip_bench [calls per client] [rounds]
#include "protocol/Frame.h"
#include "bench/support/SocketFloor.h"
#include "marquee/HelperConnection.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace mq::bench;

namespace {

std::vector<double> measure(mq::client::HelperConnection& connection, int calls)
{
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(calls));
    for (int i = 0; i < calls; ++i) {
        auto start = Clock::now();
        auto result = connection.setColorsWindowAvoidRectX({ 1, 2, 3, 4 }, std::chrono::seconds(5));
        auto end = Clock::now();
        if (!result) {
            std::fprintf(stderr, "call failed: %s\n", result.error().message.c_str());
            std::exit(1);
        }
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    return micros;
}

std::vector<double> measureClients(const std::string& socket, int clients, int calls)
{
    std::vector<std::vector<double>> perClient(static_cast<std::size_t>(clients));
    std::vector<std::unique_ptr<mq::client::HelperConnection>> connections;
    for (int c = 0; c < clients; ++c)
        connections.push_back(std::move(mq::client::HelperConnection::connect(socket).value()));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] { perClient[static_cast<std::size_t>(c)] = measure(*connections[static_cast<std::size_t>(c)], calls); });
    for (auto& thread : threads)
        thread.join();
    std::vector<double> all;
    for (auto& samples : perClient)
        all.insert(all.end(), samples.begin(), samples.end());
    return all;
}

// The frame sizes of the measured request and of its reply.
std::size_t requestFrameBytes()
{
    return mq::ipc::encodeFrame(mq::ipc::Frame { mq::ipc::FrameKind::request, 1000,
                                    std::string(mq::protocol::setColorsWindowAvoidRectX::selector), { 1.0, 2.0, 3.0, 4.0 } })
        .size();
}

std::size_t replyFrameBytes()
{
    return mq::ipc::encodeFrame(mq::ipc::Frame { mq::ipc::FrameKind::reply, 1000, {}, {} }).size();
}

struct Series {
    std::vector<double> p50, p99, floorP50, floorP99;
    void add(const Percentiles& measured, const Percentiles& floor)
    {
        p50.push_back(measured.p50);
        p99.push_back(measured.p99);
        floorP50.push_back(floor.p50);
        floorP99.push_back(floor.p99);
    }
    void summarize(const std::string& label) const
    {
        Percentiles measured { 0, medianOf(p50), medianOf(p99), 0 };
        Percentiles floor { 0, medianOf(floorP50), medianOf(floorP99), 0 };
        std::printf("%s\n", ratioLine("median " + label, measured, floor).c_str());
    }
};

} // namespace

int main(int argc, char** argv)
{
    int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    char directory[] = "/tmp/mqbench.XXXXXX";
    if (!mkdtemp(directory))
        return 1;
    std::string socket = std::string(directory) + "/com.quillmoor.marquee.helper";

    pid_t helper = fork();
    if (helper == 0) {
        setenv("XDG_RUNTIME_DIR", directory, 1);
        if (!freopen("/dev/null", "w", stderr))
            _exit(126);
        execl(MQ_HELPER_EXECUTABLE, "marquee-helper", nullptr);
        _exit(127);
    }
    std::unique_ptr<mq::client::HelperConnection> first;
    for (int attempt = 0; attempt < 200 && !first; ++attempt) {
        auto connection = mq::client::HelperConnection::connect(socket);
        if (connection)
            first = std::move(connection.value());
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!first) {
        std::fprintf(stderr, "the helper did not start\n");
        return 1;
    }

    std::size_t requestBytes = requestFrameBytes(), replyBytes = replyFrameBytes();
    std::printf("frames: request %zu bytes, reply %zu bytes; load average %s\n", requestBytes, replyBytes, loadAverage().c_str());
    measure(*first, 1000); // Warm up.
    constexpr int kClients = 8;
    Series one, eight;
    for (int round = 1; round <= rounds; ++round) {
        auto helperOne = measure(*first, calls);
        auto floorOne = socketFloorMicros(requestBytes, replyBytes, 1, calls);
        auto helperEight = measureClients(socket, kClients, calls / 4);
        auto floorEight = socketFloorMicros(requestBytes, replyBytes, kClients, calls / 4);
        Percentiles h1 = percentilesOf(helperOne), f1 = percentilesOf(floorOne);
        Percentiles h8 = percentilesOf(helperEight), f8 = percentilesOf(floorEight);
        std::printf("round %d\n  %s\n  %s\n", round, ratioLine("1 client", h1, f1).c_str(), ratioLine("8 clients at once", h8, f8).c_str());
        one.add(h1, f1);
        eight.add(h8, f8);
    }
    one.summarize("1 client");
    eight.summarize("8 clients at once");
    std::printf("load average %s\n", loadAverage().c_str());

    first.reset();
    kill(helper, SIGTERM);
    waitpid(helper, nullptr, 0);
    std::filesystem::remove_all(directory);
    return 0;
}
