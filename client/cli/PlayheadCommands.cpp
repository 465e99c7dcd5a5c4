// The everyday requests with the names a person uses: `goto`, `playhead`,
// `project-start`, `project-url`, `control-bar`, `action` and `colors-close`.
// Each sends one request of the table (the raw forms are under `marquee call`).
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"

#include "marquee/HelperConnection.h"

#include <CLI/CLI.hpp>

namespace mq::cli {

namespace {

struct TimelineOptions {
    double frameRate { 25 };
    bool dropFrame { false };
};

void addTimelineOptions(CLI::App* command, TimelineOptions& options)
{
    command->add_option("--fps,--frame-rate", options.frameRate, "frames per second of the timeline")->required()->check(kFrameRate);
    command->add_flag("--df,--drop-frame", options.dropFrame, "drop-frame timecode");
}

void addGoto(CLI::App& app)
{
    auto common = commonOptionsFor("goto");
    auto options = std::make_shared<TimelineOptions>();
    auto position = std::make_shared<std::string>();
    auto* command = app.add_subcommand("goto", "move the playhead (goToLogicPlayheadSMPTESeconds:...); negative seconds land on 0");
    command->add_option("position", *position, "seconds on the SMPTE timeline, or hh:mm:ss:ff at --fps")->required()->type_name("SECONDS|TIMECODE");
    addTimelineOptions(command, *options);
    add(command, common);
    command->callback([common, options, position] {
        auto seconds = secondsOrTimecode(*position, options->frameRate);
        if (!seconds.seconds)
            exitForUsage(*common, "position: " + seconds.problem);
        auto connection = connectOrExit(*common);
        callAndPrint<protocol::goToLogicPlayheadSMPTESeconds>(*connection, *common, { *seconds.seconds, options->frameRate, options->dropFrame });
    });
}

template<typename Request>
void addTimelineRead(CLI::App& app, const std::string& name, const std::string& summary)
{
    auto common = commonOptionsFor(name);
    auto options = std::make_shared<TimelineOptions>();
    auto* command = app.add_subcommand(name, summary + " (" + std::string(Request::selector) + ")");
    addTimelineOptions(command, *options);
    add(command, common);
    command->callback([common, options] {
        auto connection = connectOrExit(*common);
        callAndPrint<Request>(*connection, *common, { options->frameRate, options->dropFrame });
    });
}

template<typename Request>
void addPlainRequest(CLI::App& app, const std::string& name, const std::string& summary)
{
    auto common = commonOptionsFor(name);
    auto* command = app.add_subcommand(name, summary + " (" + std::string(Request::selector) + ")");
    add(command, common);
    command->callback([common] {
        auto connection = connectOrExit(*common);
        callAndPrint<Request>(*connection, *common, {});
    });
}

void addAction(CLI::App& app)
{
    auto common = commonOptionsFor("action");
    auto code = std::make_shared<std::uint32_t>(0);
    auto* command = app.add_subcommand("action", "run a stored action by its code (runActionWithCode:withReply:)");
    command->add_option("code", *code, "the action's code; only codes on the helper's allow-list run")->required()->check(kActionCode);
    add(command, common);
    command->callback([common, code] {
        auto connection = connectOrExit(*common);
        callAndPrint<protocol::runActionWithCode>(*connection, *common, { *code });
    });
}

} // namespace

void addPlayheadCommands(CLI::App& app)
{
    addGoto(app);
    addTimelineRead<protocol::readLogicPlayheadSMPTEWithFrameRate>(app, "playhead", "read the playhead");
    addTimelineRead<protocol::readLogicProjectStartSMPTEWithFrameRate>(app, "project-start", "read the SMPTE time of bar 1");
    addTimelineRead<protocol::evaluateControlBarStateWithFrameRate>(app, "control-bar", "whether Logic's control bar can be read");
    addPlainRequest<protocol::currentLogicProjectURLWithReply>(app, "project-url", "the project file Logic has open");
    addPlainRequest<protocol::closeColorsWindowWithReply>(app, "colors-close", "end a marker batch: close the Colors window the helper opened");
    addAction(app);
}

} // namespace mq::cli
