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
        { "place", "marquee place dialogue.wav 3600 --fps 25 --name \"Line 1\" --new-track Dialogue --color 12 --color-track" },
        { "marker", "marquee marker 3610 4 \"Scene 1\" --fps 25 --color 5" },
        { "markers", "marquee markers clips.csv --fps 25   # lines of start,duration,name[,color]" },
        { "colors-avoid", "marquee colors-avoid 0 0 800 600" },
        { "colors-close", "marquee colors-close" },
        { "project-start", "marquee project-start --fps 29.97 --df" },
        { "playhead", "marquee playhead --fps 25" },
        { "goto", "marquee goto 01:00:00:00 --fps 25   # or seconds: marquee goto 3600 --fps 25" },
        { "call", "marquee call go-to-logic-playhead-smpte-seconds --seconds 3600 --fps 25" },
        { "call go-to-logic-playhead-smpte-seconds", "marquee call go-to-logic-playhead-smpte-seconds --seconds 3600 --fps 25 --drop-frame" },
        { "call run-action-with-code", "marquee call run-action-with-code --code 5" },
        { "call start-transport-scrub-observing-with-frame-rate", "marquee call start-transport-scrub-observing-with-frame-rate --fps 25 --shm /tmp/scrub.shm" },
        { "project-url", "marquee project-url --json" },
        { "action", "marquee action 21" },
        { "control-bar", "marquee control-bar --fps 25" },
        { "permissions", "marquee permissions --prime" },
        { "relaunch", "marquee relaunch" },
        { "update-check", "marquee update-check --json" },
        { "crash-report", "marquee crash-report > latest.crash   # or: marquee crash-report --save ~/Desktop" },
        { "timecode", "marquee timecode --seconds 60 --fps 29.97 --drop-frame" },
        { "scrub", "marquee scrub --shm /tmp/scrub.shm --fps 25 --duration 5 --json" },
        { "watch", "marquee watch --shm /tmp/watch.shm --timeout 60" },
        { "trace", "marquee trace --last 3 --failed   # or: marquee trace --log helper.log --json" },
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
