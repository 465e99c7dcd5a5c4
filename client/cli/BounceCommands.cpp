// `marquee bounce run MOVIE START --fps R [--df]`: the five bounce steps in
// order, with a line of progress for each on a terminal (a JSON line each with
// --json), waiting up to 30 minutes while the user completes Logic's export
// dialog; prints the file name the dialog showed last.
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"

#include "marquee/HelperConnection.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <iostream>

namespace mq::cli {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Step 5 waits up to 30 minutes for the user; the reply may come a little later.
constexpr auto kExportWaitTimeout = 31min;
constexpr auto kStepTimeout = 60s;

struct BounceRunOptions {
    std::string movie;
    std::string start;
    double frameRate { 25 };
    bool dropFrame { false };
    double pacingSeconds { 0 };
    bool keepPlaying { false };
};

/// Runs one step: a progress line on a terminal, a JSON line with --json; exits
/// with the step's failure.
template<typename Call>
auto step(const CommonOptionValues& common, int number, const std::string& what, Call call)
{
    const bool progress = progressWanted(common);
    if (progress)
        std::cerr << "[" << number << "/5] " << what << " ... " << std::flush;
    auto started = Clock::now();
    auto result = call();
    if (!result) {
        if (progress)
            std::cerr << "no answer\n";
        exitForClientError(common, result.error());
    }
    const OptionalError& error = std::get<std::tuple_size_v<std::decay_t<decltype(result.value())>> - 1>(result.value());
    if (error) {
        if (progress)
            std::cerr << "failed\n";
        exitForFailure(common, "step " + std::to_string(number) + " (" + what + ") failed (" + std::to_string(error->code) + "): " + error->localizedDescription,
            { { "step", number }, { "code", error->code } });
    }
    double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (progress)
        std::cerr << "done (" << std::fixed << std::setprecision(1) << seconds << " s)\n";
    printJSONReply(common, { { "step", number }, { "of", 5 }, { "what", what }, { "seconds", seconds } });
    return result.value();
}

void run(const BounceRunOptions& options, const CommonOptionValues& common)
{
    auto start = secondsOrTimecode(options.start, options.frameRate);
    if (!start.seconds)
        exitForUsage(common, "START: " + start.problem);
    if (options.movie.empty() || options.movie.front() != '/')
        exitForUsage(common, "MOVIE must be an absolute path");
    auto connection = connectOrExit(common);
    double pacing = options.pacingSeconds;

    step(common, 1, "moving the playhead to the start (" + options.start + ")", [&] {
        return connection->bounceGoToPositionWithTimecodeSeconds({ *start.seconds, !options.keepPlaying, pacing, options.frameRate, options.dropFrame },
            kStepTimeout);
    });
    step(common, 2, "opening the movie in Logic", [&] {
        return connection->bounceOpenMovieWithURL({ URL::fileURLWithPath(options.movie), pacing }, kStepTimeout);
    });
    step(common, 3, "aligning the movie region", [&] { return connection->bounceAlignMovieRegionWithPacingSeconds({ pacing }, kStepTimeout); });
    step(common, 4, "opening Logic's export dialog", [&] { return connection->bounceOpenExportDialogWithPacingSeconds({ pacing }, kStepTimeout); });
    auto [name, error] = step(common, 5, "waiting (up to 30 minutes) while you complete the export dialog in Logic",
        [&] { return connection->bounceAwaitExportDialogsClosedWithReply({}, kExportWaitTimeout); });
    (void)error;
    if (!name)
        exitForFailure(common, "the export dialog closed without a file name");
    if (common.json)
        printJSONReply(common, { { "file", *name } });
    else
        std::cout << *name << "\n";
}

} // namespace

void addBounceCommands(CLI::App& app)
{
    auto options = std::make_shared<BounceRunOptions>();
    auto common = commonOptionsFor("bounce run");
    auto* bounce = app.add_subcommand("bounce", "export the project with a movie: the five bounce steps");
    bounce->require_subcommand(1);
    auto* command = bounce->add_subcommand("run", "run the five bounce steps in order and print the exported file's name");
    command->add_option("MOVIE", options->movie, "the movie file (absolute path)")->required();
    command->add_option("START", options->start, "where the export starts: seconds, or hh:mm:ss:ff at --fps")->required();
    command->add_option("--fps,--frame-rate", options->frameRate, "frames per second")->required()->check(kFrameRate);
    command->add_flag("--df,--drop-frame", options->dropFrame, "drop-frame timecode");
    command->add_option("--pacing-seconds", options->pacingSeconds, "pause between steps in Logic's interface")->check(kFiniteNumber);
    command->add_flag("--keep-playing", options->keepPlaying, "do not stop the transport first");
    addJSONFlag(command, common);
    command->callback([options, common] { run(*options, *common); });
}

} // namespace mq::cli
