#include "sim/ExportDialog.h"

#include "sim/Accessibility.h"
#include "sim/BounceFile.h"
#include "sim/Dialogs.h"
#include "sim/ElementDefinitions.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

namespace {

constexpr const char* kBehavior = "export";
constexpr const char* kPanel = "save-panel";
constexpr const char* kNameField = "save-panel-name";
constexpr const char* kExportButton = "save-panel-export";
constexpr const char* kCancelButton = "save-panel-cancel";
constexpr const char* kProgressWindow = "bounce-progress";
// A simulator need not write an hour of audio: longer ranges are cut to a minute.
constexpr double kLongestBounceSeconds = 60;

std::string exportDirectory(const World& world)
{
    if (!world.exportDialog.settings.directory.empty())
        return world.exportDialog.settings.directory;
    std::error_code error;
    auto temporary = std::filesystem::temp_directory_path(error);
    return error ? "/tmp" : temporary.string();
}

// The project's name as Logic offers it: its main window's title up to " - ".
std::string projectName(World& world)
{
    Application* logic = world.workspace.logic();
    Element* main = logic && logic->mainWindow ? world.tree.find(logic->mainWindow) : nullptr;
    std::string title = main ? main->string("AXTitle").value_or("") : "";
    title = title.substr(0, title.find(" - "));
    return title.empty() ? "Untitled" : title;
}

json panelChildren(const std::string& name, const std::string& directory)
{
    return json::array({ staticTextDefinition("save-panel-name-label", "Save As:"),
        json { { "role", "AXTextField" }, { "key", kNameField }, { "identifier", "saveAsNameTextField" }, { "value", name } },
        staticTextDefinition("save-panel-where", directory), buttonDefinition(kCancelButton, "Cancel", "cancel"),
        buttonDefinition(kExportButton, "Export") });
}

json exportDialogDefinition(World& world)
{
    return json { { "role", "AXWindow" }, { "key", kPanel }, { "identifier", kPanel }, { "title", "Bounce “" + projectName(world) + "”" },
        { "subrole", "AXDialog" }, { "modal", true }, { "behavior", kBehavior }, { "defaultButton", kExportButton },
        { "cancelButton", kCancelButton }, { "children", panelChildren(projectName(world), exportDirectory(world)) } };
}

// The range Logic bounces: the movie region when there is one, else the project.
double bounceSeconds(const World& world)
{
    if (world.movie.region)
        return world.movie.region->lengthSeconds;
    const TransportSettings& t = world.transport.settings;
    return std::min(t.projectEnd() - t.bar1Seconds, kLongestBounceSeconds);
}

std::string fileNameFor(std::string name)
{
    std::replace(name.begin(), name.end(), '/', ':');
    if (name.size() < 4 || name.substr(name.size() - 4) != ".wav")
        name += ".wav";
    return name;
}

// Export: the dialog closes, a progress window shows while Logic bounces, and the
// file is written when it is done.
void startExport(World& world, Element& dialog, const std::string& name)
{
    Application* logic = world.workspace.logic();
    std::string file = (std::filesystem::path(exportDirectory(world)) / fileNameFor(name)).string();
    double seconds = bounceSeconds(world);
    closeDialog(world, dialog, true);
    if (!logic)
        return;
    // Logic prepares the bounce before its progress window shows; its main
    // thread is busy from the panel closing to the bounce's end.
    auto gap = world.latency.exportGap();
    // At least a millisecond: the progress window shows before the bounce ends.
    auto delay = std::max(std::chrono::milliseconds(1),
        std::chrono::milliseconds(static_cast<long long>(seconds * world.exportDialog.settings.bounceMsPerSecond)));
    world.keepLogicBusy(gap + delay, "bounce");
    world.record({ { "type", "bounceStarted" }, { "file", file }, { "seconds", seconds }, { "gapMs", gap.count() }, { "afterMs", delay.count() } });
    const std::string title = "Bouncing “" + fileNameFor(name) + "”";
    world.later(gap, [title](World& w) {
        if (Application* l = w.workspace.logic(); l && l->alive())
            addWindow(w, *l,
                json { { "role", "AXWindow" }, { "key", kProgressWindow }, { "title", title }, { "subrole", "AXDialog" }, { "modal", true },
                    { "children", json::array({ json { { "role", "AXProgressIndicator" }, { "key", "bounce-progress-bar" } } }) } },
                true);
    });
    world.later(gap + delay, [file, seconds](World& w) {
        json result { { "result", "exported" }, { "file", file }, { "seconds", seconds } };
        if (auto failure = writeBounceFile(file, seconds))
            result["error"] = *failure;
        w.exportDialog.results.push_back(result);
        if (Element* progress = w.tree.byKey(kProgressWindow))
            removeWindow(w, progress->token);
        w.record({ { "type", "bounceFinished" }, { "file", file } });
    });
}

class ExportDialogBehavior final : public DialogBehavior {
public:
    bool pressed(World& world, Element& dialog, Element& element) override
    {
        if (element.key != kExportButton)
            return false;
        Element* field = world.tree.byKey(kNameField);
        std::string name = field ? field->string("AXValue").value_or("") : "";
        if (!name.empty()) // Export does nothing without a name
            startExport(world, dialog, name);
        return true;
    }

    void closing(World& world, Element&, bool confirmed) override
    {
        if (!confirmed)
            world.exportDialog.results.push_back(json { { "result", "cancelled" } });
    }
};

} // namespace

ExportUser exportUserFrom(const json& definition)
{
    if (!definition.is_object())
        throw std::runtime_error("an export user must be an object");
    ExportUser user;
    if (auto it = definition.find("name"); it != definition.end() && !it->is_null())
        user.name = it->get<std::string>();
    user.press = definition.value("press", "export");
    if (user.press != "export" && user.press != "cancel" && user.press != "none")
        throw std::runtime_error("press must be export, cancel or none");
    user.afterMs = definition.value("afterMs", 0);
    user.pressAfterTypingMs = definition.value("pressAfterTypingMs", user.pressAfterTypingMs);
    return user;
}

void ExportSettings::merge(const json& patch)
{
    for (const auto& [name, value] : patch.items()) {
        if (name == "directory") {
            directory = value.get<std::string>();
        } else if (name == "bounceMsPerSecond") {
            bounceMsPerSecond = value.get<double>();
        } else if (name == "user") {
            user = value.is_null() ? std::nullopt : std::optional<ExportUser>(exportUserFrom(value));
        } else {
            throw std::runtime_error("unknown export setting '" + name + "'");
        }
    }
}

json ExportSettings::describe() const
{
    json u = nullptr;
    if (user)
        u = json { { "name", user->name ? json(*user->name) : json(nullptr) }, { "press", user->press }, { "afterMs", user->afterMs },
            { "pressAfterTypingMs", user->pressAfterTypingMs } };
    return json { { "directory", directory }, { "bounceMsPerSecond", bounceMsPerSecond }, { "user", u } };
}

void registerExportBehaviors(Dialogs& dialogs) { dialogs.behaviors[kBehavior] = std::make_shared<ExportDialogBehavior>(); }

void requestExportDialog(World& world)
{
    Application* logic = world.workspace.logic();
    if (!logic)
        return;
    openWindowAfterDelay(world, *logic, exportDialogDefinition(world), [](World& w, Token) {
        if (!w.exportDialog.settings.user)
            return;
        ExportUser user = *w.exportDialog.settings.user;
        w.later(std::chrono::milliseconds(user.afterMs), [user](World& later) {
            if (later.tree.byKey(kPanel))
                actAtExportPanel(later, user);
        });
    });
}

void actAtExportPanel(World& world, const ExportUser& user)
{
    if (!world.tree.byKey(kPanel))
        throw std::runtime_error("no export panel is open");
    if (user.name) {
        if (Element* field = world.tree.byKey(kNameField))
            field->set("AXValue", CFValue(*user.name));
        world.record({ { "type", "exportUserTyped" }, { "name", *user.name } });
    }
    const char* button = user.press == "export" ? kExportButton : user.press == "cancel" ? kCancelButton : nullptr;
    if (!button)
        return;
    Token panel = world.tree.byKey(kPanel)->token;
    world.later(std::chrono::milliseconds(user.name ? user.pressAfterTypingMs : 0), [panel, button](World& w) {
        // The panel the user typed into; one that closed meanwhile is not pressed.
        Element* target = w.tree.find(panel) ? w.tree.byKey(button) : nullptr;
        if (target)
            perform(w, *target, "AXPress", false);
    });
}

} // namespace mq::sim
