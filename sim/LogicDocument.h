// Logic's document as the helper's commands change it: the markers, the tracks
// and their regions, the left and right locators, the marker track's visibility
// and what is selected. Positions are seconds on the control bar's timeline.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mq::sim {

struct TransportSettings;

/// A colour of Logic's palette: a cell of the Colors grid, 0 to 95.
using ColorIndex = int;

struct Marker {
    double start { 0 };
    double end { 0 };
    std::string name;
    std::optional<ColorIndex> color;
};

struct Track {
    std::string name;
    std::optional<ColorIndex> color;
};

struct Region {
    std::size_t track { 0 };
    std::string name;
    double start { 0 };
    double length { 0 };
    std::optional<ColorIndex> color;
    std::string file;
    /// The audio file's sample rate; 0 when unknown.
    int sampleRate { 0 };
};

struct Locators {
    double left { 0 };
    double right { 0 };
};

/// What a plain click in the Colors window colours: the selected marker or region.
struct Selection {
    enum class Kind { none, marker, region };
    Kind kind { Kind::none };
    std::size_t index { 0 };
};

/// A name editor that is open: which marker or track its Return names.
struct Naming {
    enum class Kind { marker, track };
    Kind kind { Kind::marker };
    std::size_t index { 0 };
};

struct LogicDocument {
    std::vector<Marker> markers;
    std::vector<Track> tracks;
    std::vector<Region> regions;
    std::optional<Locators> locators;
    bool markerTrackShown { false };
    /// Where the marker track's popup shows its word: "description", "title" or "value".
    std::string markerTrackLabelAttribute { "description" };
    Selection selection;
    /// The track a Command click in the Colors window colours.
    std::optional<std::size_t> selectedTrack;
    std::optional<Naming> naming;
    /// The marker commands run since the last marker was made (2564, then 480).
    std::vector<std::uint32_t> markerSteps;

    /// Sets the fields named in `settings` (markers, tracks, regions, locators,
    /// markerTrackShown, markerTrackLabelAttribute, selection, selectedTrack).
    /// Throws std::runtime_error naming an unknown field or a malformed value;
    /// nothing changes then.
    void merge(const nlohmann::json& settings);
    /// The document as `state` reports it; positions also as the dialogs' labels.
    nlohmann::json describe(const TransportSettings& transport) const;
};

/// Logic makes a marker over the locators, ending at the project end at the
/// latest, selects it and answers its index; nothing without locators.
std::optional<std::size_t> addMarkerOverLocators(LogicDocument& document, double projectEndSeconds);

/// Adds an audio track named "Audio N" at the end and selects it (Logic's answer
/// to a file placed with no track selected); answers its index.
std::size_t addAudioTrackAtEnd(LogicDocument& document);

/// Logic's Delete key command: removes the selected marker or region and
/// answers which it was ("marker" or "region"); nothing when none is selected.
std::optional<std::string> deleteSelection(LogicDocument& document);

/// A click on colour cell `color`: with Command the selected track takes it,
/// otherwise the selected marker or region. False when nothing is selected.
bool colorSelection(LogicDocument& document, ColorIndex color, bool command);

} // namespace mq::sim
