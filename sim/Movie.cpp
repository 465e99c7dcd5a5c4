#include "sim/Movie.h"

#include "sim/Dialogs.h"
#include "sim/ElementDefinitions.h"
#include "sim/MovieFile.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/InputEvents.h"

#include <filesystem>
#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

namespace {

constexpr const char* kOpenDialog = "open-movie";
constexpr const char* kGoToSheet = "go-to-folder";
constexpr const char* kOptionsWindow = "movie-options";
constexpr const char* kMovieWindow = "movie-window";
constexpr const char* kFolderNotFound = "The folder can’t be found.";

json openDialogDefinition()
{
    return json { { "role", "AXWindow" }, { "key", kOpenDialog }, { "title", "Open Movie" }, { "subrole", "AXDialog" }, { "modal", true },
        { "behavior", kOpenDialog }, { "defaultButton", "open-movie-open" }, { "cancelButton", "open-movie-cancel" },
        { "children",
            json::array({ staticTextDefinition("open-movie-location", "Movies"), staticTextDefinition("open-movie-message", ""),
                buttonDefinition("open-movie-cancel", "Cancel", "cancel"), buttonDefinition("open-movie-open", "Open") }) } };
}

json goToSheetDefinition()
{
    return json { { "role", "AXSheet" }, { "key", kGoToSheet },
        { "children",
            json::array({ staticTextDefinition("go-to-folder-label", "Go to the folder:"),
                json { { "role", "AXTextField" }, { "key", "go-to-folder-field" } }, staticTextDefinition("go-to-folder-message", "") }) } };
}

json optionsWindowDefinition(int checkbox, const std::string& movieName)
{
    return json { { "role", "AXWindow" }, { "key", kOptionsWindow }, { "title", "Open Movie" }, { "subrole", "AXFloatingWindow" },
        { "behavior", kOptionsWindow }, { "focusedWindow", true },
        { "children",
            json::array({ staticTextDefinition("movie-options-title", "Options for “" + movieName + "”"),
                json { { "role", "AXCheckBox" }, { "key", "movie-options-extract" }, { "title", "Extract audio to a new track" }, { "value", checkbox },
                    { "actions", json::array({ "AXPress" }) } },
                staticTextDefinition("movie-options-note", "The movie’s audio can be extracted later."),
                buttonDefinition("movie-options-ok", "OK"), buttonDefinition("movie-options-cancel", "Cancel"),
                staticTextDefinition("movie-options-format", "") }) } };
}

void setText(World& world, const std::string& key, const std::string& value)
{
    if (Element* e = world.tree.byKey(key))
        e->set("AXValue", CFValue(value));
}

void removeChildWindowPart(World& world, Element& window, const std::string& key)
{
    Element* part = world.tree.byKey(key);
    if (!part)
        return;
    Token token = part->token;
    std::erase(window.children, token);
    world.tree.removeSubtree(token);
    window.focusedField = 0;
}

// Loading ends with the movie's own window; a movie already open is replaced.
void startLoading(World& world)
{
    if (!world.movie.pending)
        return;
    auto delay = std::chrono::milliseconds(world.movie.settings.loadBaseMs
        + static_cast<long long>(world.movie.pending->durationSeconds * world.movie.settings.loadMsPerMovieSecond));
    world.record({ { "type", "movieLoading" }, { "path", world.movie.pending->path }, { "afterMs", delay.count() } });
    world.keepLogicBusy(delay, "movieLoad");
    world.later(delay, [](World& w) {
        Application* logic = w.workspace.logic();
        if (!w.movie.pending || !logic || !logic->alive())
            return;
        if (Element* old = w.tree.byKey(kMovieWindow))
            removeWindow(w, old->token);
        w.movie.loaded = std::exchange(w.movie.pending, std::nullopt);
        w.movie.startSeconds.reset();
        w.movie.region.reset();
        addWindow(w, *logic,
            json { { "role", "AXWindow" }, { "key", kMovieWindow }, { "title", w.movie.loaded->name }, { "subrole", "AXDialog" },
                { "children", json::array({ json { { "role", "AXImage" }, { "key", "movie-frame" } } }) } },
            true);
        w.record({ { "type", "movieLoaded" }, { "name", w.movie.loaded->name } });
    });
}

// Open with a file chosen: Logic reads the movie, then asks about it or loads it.
void openChosenMovie(World& world, Element& dialog)
{
    std::string path = world.movie.chosenPath;
    closeDialog(world, dialog, true);
    Application* logic = world.workspace.logic();
    auto read = readMovieFile(path);
    std::string name = std::filesystem::path(path).filename().string();
    if (!read) {
        world.record({ { "type", "movieOpenFailed" }, { "path", path }, { "reason", read.error() } });
        if (logic)
            addWindow(world, *logic, alertDefinition("movie-alert", "The movie “" + name + "” could not be opened."), true);
        return;
    }
    const MovieFileInfo& info = read.value();
    world.movie.pending = LoadedMovie { path, name, info.durationSeconds, info.frameRate, std::nullopt };
    if (world.movie.settings.optionsCheckbox && logic)
        openWindowAfterDelay(world, *logic, optionsWindowDefinition(*world.movie.settings.optionsCheckbox, name));
    else
        startLoading(world);
}

// Return in the go-to-folder sheet: go to the path typed or pasted there.
void goToTypedPath(World& world, Element& dialog)
{
    Element* field = world.tree.byKey("go-to-folder-field");
    std::string path = field ? field->string("AXValue").value_or("") : "";
    std::error_code error;
    auto status = std::filesystem::status(path, error);
    world.record({ { "type", "goToFolder" }, { "path", path } });
    if (path.empty() || error || !std::filesystem::exists(status)) {
        setText(world, "go-to-folder-message", kFolderNotFound);
        setText(world, "open-movie-message", kFolderNotFound);
        return;
    }
    bool isFile = std::filesystem::is_regular_file(status);
    world.movie.chosenPath = isFile ? path : "";
    setText(world, "open-movie-location", isFile ? std::filesystem::path(path).parent_path().string() : path);
    setText(world, "open-movie-message", "");
    removeChildWindowPart(world, dialog, kGoToSheet);
}

class OpenMovieDialogBehavior final : public DialogBehavior {
public:
    bool keyDown(World& world, Element& dialog, const KeyPress& key) override
    {
        bool command = key.flags & platform::eventflags::command;
        bool shift = key.flags & platform::eventflags::shift;
        bool sheetShown = world.tree.byKey(kGoToSheet) != nullptr;
        if (command && shift && (key.text == "g" || key.text == "G")) {
            if (!sheetShown) {
                Token sheet = world.tree.build(goToSheetDefinition(), dialog.pid, dialog.token);
                dialog.children.push_back(sheet);
                if (Element* field = world.tree.byKey("go-to-folder-field"))
                    dialog.focusedField = field->token;
            }
            return true;
        }
        if (sheetShown && key.virtualKey == platform::keycode::returnKey) {
            goToTypedPath(world, dialog);
            return true;
        }
        if (sheetShown && key.virtualKey == platform::keycode::escape) {
            removeChildWindowPart(world, dialog, kGoToSheet);
            return true;
        }
        return false;
    }

    bool pressed(World& world, Element& dialog, Element& element) override
    {
        if (element.key != "open-movie-open")
            return false;
        if (!world.movie.chosenPath.empty())
            openChosenMovie(world, dialog);
        return true; // Open does nothing until a file is chosen
    }

    void closing(World& world, Element&, bool) override { world.movie.chosenPath.clear(); }
};

class MovieOptionsBehavior final : public DialogBehavior {
public:
    bool pressed(World& world, Element& window, Element& element) override
    {
        if (element.key == "movie-options-ok") {
            Element* box = world.tree.byKey("movie-options-extract");
            auto value = box ? box->find("AXValue") : nullptr;
            const std::int64_t* on = value && *value ? (*value)->get<std::int64_t>() : nullptr;
            if (world.movie.pending)
                world.movie.pending->optionsCheckbox = on ? static_cast<int>(*on) : 0;
            removeWindow(world, window.token);
            startLoading(world);
            return true;
        }
        if (element.key == "movie-options-cancel") {
            world.movie.pending.reset();
            removeWindow(world, window.token);
            return true;
        }
        return false;
    }
};

} // namespace

void MovieSettings::merge(const json& patch)
{
    for (const auto& [name, value] : patch.items()) {
        if (name == "optionsCheckbox")
            optionsCheckbox = value.is_null() ? std::nullopt : std::optional<int>(value.get<int>());
        else if (name == "loadBaseMs")
            loadBaseMs = value.get<int>();
        else if (name == "loadMsPerMovieSecond")
            loadMsPerMovieSecond = value.get<double>();
        else
            throw std::runtime_error("unknown movie setting '" + name + "'");
    }
}

json MovieSettings::describe() const
{
    return json { { "optionsCheckbox", optionsCheckbox ? json(*optionsCheckbox) : json(nullptr) }, { "loadBaseMs", loadBaseMs },
        { "loadMsPerMovieSecond", loadMsPerMovieSecond } };
}

bool Movie::aligned() const { return region && startSeconds && region->startSeconds == *startSeconds; }

json Movie::describe() const
{
    auto movie = [](const std::optional<LoadedMovie>& m) -> json {
        if (!m)
            return nullptr;
        return json { { "path", m->path }, { "name", m->name }, { "durationSeconds", m->durationSeconds }, { "frameRate", m->frameRate },
            { "optionsCheckbox", m->optionsCheckbox ? json(*m->optionsCheckbox) : json(nullptr) } };
    };
    json r = region ? json { { "startSeconds", region->startSeconds }, { "lengthSeconds", region->lengthSeconds }, { "selected", region->selected } }
                    : json(nullptr);
    return json { { "settings", settings.describe() }, { "chosenPath", chosenPath }, { "pending", movie(pending) }, { "loaded", movie(loaded) },
        { "startSeconds", startSeconds ? json(*startSeconds) : json(nullptr) }, { "region", r }, { "aligned", aligned() } };
}

void registerMovieBehaviors(Dialogs& dialogs)
{
    dialogs.behaviors[kOpenDialog] = std::make_shared<OpenMovieDialogBehavior>();
    dialogs.behaviors[kOptionsWindow] = std::make_shared<MovieOptionsBehavior>();
}

void requestOpenMovieDialog(World& world)
{
    if (Application* logic = world.workspace.logic())
        openWindowAfterDelay(world, *logic, openDialogDefinition());
}

void placeLoadedMovie(World& world)
{
    Movie& movie = world.movie;
    if (!movie.loaded) {
        world.record({ { "type", "movieNotPlaced" }, { "reason", "no movie is loaded" } });
        return;
    }
    movie.startSeconds = world.transport.settings.playheadSeconds;
    movie.region = MovieRegion { world.transport.settings.bar1Seconds, movie.loaded->durationSeconds, false };
}

void selectMovieRegion(World& world)
{
    if (world.movie.region)
        world.movie.region->selected = true;
}

void alignMovieRegion(World& world)
{
    Movie& movie = world.movie;
    if (!movie.region || !movie.region->selected || !movie.startSeconds) {
        world.record({ { "type", "movieNotAligned" }, { "reason", "no movie region is selected" } });
        return;
    }
    movie.region->startSeconds = *movie.startSeconds;
    world.record({ { "type", "movieAligned" }, { "startSeconds", *movie.startSeconds } });
}

} // namespace mq::sim
