// Round trip of an immediate request (setColorsWindowAvoidRectX:...) through a real
// marquee-helper process: p50 and p99 for one client, and for 8 clients at once.
//
// Usage: build/default/bench/ipc/ipc_round_trip_bench [calls per client]
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

void report(const char* label, std::vector<double> micros)
{
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))]; };
    std::printf("%-28s calls %7zu   p50 %7.1f us   p99 %7.1f us   p99.9 %7.1f us   max %8.1f us\n", label, micros.size(),
        at(0.50), at(0.99), at(0.999), micros.back());
}

} // namespace

int main(int argc, char** argv)
{
    int calls = argc > 1 ? std::atoi(argv[1]) : 20000;
    char directory[] = "/tmp/mqbench.XXXXXX";
    if (!mkdtemp(directory))
        return 1;
    std::string socket = std::string(directory) + "/com.quillmoor.marquee.helper";

    pid_t helper = fork();
    if (helper == 0) {
        setenv("XDG_RUNTIME_DIR", directory, 1);
        freopen("/dev/null", "w", stderr);
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

    measure(*first, 1000); // Warm up.
    report("1 client", measure(*first, calls));

    constexpr int clients = 8;
    std::vector<std::vector<double>> perClient(clients);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            auto connection = mq::client::HelperConnection::connect(socket);
            perClient[static_cast<std::size_t>(c)] = measure(*connection.value(), calls / 4);
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::vector<double> all;
    for (auto& samples : perClient)
        all.insert(all.end(), samples.begin(), samples.end());
    report("8 clients at once", all);

    first.reset();
    kill(helper, SIGTERM);
    waitpid(helper, nullptr, 0);
    std::filesystem::remove_all(directory);
    return 0;
}
