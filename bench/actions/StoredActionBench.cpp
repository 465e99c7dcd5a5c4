// One stored action run: decipher both texts, check the code, start the
// interpreter, feed it the script and wait for its exit. Each repetition is one
// run, so the median and p99 below are over single runs.
//
//   build/default/bench/actions/stored_action_bench
#include "logic/StoredActionRunner.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using namespace mq::logic;

double percentile(const std::vector<double>& values, double p)
{
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

void runWith(benchmark::State& state, std::uint32_t code, const char* interpreter, bool expected)
{
    stored::RunOptions options;
    options.interpreter = interpreter;
    for (auto _ : state) {
        bool ran = stored::runStoredAction(code, options);
        if (ran != expected)
            state.SkipWithError("unexpected answer");
    }
}

// The whole run, with /bin/cat standing in for the interpreter: it reads the
// script and writes it back, so the output is drained as well.
void BM_StoredActionRun(benchmark::State& state) { runWith(state, 21, "/bin/cat", true); }
// A refused code: both decipherments and the allow-list check, no process.
void BM_StoredActionRefused(benchmark::State& state) { runWith(state, 58, "/bin/cat", false); }

void configure(benchmark::internal::Benchmark* b)
{
    b->Iterations(1)->Repetitions(300)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("p99", [](const std::vector<double>& v) { return percentile(v, 0.99); });
}

BENCHMARK(BM_StoredActionRun)->Apply(configure);
BENCHMARK(BM_StoredActionRefused)->Apply(configure);

} // namespace

BENCHMARK_MAIN();
