// `marquee bounce run MOVIE START --fps R [--df]`: the five bounce steps in
// order, with a line of progress for each, waiting while the user completes
// Logic's export dialog; prints the file name the dialog showed last.
#include "client/cli/Commands.h"
#include "client/cli/Output.h"

#include "client/HelperConnection.h"
#include "timecode/TimecodeParsing.h"

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

[[noreturn]] void usageError(const std::string& message)
{
    std::cerr << "marquee: " << message << "\n";
    throw CLI::RuntimeError(kExitUsage);
}

// START as seconds ("3602.5") or as the control bar shows it ("01:00:02:00").
double startSeconds(const BounceRunOptions& options)
{
    if (options.start.find(':') != std::string::npos) {
        if (auto seconds = timecode::parseLCDTimecode(options.start, options.frameRate))
            return *seconds;
        usageError("START: '" + options.start + "' is not hh:mm:ss:ff");
    }
    char* end = nullptr;
    double seconds = std::strtod(options.start.c_str(), &end);
    if (options.start.empty() || *end != '\0' || !std::isfinite(seconds))
        usageError("START: '" + options.start + "' is neither seconds nor hh:mm:ss:ff");
    return seconds;
}

/// Runs one step with a progress line; exits with the step's failure.
template<typename Call>
auto step(int number, const std::string& what, Call call)
{
    std::cerr << "[" << number << "/5] " << what << " ... " << std::flush;
    auto started = Clock::now();
    auto result = call();
    if (!result) {
        std::cerr << "no answer\n";
        exitForClientError(result.error());
    }
    const OptionalError& error = std::get<std::tuple_size_v<std::decay_t<decltype(result.value())>> - 1>(result.value());
    if (error) {
        std::cerr << "failed (" << error->code << "): " << error->localizedDescription << "\n";
        throw CLI::RuntimeError(kExitFailureReply);
    }
    std::cerr << "done (" << std::fixed << std::setprecision(1) << std::chrono::duration<double>(Clock::now() - started).count() << " s)\n";
    return result.value();
}

void run(const BounceRunOptions& options)
{
    double start = startSeconds(options);
    if (options.movie.empty() || options.movie.front() != '/')
        usageError("MOVIE must be an absolute path");
    CommonOptionValues common;
    auto connection = connectOrExit(common);
    double pacing = options.pacingSeconds;

    step(1, "moving the playhead to the start (" + options.start + ")", [&] {
        return connection->bounceGoToPositionWithTimecodeSeconds({ start, !options.keepPlaying, pacing, options.frameRate, options.dropFrame },
            kStepTimeout);
    });
    step(2, "opening the movie in Logic", [&] {
        return connection->bounceOpenMovieWithURL({ URL::fileURLWithPath(options.movie), pacing }, kStepTimeout);
    });
    step(3, "aligning the movie region", [&] { return connection->bounceAlignMovieRegionWithPacingSeconds({ pacing }, kStepTimeout); });
    step(4, "opening Logic's export dialog", [&] { return connection->bounceOpenExportDialogWithPacingSeconds({ pacing }, kStepTimeout); });
    auto [name, error] = step(5, "waiting while you complete the export dialog in Logic",
        [&] { return connection->bounceAwaitExportDialogsClosedWithReply({}, kExportWaitTimeout); });
    (void)error;
    if (!name) {
        std::cerr << "marquee: the export dialog closed without a file name\n";
        throw CLI::RuntimeError(kExitFailureReply);
    }
    std::cout << *name << "\n";
}

} // namespace

void addBounceCommands(CLI::App& app)
{
    auto options = std::make_shared<BounceRunOptions>();
    auto* bounce = app.add_subcommand("bounce", "export the project with a movie: the five bounce steps");
    bounce->require_subcommand(1);
    auto* command = bounce->add_subcommand("run", "run the five bounce steps in order and print the exported file's name");
    command->add_option("MOVIE", options->movie, "the movie file (absolute path)")->required();
    command->add_option("START", options->start, "where the export starts: seconds, or hh:mm:ss:ff at --fps")->required();
    command->add_option("--fps,--frame-rate", options->frameRate, "frames per second")->required();
    command->add_flag("--df,--drop-frame", options->dropFrame, "drop-frame timecode");
    command->add_option("--pacing-seconds", options->pacingSeconds, "pause between steps in Logic's interface");
    command->add_flag("--keep-playing", options->keepPlaying, "do not stop the transport first");
    command->callback([options] { run(*options); });
}

} // namespace mq::cli
