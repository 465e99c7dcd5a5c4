// The floor under every round trip that the benchmarks time: the same number of
// bytes out and back between two processes over a Unix stream socket, with
// blocking reads and nothing else, measured in the same run as the figure it
// bounds so that both see the same machine load.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mq::bench {

/// Percentiles of a set of samples, in the samples' unit.
struct Percentiles {
    std::size_t count { 0 };
    double p50 { 0 };
    double p99 { 0 };
    double max { 0 };
};

/// The percentiles of `samples` (which it sorts).
Percentiles percentilesOf(std::vector<double>& samples);

/// Round trips through a child process: `clients` threads here, each with its
/// own socket, and one thread in the child that serves them all with poll(2).
/// Each round trip writes `requestBytes` and reads `replyBytes`. Answers every
/// round trip's duration in microseconds.
std::vector<double> socketFloorMicros(std::size_t requestBytes, std::size_t replyBytes, int clients, int roundTripsPerClient);

/// The median of `values` (which it sorts); 0 for none.
double medianOf(std::vector<double> values);

/// One line: label, measured p50/p99, floor p50/p99, and the two ratios.
std::string ratioLine(const std::string& label, const Percentiles& measured, const Percentiles& floor);

/// The load average over the last minute, as uptime(1) prints it.
std::string loadAverage();

} // namespace mq::bench
