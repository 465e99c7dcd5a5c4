#include "sim/Scenario.h"

#include "sim/LogicMainWindow.h"
#include "sim/MarkerTrack.h"
#include "sim/UnaskedWindows.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

namespace {

[[noreturn]] void malformed(const std::string& why)
{
    throw std::runtime_error("scenario: " + why);
}

void readPermissions(Permissions& permissions, const json& scenario)
{
    permissions.trustedByDefault = scenario.value("accessibilityTrusted", true);
    if (auto it = scenario.find("automation"); it != scenario.end())
        for (const auto& [target, state] : it->items())
            permissions.automation[target] = state.is_number_integer() ? std::to_string(state.get<int>()) : state.get<std::string>();
    permissions.automationAnswer = scenario.value("automationPromptAnswer", "allow");
}

void readDesktop(Desktop& desktop, const json& scenario)
{
    desktop.session = scenario.value("session", json { { "CGSSessionScreenIsLocked", false }, { "kCGSSessionOnConsoleKey", true }, { "kCGSessionLoginDoneKey", true } });
    desktop.screens = scenario.value("screens", json::array({ json { { "frame", { 0, 0, 1920, 1080 } }, { "visibleFrame", { 0, 0, 1920, 1055 } } } }));
    if (auto it = scenario.find("cursor"); it != scenario.end()) {
        if (!it->is_array() || it->size() != 2)
            malformed("cursor must be [x, y]");
        desktop.cursor = { (*it)[0].get<double>(), (*it)[1].get<double>() };
    }
}

void readMovieAndExport(World& world, const json& scenario)
{
    try {
        world.movie.settings.merge(scenario.value("movie", json::object()));
        world.exportDialog.settings.merge(scenario.value("export", json::object()));
    } catch (const std::runtime_error& e) {
        malformed(e.what());
    }
}

void launchApplications(World& world, const json& scenario)
{
    for (const auto& definition : scenario.value("applications", json::array())) {
        // Logic's main window may ask for its content to be generated.
        json expanded = expandLogicMainWindows(definition);
        world.workspace.applications.push_back(Workspace::fromDefinition(expanded, world.workspace.applications.size()));
    }
    for (auto& app : world.workspace.applications) {
        if (!app.definition.value("running", true))
            continue;
        // A fixed pid (negative ones model processes the workspace lists without one).
        auto pid = app.definition.contains("pid") ? std::optional<pid_type>(app.definition["pid"].get<pid_type>()) : std::nullopt;
        launch(world, app, pid);
        app.terminated = app.definition.value("terminated", false);
    }
}

} // namespace

void buildWorld(World& world, const json& scenario)
{
    if (!scenario.is_object())
        malformed("the scenario must be a JSON object");
    try {
        readPermissions(world.permissions, scenario);
        readDesktop(world.desktop, scenario);
        world.transport.settings = TransportSettings {};
        world.transport.settings.merge(scenario.value("transport", json::object()));
        world.latency = Latency::fromScenario(scenario.value("latency", json()));
        world.volatility = Volatility::fromScenario(scenario.value("volatile", json()));
        world.dialogs.asSheets = scenario.value("sheets", std::set<std::string> {});
        readMovieAndExport(world, scenario);
        launchApplications(world, scenario);
        if (auto frontmost = scenario.value("frontmost", ""); !frontmost.empty())
            world.workspace.activate(frontmost);
        applyDisplayLanguage(world, scenario.value("language", "en"));
        world.document.merge(scenario.value("logic", json::object()));
        syncMarkerTrack(world);
        if (auto panel = scenario.value("pluginPanel", json()); panel.is_object() && !openInLogic(world, pluginPanelDefinition(panel), 0))
            malformed("a plug-in panel needs Logic running");
        if (auto colors = scenario.value("colorsWindow", json::object()); !colors.empty()) {
            if (auto position = colors.value("position", json()); position.is_array())
                world.colorsPanel.origin = { position.at(0).get<double>(), position.at(1).get<double>() };
            if (colors.value("open", false))
                openColorsWindowNow(world, std::nullopt);
        }
    } catch (const json::exception& e) {
        malformed(e.what());
    }
    updateDisplayFromPlayhead(world);
}

} // namespace mq::sim
