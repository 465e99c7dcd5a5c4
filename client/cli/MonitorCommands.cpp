// marquee scrub and marquee watch: follow the helper's shared-memory monitors the
// way a plug-in does. `scrub` asks the helper to publish the transport into a
// file and shows each new position as it arrives, with the update rate; `watch`
// asks it to watch the front project and waits until the project is flagged closed.
//
// Exit status: 0 done (the duration ended, Ctrl-C, or the project was closed);
// 1 the helper refused, or `watch` timed out; 2 bad usage or an unusable file;
// 3 the helper is not running; 4 no reply.
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"

#include "marquee/ProjectWatchReader.h"
#include "marquee/ScrubReader.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <deque>
#include <fmt/format.h>
#include <iostream>
#include <optional>
#include <thread>
#include <unistd.h>

namespace mq::cli {

namespace {

using Clock = std::chrono::steady_clock;

/// How often the files are looked at: well under the helper's 1/60 s tick.
constexpr std::chrono::milliseconds kScrubPollInterval { 2 };
constexpr std::chrono::milliseconds kWatchPollInterval { 20 };

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

/// Ctrl-C and SIGTERM end the wait instead of the process, so that the
/// observation is stopped on the way out.
void catchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

std::string mapFailureText(const shm::MapFailure& failure)
{
    return fmt::format("{} failed: {}", failure.stage == shm::MapFailure::Stage::open ? "open" : "mmap", std::strerror(failure.error));
}

std::string_view modeName(std::int32_t word)
{
    switch (word) {
    case shm::displaymodeword::frames:
        return "frames";
    case shm::displaymodeword::subframes:
        return "subframes";
    case shm::displaymodeword::quarterFrames:
        return "quarter frames";
    case shm::displaymodeword::samples:
        return "samples";
    default:
        return "unknown";
    }
}

/// "01:02:03.456" for seconds >= 0.
std::string clockText(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return "--:--:--.---";
    auto millis = static_cast<long long>(std::llround(seconds * 1000));
    return fmt::format("{:02}:{:02}:{:02}.{:03}", millis / 3'600'000, millis / 60'000 % 60, millis / 1000 % 60, millis % 1000);
}

/// Changes seen in the last second.
class RateMeter {
public:
    void record(Clock::time_point when)
    {
        m_times.push_back(when);
        while (!m_times.empty() && when - m_times.front() > std::chrono::seconds(1))
            m_times.pop_front();
    }
    /// Updates per second over the last second: the intervals between the updates
    /// seen in it, over the time they span. Nothing until they span half a second,
    /// so that the start shows neither a count rising from 1 nor the noise of two
    /// updates seen close together.
    std::optional<double> perSecond() const
    {
        if (m_times.size() < 2)
            return std::nullopt;
        double span = std::chrono::duration<double>(m_times.back() - m_times.front()).count();
        if (span < 0.5)
            return std::nullopt;
        return static_cast<double>(m_times.size() - 1) / span;
    }

private:
    std::deque<Clock::time_point> m_times;
};

struct ScrubOptions {
    std::string shmPath;
    double fps { 0 };
    bool dropFrame { false };
    std::optional<double> durationSeconds;
    bool steady { false };
};

struct WatchOptions {
    std::string shmPath;
    std::optional<double> timeoutSeconds;
};

std::optional<Clock::time_point> deadlineAfter(std::optional<double> seconds)
{
    if (!seconds)
        return std::nullopt;
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*seconds));
}

void runScrub(const ScrubOptions& options, const CommonOptionValues& common)
{
    if (options.durationSeconds && !(*options.durationSeconds >= 0))
        exitForUsage(common, "--duration must be 0 or more seconds");

    auto opened = client::ScrubReader::open(options.shmPath);
    if (!opened)
        exitForUsage(common, options.shmPath + ": " + mapFailureText(opened.error()));
    client::ScrubReader& reader = opened.value();
    reader.requestSteadyRate(options.steady);

    auto connection = connectOrExit(common);
    catchInterrupts();
    auto started = connection->startTransportScrubObservingWithFrameRate({ options.fps, options.dropFrame, options.shmPath }, common.timeout());
    if (!started)
        exitForClientError(common, started.error());
    const bool displayFound = std::get<0>(started.value());
    if (common.json)
        printJSONReply(common, { { "event", "started" }, { "displayFound", displayFound } });
    else
        std::cout << (displayFound ? "scrub: display found; following the transport" : "scrub: display not found yet; the helper keeps looking")
                  << std::endl;

    // On a terminal one line is redrawn in place; elsewhere every update is a line.
    const bool live = !common.json && ::isatty(STDOUT_FILENO) != 0;
    const std::optional<Clock::time_point> deadline = deadlineAfter(options.durationSeconds);
    std::optional<client::ScrubSnapshot> last;
    RateMeter rate;
    std::size_t updates = 0;
    while (!g_interrupted && (!deadline || Clock::now() < *deadline)) {
        std::optional<client::ScrubSnapshot> now = reader.snapshot();
        if (now && (!last || now->sequence != last->sequence || now->valid != last->valid)) {
            // The first snapshot shows what the file held; only later sequence numbers are updates.
            if (last && now->sequence != last->sequence) {
                rate.record(Clock::now());
                ++updates;
            }
            std::optional<double> perSecond = rate.perSecond();
            if (common.json) {
                printJSONReply(common,
                    { { "event", "position" }, { "position", now->position }, { "sequence", now->sequence },
                        { "displayMode", std::string(modeName(now->displayModeWord)) }, { "valid", now->valid },
                        { "perSecond", perSecond ? nlohmann::json(*perSecond) : nlohmann::json(nullptr) } });
                last = now;
                std::this_thread::sleep_for(kScrubPollInterval);
                continue;
            }
            std::string line = fmt::format("{}  {:.3f} s  seq {}  {}  {}  {} Hz", clockText(now->position), now->position, now->sequence,
                modeName(now->displayModeWord), now->valid ? "valid" : "invalid", perSecond ? fmt::format("{:.1f}", *perSecond) : "--");
            if (live)
                std::cout << '\r' << line << "\033[K" << std::flush;
            else
                std::cout << line << '\n' << std::flush;
            last = now;
        }
        std::this_thread::sleep_for(kScrubPollInterval);
    }
    if (live)
        std::cout << '\n';

    auto stopped = connection->stopTransportScrubObservingForShmPath({ options.shmPath }, common.timeout());
    if (!stopped)
        exitForClientError(common, stopped.error());
    if (common.json)
        printJSONReply(common, { { "event", "stopped" }, { "updates", updates } });
    else
        std::cout << "scrub: stopped after " << updates << " update(s)" << std::endl;
}

void runWatch(const WatchOptions& options, const CommonOptionValues& common)
{
    if (options.timeoutSeconds && !(*options.timeoutSeconds >= 0))
        exitForUsage(common, "--timeout must be 0 or more seconds");

    auto opened = client::ProjectWatchReader::open(options.shmPath);
    if (!opened)
        exitForUsage(common, options.shmPath + ": " + mapFailureText(opened.error()));
    client::ProjectWatchReader& reader = opened.value();
    reader.clear(); // The helper never clears the flag; a reused file is cleared here.

    auto connection = connectOrExit(common);
    catchInterrupts();
    auto started = connection->startProjectCloseWatchForShmPath({ options.shmPath }, common.timeout());
    if (!started)
        exitForClientError(common, started.error());
    if (!std::get<0>(started.value()))
        exitForFailure(common, "the helper could not watch " + options.shmPath, { { "ok", false } });
    if (common.json)
        printJSONReply(common, { { "event", "watching" } });
    else
        std::cout << "watch: watching the front project" << std::endl;

    const std::optional<Clock::time_point> deadline = deadlineAfter(options.timeoutSeconds);
    bool closed = false;
    while (!g_interrupted && (!deadline || Clock::now() < *deadline)) {
        if ((closed = reader.isProjectClosed()))
            break;
        std::this_thread::sleep_for(kWatchPollInterval);
    }

    auto stopped = connection->stopProjectCloseWatchForShmPath({ options.shmPath }, common.timeout());
    if (!stopped)
        exitForClientError(common, stopped.error());
    if (!closed && !g_interrupted)
        exitForFailure(common, "timed out; the project is still open", { { "event", "timedOut" } });
    if (common.json)
        printJSONReply(common, { { "event", closed ? "closed" : "interrupted" } });
    else
        std::cout << (closed ? "watch: project closed" : "watch: interrupted") << std::endl;
}

} // namespace

void addMonitorCommands(CLI::App& app)
{
    {
        auto options = std::make_shared<ScrubOptions>();
        auto common = commonOptionsFor("scrub");
        CLI::App* command = app.add_subcommand("scrub", "follow Logic's transport live through a scrub file");
        command->add_option("--shm", options->shmPath, "the scrub file (created when missing)")->required();
        command->add_option("--fps", options->fps, "frame rate in frames per second")->required()->check(kFrameRate);
        command->add_flag("--df", options->dropFrame, "the drop-frame flag to report to the helper");
        command->add_option("--duration", options->durationSeconds, "stop after this many seconds (default: until Ctrl-C)")->check(kFiniteNumber);
        command->add_flag("--steady", options->steady, "ask the helper for its steady rate (never idle)");
        command->add_option("--timeout-ms", common->timeoutMilliseconds, "how long to wait for each reply")->check(CLI::PositiveNumber);
        addJSONFlag(command, common);
        command->callback([options, common] { runScrub(*options, *common); });
    }
    {
        auto options = std::make_shared<WatchOptions>();
        auto common = commonOptionsFor("watch");
        CLI::App* command = app.add_subcommand("watch", "wait until the front Logic project is closed");
        command->add_option("--shm", options->shmPath, "the project-watch file (created when missing)")->required();
        command->add_option("--timeout", options->timeoutSeconds, "give up after this many seconds (default: wait until Ctrl-C)")->check(kFiniteNumber);
        command->add_option("--timeout-ms", common->timeoutMilliseconds, "how long to wait for each reply")->check(CLI::PositiveNumber);
        addJSONFlag(command, common);
        command->callback([options, common] { runWatch(*options, *common); });
    }
}

} // namespace mq::cli
