// Control commands for the movie and the export: their settings, and logicsim's
// user at the export panel.
#include "sim/Commands.h"
#include "sim/ExportDialog.h"
#include "sim/Movie.h"
#include "sim/World.h"

namespace mq::sim {

using nlohmann::json;

void addBounceCommands(CommandMap& commands)
{
    commands.add("set-movie", [](World& world, const json& args) {
        MovieSettings settings = world.movie.settings;
        settings.merge(args);
        world.movie.settings = settings;
        return okReply();
    });
    commands.add("set-export", [](World& world, const json& args) {
        ExportSettings settings = world.exportDialog.settings;
        settings.merge(args);
        world.exportDialog.settings = settings;
        return okReply();
    });
    commands.add("export-user", [](World& world, const json& args) {
        actAtExportPanel(world, exportUserFrom(args));
        return okReply();
    });
}

} // namespace mq::sim
