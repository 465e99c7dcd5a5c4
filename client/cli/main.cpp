// marquee: the command-line client of the helper.
#include "client/cli/Commands.h"
#include "client/cli/InputChecks.h"
#include "client/cli/Output.h"
#include "client/cli/ReferenceDocuments.h"
#include "client/cli/UsageErrors.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app { "marquee: drive Logic Pro through the Marquee helper", "marquee" };
    app.require_subcommand(1);
    mq::cli::addVersionFlag(app);
    mq::cli::addPlayheadCommands(app);
    mq::cli::addMarkerCommands(app);
    mq::cli::addPlaceCommand(app);
    mq::cli::addBounceCommands(app);
    mq::cli::addMonitorCommands(app);
    mq::cli::addMaintenanceCommands(app);
    mq::cli::addTraceCommand(app);
    mq::cli::addTimecodeCommands(app);
    mq::cli::addCallCommands(app);
    mq::cli::addExamples(app);
    mq::cli::acceptNegativeNumbers(app);

    // The build writes the man page and the shell completions from these same
    // definitions: `marquee --generate man|bash|zsh|fish`.
    if (argc == 3 && std::string_view(argv[1]) == "--generate")
        return mq::cli::writeReferenceDocument(app, argv[2], std::cout) ? 0 : mq::cli::kExitUsage;

    std::vector<std::string> arguments = mq::cli::argumentsForParsing(argc, argv);
    try {
        app.parse(arguments);
    } catch (const CLI::RuntimeError& exit) {
        return exit.get_exit_code(); // a command ended with its status, its message already printed
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return app.exit(error); // --help, --version
        return mq::cli::reportUsageError(app, error, std::vector<std::string>(argv + 1, argv + argc));
    }
    return 0;
}
