// An example under every subcommand's --help: what a user would type first.
#include "client/cli/Commands.h"

#include <CLI/CLI.hpp>

#include <map>
#include <string>

namespace mq::cli {

namespace {

const std::map<std::string, std::string>& examples()
{
    static const std::map<std::string, std::string> table {
        { "bounce", "marquee bounce run /home/me/Movies/cut.mov 01:00:00:00 --fps 25" },
        { "bounce run", "marquee bounce run /home/me/Movies/cut.mov 3600 --fps 29.97 --df" },
        { "bounce-goto", "marquee bounce-goto 3600 --stop-transport --fps 25" },
        { "bounce-open-movie", "marquee bounce-open-movie file:///home/me/Movies/cut.mov" },
        { "bounce-align-movie", "marquee bounce-align-movie --pacing-seconds 0.1" },
        { "bounce-open-export", "marquee bounce-open-export --pacing-seconds 0.1" },
        { "bounce-await", "marquee bounce-await --timeout-ms 1800000" },
        { "place-audio", "marquee place-audio file:///home/me/dialogue.wav --timecode-seconds 3600 --fps 25 --create-new-track" },
        { "place", "marquee place dialogue.wav 3600 --fps 25 --name \"Line 1\" --new-track Dialogue --color 12 --color-track" },
        { "marker", "marquee marker 3610 4 \"Scene 1\" --fps 25 --color 5" },
        { "markers", "marquee markers clips.csv --fps 25   # lines of start,duration,name[,color]" },
        { "colors-avoid", "marquee colors-avoid 0 0 800 600" },
        { "colors-close", "marquee colors-close" },
        { "project-start", "marquee project-start --fps 29.97 --df" },
        { "playhead", "marquee playhead --fps 25" },
        { "goto", "marquee goto 3600 --fps 25" },
        { "project-url", "marquee project-url --json" },
        { "sync-settings", "marquee sync-settings" },
        { "action", "marquee action 21" },
        { "control-bar", "marquee control-bar --fps 25" },
        { "scrub-start", "marquee scrub-start --fps 25 --shm /tmp/scrub.shm" },
        { "scrub-stop", "marquee scrub-stop /tmp/scrub.shm" },
        { "watch-start", "marquee watch-start /tmp/watch.shm" },
        { "watch-stop", "marquee watch-stop /tmp/watch.shm" },
        { "permissions", "marquee permissions --prime" },
        { "relaunch", "marquee relaunch" },
        { "update-check", "marquee update-check --json" },
        { "crash-report", "marquee crash-report > latest.crash" },
        { "timecode", "marquee timecode --seconds 60 --fps 29.97 --drop-frame" },
        { "scrub", "marquee scrub --shm /tmp/scrub.shm --fps 25 --duration 5" },
        { "watch", "marquee watch --shm /tmp/watch.shm --timeout 60" },
    };
    return table;
}

} // namespace

void addExamples(CLI::App& app)
{
    // Nested subcommands are looked up by their path, such as "bounce run".
    auto apply = [](auto& self, CLI::App& parent, const std::string& prefix) -> void {
        for (CLI::App* command : parent.get_subcommands({})) {
            std::string path = prefix.empty() ? command->get_name() : prefix + " " + command->get_name();
            if (auto example = examples().find(path); example != examples().end())
                command->footer("\nExample:\n  " + example->second);
            self(self, *command, path);
        }
    };
    apply(apply, app, "");
}

} // namespace mq::cli
