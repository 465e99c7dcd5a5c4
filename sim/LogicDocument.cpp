#include "sim/LogicDocument.h"

#include "sim/Transport.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace mq::sim {

using nlohmann::json;

namespace {

[[noreturn]] void refuse(const std::string& why) { throw std::runtime_error("logic: " + why); }

std::optional<ColorIndex> colorOf(const json& value, const char* what)
{
    if (value.is_null())
        return std::nullopt;
    if (!value.is_number_integer() || value.get<int>() < 0 || value.get<int>() > 95)
        refuse(std::string(what) + " colour must be null or 0 to 95");
    return value.get<int>();
}

json colorJSON(const std::optional<ColorIndex>& color) { return color ? json(*color) : json(nullptr); }

// hh:mm:ss:ff at the project's frame rate, as Logic's marker list shows positions.
std::string label(double seconds, const TransportSettings& transport)
{
    TimeLabel l = frameLabel(seconds, transport.timeFormat());
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld:%02lld", l.hours, l.minutes, l.seconds, l.frames);
    return text;
}

Marker markerFrom(const json& m)
{
    Marker marker { m.at("start").get<double>(), m.at("end").get<double>(), m.value("name", ""), colorOf(m.value("color", json()), "a marker's") };
    if (marker.end < marker.start)
        refuse("a marker cannot end before it starts");
    return marker;
}

Track trackFrom(const json& t) { return Track { t.value("name", ""), colorOf(t.value("color", json()), "a track's") }; }

Region regionFrom(const json& r)
{
    return Region { r.value("track", std::size_t(0)), r.value("name", ""), r.at("start").get<double>(), r.at("length").get<double>(),
        colorOf(r.value("color", json()), "a region's"), r.value("file", ""), r.value("sampleRate", 0) };
}

Selection selectionFrom(const json& s)
{
    if (s.is_null())
        return {};
    auto kind = s.at("kind").get<std::string>();
    if (kind != "marker" && kind != "region")
        refuse("a selection is a marker or a region");
    return Selection { kind == "marker" ? Selection::Kind::marker : Selection::Kind::region, s.at("index").get<std::size_t>() };
}

} // namespace

void LogicDocument::merge(const json& settings)
{
    if (!settings.is_object())
        refuse("set-logic takes an object");
    LogicDocument next = *this;
    try {
        for (const auto& [key, value] : settings.items()) {
            if (key == "markers") {
                next.markers.clear();
                for (const auto& m : value)
                    next.markers.push_back(markerFrom(m));
            } else if (key == "tracks") {
                next.tracks.clear();
                for (const auto& t : value)
                    next.tracks.push_back(trackFrom(t));
            } else if (key == "regions") {
                next.regions.clear();
                for (const auto& r : value)
                    next.regions.push_back(regionFrom(r));
            } else if (key == "locators") {
                next.locators = value.is_null() ? std::nullopt
                                                : std::optional<Locators>(Locators { value.at("left").get<double>(), value.at("right").get<double>() });
            } else if (key == "markerTrackShown") {
                next.markerTrackShown = value.get<bool>();
            } else if (key == "markerTrackLabelAttribute") {
                auto attribute = value.get<std::string>();
                if (attribute != "description" && attribute != "title" && attribute != "value")
                    refuse("markerTrackLabelAttribute is description, title or value");
                next.markerTrackLabelAttribute = attribute;
            } else if (key == "selection") {
                next.selection = selectionFrom(value);
            } else if (key == "selectedTrack") {
                next.selectedTrack = value.is_null() ? std::nullopt : std::optional<std::size_t>(value.get<std::size_t>());
            } else {
                refuse("unknown field '" + key + "'");
            }
        }
    } catch (const json::exception& e) {
        refuse(e.what());
    }
    *this = std::move(next);
}

json LogicDocument::describe(const TransportSettings& transport) const
{
    json markerList = json::array();
    for (const Marker& m : markers)
        markerList.push_back(json { { "start", m.start }, { "end", m.end }, { "startLabel", label(m.start, transport) },
            { "endLabel", label(m.end, transport) }, { "name", m.name }, { "color", colorJSON(m.color) } });
    json trackList = json::array();
    for (std::size_t i = 0; i < tracks.size(); ++i)
        trackList.push_back(json { { "name", tracks[i].name }, { "color", colorJSON(tracks[i].color) }, { "selected", selectedTrack == i } });
    json regionList = json::array();
    for (std::size_t i = 0; i < regions.size(); ++i) {
        const Region& r = regions[i];
        regionList.push_back(json { { "track", r.track }, { "name", r.name }, { "start", r.start }, { "length", r.length },
            { "startLabel", label(r.start, transport) }, { "color", colorJSON(r.color) }, { "file", r.file },
            { "sampleRate", r.sampleRate }, { "selected", selection.kind == Selection::Kind::region && selection.index == i } });
    }
    json selected = nullptr;
    if (selection.kind != Selection::Kind::none)
        selected = json { { "kind", selection.kind == Selection::Kind::marker ? "marker" : "region" }, { "index", selection.index } };
    json locatorState = nullptr;
    if (locators)
        locatorState = json { { "left", locators->left }, { "right", locators->right }, { "leftLabel", label(locators->left, transport) },
            { "rightLabel", label(locators->right, transport) } };
    json namingState = nullptr;
    if (naming)
        namingState = json { { "kind", naming->kind == Naming::Kind::marker ? "marker" : "track" }, { "index", naming->index } };
    return json { { "markers", markerList }, { "tracks", trackList }, { "regions", regionList }, { "locators", locatorState },
        { "markerTrackShown", markerTrackShown }, { "markerTrackLabelAttribute", markerTrackLabelAttribute }, { "selection", selected },
        { "selectedTrack", selectedTrack ? json(*selectedTrack) : json(nullptr) }, { "naming", namingState } };
}

std::optional<std::size_t> addMarkerOverLocators(LogicDocument& document, double projectEndSeconds)
{
    if (!document.locators)
        return std::nullopt;
    // A marker lives inside the project: it ends at the project end at the latest.
    double start = std::min(document.locators->left, projectEndSeconds);
    double end = std::clamp(document.locators->right, start, projectEndSeconds);
    document.markers.push_back(Marker { start, end, "", std::nullopt });
    std::size_t index = document.markers.size() - 1;
    document.selection = Selection { Selection::Kind::marker, index };
    return index;
}

std::size_t addAudioTrackAtEnd(LogicDocument& document)
{
    document.tracks.push_back(Track { "Audio " + std::to_string(document.tracks.size() + 1), std::nullopt });
    document.selectedTrack = document.tracks.size() - 1;
    return document.tracks.size() - 1;
}

std::optional<std::string> deleteSelection(LogicDocument& document)
{
    Selection s = std::exchange(document.selection, Selection {});
    if (s.kind == Selection::Kind::marker && s.index < document.markers.size()) {
        document.markers.erase(document.markers.begin() + static_cast<std::ptrdiff_t>(s.index));
        return "marker";
    }
    if (s.kind == Selection::Kind::region && s.index < document.regions.size()) {
        document.regions.erase(document.regions.begin() + static_cast<std::ptrdiff_t>(s.index));
        return "region";
    }
    return std::nullopt;
}

bool colorSelection(LogicDocument& document, ColorIndex color, bool command)
{
    if (command) {
        if (!document.selectedTrack || *document.selectedTrack >= document.tracks.size())
            return false;
        document.tracks[*document.selectedTrack].color = color;
        return true;
    }
    const Selection& s = document.selection;
    if (s.kind == Selection::Kind::marker && s.index < document.markers.size()) {
        document.markers[s.index].color = color;
        return true;
    }
    if (s.kind == Selection::Kind::region && s.index < document.regions.size()) {
        document.regions[s.index].color = color;
        return true;
    }
    return false;
}

} // namespace mq::sim
