// Logic's movie: the "Open Movie" file dialog with its go-to-folder field, the
// movie options window Logic shows for some movies, loading (which takes time in
// proportion to the movie's length), the movie's window, and the movie region
// with its alignment to the movie's start.
//
// The file dialog (key "open-movie", modal, title "Open Movie"): Cmd-Shift-G
// opens the go-to-folder sheet ("go-to-folder", its field focused); Cmd-V pastes
// the pasteboard's text; Return in the sheet goes to the path: a file is chosen,
// a folder is shown, and a path that does not exist keeps the sheet open with
// Logic's message ("The folder can’t be found."). Return without the sheet
// presses Open, which does nothing until a file is chosen. Opening reads the
// file's length and frame rate with libavformat; a file that is not a movie is
// refused with an alert.
//
// The movie options window (key "movie-options", AXFloatingWindow, six children;
// the second a check box, the fourth "OK") shows when `optionsCheckbox` is set;
// OK goes on with loading, Cancel drops the movie.
//
// Stored actions: 1320 follows a loaded movie (its region is placed at bar 1, and
// the movie's start is the playhead's position); 1306 selects the movie region;
// 1346 moves the selected region to the movie's start.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace mq::sim {

struct World;
struct Dialogs;

struct MovieSettings {
    /// Shows the movie options window with its check box at this value (0 or 1).
    std::optional<int> optionsCheckbox;
    /// Loading takes loadBaseMs plus loadMsPerMovieSecond for each second of movie.
    int loadBaseMs { 300 };
    double loadMsPerMovieSecond { 100 };

    /// Merges the fields of `patch`; throws std::runtime_error for an unknown one.
    void merge(const nlohmann::json& patch);
    nlohmann::json describe() const;
};

struct LoadedMovie {
    std::string path;
    std::string name;
    double durationSeconds { 0 };
    double frameRate { 0 };
    /// The options window's check box when OK was pressed (nothing without one).
    std::optional<int> optionsCheckbox;
};

struct MovieRegion {
    double startSeconds { 0 };
    double lengthSeconds { 0 };
    bool selected { false };
};

struct Movie {
    MovieSettings settings;
    /// The file the open dialog has chosen.
    std::string chosenPath;
    /// A movie on its way: read, waiting for the options window or loading.
    std::optional<LoadedMovie> pending;
    std::optional<LoadedMovie> loaded;
    /// Where the movie starts in the project (the playhead when 1320 ran).
    std::optional<double> startSeconds;
    std::optional<MovieRegion> region;

    /// Whether the movie region starts at the movie's start.
    bool aligned() const;
    nlohmann::json describe() const;
};

/// Registers the behaviours of the open dialog and the options window.
void registerMovieBehaviors(Dialogs& dialogs);

/// Logic's "Open Movie…" (1194): the file dialog opens after the window-open delay.
void requestOpenMovieDialog(World& world);
/// 1320: places the loaded movie's region and takes the movie's start.
void placeLoadedMovie(World& world);
/// 1306: selects the movie region.
void selectMovieRegion(World& world);
/// 1346: moves the selected movie region to the movie's start.
void alignMovieRegion(World& world);

} // namespace mq::sim
