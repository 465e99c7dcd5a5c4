// marquee: the command-line client of the helper.
#include "client/cli/Commands.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv)
{
    CLI::App app { "marquee: drive Logic Pro through the Marquee helper", "marquee" };
    app.require_subcommand(1);
    mq::cli::addVersionFlag(app);
    mq::cli::addRequestCommands(app);
    mq::cli::addMaintenanceCommands(app);
    mq::cli::addMarkerCommands(app);
    mq::cli::addPlaceCommand(app);
    mq::cli::addTimecodeCommands(app);
    mq::cli::addMonitorCommands(app);
    mq::cli::addBounceCommands(app);
    mq::cli::addExamples(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    return 0;
}
