// One stored action run: decipher both texts, check the code, start the
// interpreter, feed it the script and wait for its exit. Each repetition is one
// run, so the median and p99 below are over single runs. The run through this
// build's interpreter (the stand-in, asking a logicsim started for the run to stop
// its transport) is to be read against the run with /bin/cat, a process that
// starts, reads the script and ends: the floor of a new process per run.
//
//   build/default/bench/actions/stored_action_bench
#include "bench/support/ProcessTiming.h"
#include "bench/support/SocketFloor.h"
#include "logic/StoredActionRunner.h"

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
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
// The whole run through this build's interpreter: stored action 5 (stop the
// transport) in the logicsim that main() started.
void BM_StoredActionRunThroughInterpreter(benchmark::State& state)
{
    runWith(state, 5, MQ_INTERPRETER_EXECUTABLE, true);
}
// A refused code: both decipherments and the allow-list check, no process.
void BM_StoredActionRefused(benchmark::State& state) { runWith(state, 58, "/bin/cat", false); }

void configure(benchmark::internal::Benchmark* b)
{
    b->Iterations(1)->Repetitions(300)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond)
        ->ComputeStatistics("p99", [](const std::vector<double>& v) { return percentile(v, 0.99); });
}

BENCHMARK(BM_StoredActionRun)->Apply(configure);
BENCHMARK(BM_StoredActionRunThroughInterpreter)->Apply(configure);
BENCHMARK(BM_StoredActionRefused)->Apply(configure);

} // namespace

int main(int argc, char** argv)
{
    // The stand-in interpreter finds logicsim through XDG_RUNTIME_DIR, which the
    // runner's children inherit.
    char directory[] = "/tmp/mqactions.XXXXXX";
    if (!mkdtemp(directory))
        return 1;
    std::string runtime = directory;
    pid_t sim = mq::bench::startProcess(MQ_LOGICSIM_EXECUTABLE, { "logicsim", "serve" }, runtime);
    if (!mq::bench::waitForFile(runtime + "/logicsim.sock"))
        return 1;
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    std::printf("load average %s\n", mq::bench::loadAverage().c_str());

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    std::filesystem::remove_all(runtime);
    return 0;
}
