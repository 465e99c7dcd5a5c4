#include "client/cli/Commands.h"

#include <CLI/CLI.hpp>

namespace mq::cli {

void addTimecodeCommands(CLI::App& app)
{
    // FIXME: the timecode utility is not built yet.
    app.add_subcommand("timecode", "SMPTE conversions (not built yet)")->callback([] {
        throw CLI::RuntimeError("marquee timecode is not built yet", 2);
    });
}

} // namespace mq::cli
