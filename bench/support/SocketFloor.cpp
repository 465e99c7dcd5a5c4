#include "bench/support/SocketFloor.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace mq::bench {

namespace {

bool readExactly(int fd, char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t got = ::read(fd, data, size);
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool writeExactly(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t put = ::write(fd, data, size);
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// The child: answers each whole request on any socket with one reply. Uses only
// memory made before fork().
[[noreturn]] void serve(std::vector<int>& fds, std::vector<pollfd>& polled, std::vector<char>& buffer, std::size_t requestBytes,
    std::size_t replyBytes)
{
    for (std::size_t i = 0; i < fds.size(); ++i)
        polled[i] = pollfd { fds[i], POLLIN, 0 };
    std::size_t open = fds.size();
    while (open > 0) {
        if (::poll(polled.data(), polled.size(), -1) < 0)
            _exit(1);
        for (auto& entry : polled) {
            if (entry.fd < 0 || !(entry.revents & (POLLIN | POLLHUP)))
                continue;
            if (!readExactly(entry.fd, buffer.data(), requestBytes) || !writeExactly(entry.fd, buffer.data(), replyBytes)) {
                ::close(entry.fd);
                entry.fd = -1;
                --open;
            }
        }
    }
    _exit(0);
}

} // namespace

Percentiles percentilesOf(std::vector<double>& samples)
{
    Percentiles result;
    if (samples.empty())
        return result;
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) { return samples[static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1))]; };
    result.count = samples.size();
    result.p50 = at(0.50);
    result.p99 = at(0.99);
    result.max = samples.back();
    return result;
}

std::vector<double> socketFloorMicros(std::size_t requestBytes, std::size_t replyBytes, int clients, int roundTripsPerClient)
{
    std::vector<int> ours, theirs;
    for (int i = 0; i < clients; ++i) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            throw std::runtime_error("socketpair failed");
        ours.push_back(pair[0]);
        theirs.push_back(pair[1]);
    }
    std::vector<pollfd> polled(theirs.size());
    std::vector<char> childBuffer(std::max(requestBytes, replyBytes), 'x');
    pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        for (int fd : ours)
            ::close(fd);
        serve(theirs, polled, childBuffer, requestBytes, replyBytes);
    }
    for (int fd : theirs)
        ::close(fd);

    std::vector<std::vector<double>> perClient(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            int fd = ours[static_cast<std::size_t>(c)];
            std::vector<char> request(requestBytes, 'q'), reply(replyBytes);
            auto& samples = perClient[static_cast<std::size_t>(c)];
            samples.reserve(static_cast<std::size_t>(roundTripsPerClient));
            for (int i = 0; i < roundTripsPerClient; ++i) {
                auto start = std::chrono::steady_clock::now();
                if (!writeExactly(fd, request.data(), request.size()) || !readExactly(fd, reply.data(), reply.size()))
                    return;
                samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int fd : ours)
        ::close(fd);
    ::waitpid(child, nullptr, 0);
    std::vector<double> all;
    for (auto& samples : perClient)
        all.insert(all.end(), samples.begin(), samples.end());
    if (all.size() != static_cast<std::size_t>(clients) * static_cast<std::size_t>(roundTripsPerClient))
        throw std::runtime_error("the floor's child process stopped answering");
    return all;
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string ratioLine(const std::string& label, const Percentiles& measured, const Percentiles& floor)
{
    char line[512];
    std::snprintf(line, sizeof line, "%-30s p50 %8.1f us  p99 %8.1f us | floor p50 %8.1f us  p99 %8.1f us | x%.2f p50  x%.2f p99",
        label.c_str(), measured.p50, measured.p99, floor.p50, floor.p99, floor.p50 > 0 ? measured.p50 / floor.p50 : 0.0,
        floor.p99 > 0 ? measured.p99 / floor.p99 : 0.0);
    return line;
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

} // namespace mq::bench
