// `marquee place`: an audio file placed on Logic's timeline at a timecode, as a
// plug-in places it (placeAudioFileWithURL:...), optionally on a new named track
// and in a colour.
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"

#include "marquee/HelperConnection.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>

namespace mq::cli {

namespace {

struct PlaceOptions {
    std::string file;
    double seconds { 0 };
    double frameRate { 25 };
    bool dropFrame { false };
    std::string name;
    std::string trackName;
    std::int64_t color { -1 };
    bool colorTrack { false };
    double pacing { 0 };
};

} // namespace

void addPlaceCommand(CLI::App& app)
{
    auto common = commonOptionsFor("place");
    auto options = std::make_shared<PlaceOptions>();
    auto* command = app.add_subcommand("place",
        "place an audio file on Logic's timeline at a timecode, optionally on a new named track and coloured "
        "(placeAudioFileWithURL:...)");
    command->add_option("file", options->file, "the audio file (WAV, AIFF, FLAC, ...)")->required();
    command->add_option("seconds", options->seconds, "where the region starts, in seconds of the SMPTE timeline")->required()->check(kFiniteNumber);
    command->add_option("--fps,--frame-rate", options->frameRate, "frames per second of the timeline")->required()->check(kFrameRate);
    command->add_flag("--df,--drop-frame", options->dropFrame, "drop-frame counting");
    command->add_option("--name", options->name, "the region's name (default: Logic names it after the file)");
    auto* newTrack = command->add_option("--new-track", options->trackName, "place it on a new track with this name (\"Movie Audio\" without one)")
                         ->expected(0, 1);
    command->add_option("--color", options->color, "a cell of Logic's Colors grid, 0 to 95 (-1, the default: no colour)")->check(kColorIndex);
    command->add_flag("--color-track", options->colorTrack, "colour the track as well as the region");
    command->add_option("--pacing", options->pacing, "seconds to pause between Logic's interface steps")->check(kFiniteNumber);
    add(command, common);
    command->callback([common, options, newTrack] {
        // The helper runs elsewhere: it gets the file's absolute location.
        std::error_code error;
        std::filesystem::path path = std::filesystem::absolute(options->file, error);
        URL url = URL::fileURLWithPath(error ? options->file : path.lexically_normal().string());
        auto connection = connectOrExit(*common);
        callAndPrint<protocol::placeAudioFileWithURL>(*connection, *common,
            { url, options->seconds, options->name, newTrack->count() > 0, options->trackName, options->color, options->colorTrack,
                options->pacing, options->frameRate, options->dropFrame });
    });
}

} // namespace mq::cli
