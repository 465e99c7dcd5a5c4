#include "sim/snapshot/DocumentChanges.h"

#include "sim/snapshot/StateElements.h"

#include <cmath>
#include <cstdio>

namespace mq::sim {

namespace {

using nlohmann::json;

const json& listOf(const json& state, const char* name)
{
    static const json none = json::array();
    const json& logic = elements::objectMember(state, "logic");
    auto it = logic.find(name);
    return it != logic.end() && it->is_array() ? *it : none;
}

/// The item's name in quotes, as it reads (not escaped).
std::string quoted(const json& item) { return "\"" + item.value("name", "") + "\""; }

std::string colourText(const json& item)
{
    auto it = item.find("color");
    return it != item.end() && it->is_number_integer() ? std::to_string(it->get<int>()) : "none";
}

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", value);
    return text;
}

/// The differences of two versions of one item, as "name ..., colour a -> b".
std::string differences(const json& before, const json& after, const std::vector<const char*>& numbers)
{
    std::string out;
    auto add = [&](const std::string& part) { out += (out.empty() ? "" : ", ") + part; };
    if (before.value("name", "") != after.value("name", ""))
        add("renamed from " + quoted(before));
    if (colourText(before) != colourText(after))
        add("colour " + colourText(before) + " -> " + colourText(after));
    for (const char* field : numbers) {
        double a = before.value(field, 0.0), b = after.value(field, 0.0);
        if (std::fabs(a - b) > 1e-9)
            add(std::string(field) + " " + seconds(a) + " -> " + seconds(b));
    }
    if (before.value("track", -1) != after.value("track", -1))
        add("moved to track " + std::to_string(after.value("track", 0) + 1));
    return out;
}

} // namespace

DocumentChanges compareStates(const json& before, const json& after)
{
    DocumentChanges changes;
    const json& tracksBefore = listOf(before, "tracks");
    const json& tracksAfter = listOf(after, "tracks");
    for (std::size_t i = 0; i < tracksAfter.size(); ++i) {
        if (i >= tracksBefore.size()) {
            changes.tracks.push_back(Change::added);
            changes.lines.push_back("+ track " + std::to_string(i + 1) + " " + quoted(tracksAfter[i]) + ", colour " + colourText(tracksAfter[i]));
        } else if (std::string what = differences(tracksBefore[i], tracksAfter[i], {}); !what.empty()) {
            changes.tracks.push_back(Change::changed);
            changes.lines.push_back("~ track " + std::to_string(i + 1) + " " + quoted(tracksAfter[i]) + ": " + what);
        } else {
            changes.tracks.push_back(Change::same);
        }
    }
    for (std::size_t i = tracksAfter.size(); i < tracksBefore.size(); ++i)
        changes.lines.push_back("- track " + std::to_string(i + 1) + " " + quoted(tracksBefore[i]));

    const json& regionsBefore = listOf(before, "regions");
    const json& regionsAfter = listOf(after, "regions");
    for (std::size_t i = 0; i < regionsAfter.size(); ++i) {
        const json& region = regionsAfter[i];
        if (i >= regionsBefore.size()) {
            changes.regions.push_back(Change::added);
            changes.lines.push_back("+ region " + quoted(region) + " on track " + std::to_string(region.value("track", 0) + 1) + " at "
                + region.value("startLabel", seconds(region.value("start", 0.0))));
        } else if (std::string what = differences(regionsBefore[i], region, { "start", "length" }); !what.empty()) {
            changes.regions.push_back(Change::changed);
            changes.lines.push_back("~ region " + quoted(region) + ": " + what);
        } else {
            changes.regions.push_back(Change::same);
        }
    }
    for (std::size_t i = regionsAfter.size(); i < regionsBefore.size(); ++i)
        changes.lines.push_back("- region " + quoted(regionsBefore[i]));

    const json& markersBefore = listOf(before, "markers");
    const json& markersAfter = listOf(after, "markers");
    std::vector<bool> matched(markersBefore.size(), false);
    for (const json& marker : markersAfter) {
        double start = marker.value("start", 0.0);
        std::size_t found = markersBefore.size();
        for (std::size_t j = 0; j < markersBefore.size() && found == markersBefore.size(); ++j)
            if (!matched[j] && std::fabs(markersBefore[j].value("start", 0.0) - start) < 1e-6)
                found = j;
        if (found == markersBefore.size()) {
            changes.markers.push_back(Change::added);
            changes.lines.push_back("+ marker " + quoted(marker) + " at " + marker.value("startLabel", seconds(start)) + ", colour " + colourText(marker));
            continue;
        }
        matched[found] = true;
        std::string what = differences(markersBefore[found], marker, { "end" });
        changes.markers.push_back(what.empty() ? Change::same : Change::changed);
        if (!what.empty())
            changes.lines.push_back("~ marker " + quoted(marker) + ": " + what);
    }
    for (std::size_t j = 0; j < markersBefore.size(); ++j)
        if (!matched[j])
            changes.lines.push_back("- marker " + quoted(markersBefore[j]));

    const json& logicBefore = elements::objectMember(before, "logic");
    const json& logicAfter = elements::objectMember(after, "logic");
    changes.locators = elements::objectMember(logicBefore, "locators") != elements::objectMember(logicAfter, "locators");
    if (changes.locators) {
        const json& locators = elements::objectMember(logicAfter, "locators");
        changes.lines.push_back(locators.contains("left")
                ? "~ locators " + locators.value("leftLabel", seconds(locators.value("left", 0.0))) + " - "
                    + locators.value("rightLabel", seconds(locators.value("right", 0.0)))
                : "- locators");
    }
    double playBefore = elements::objectMember(before, "transport").value("playheadSeconds", 0.0);
    double playAfter = elements::objectMember(after, "transport").value("playheadSeconds", 0.0);
    changes.playhead = std::fabs(playBefore - playAfter) > 1e-9;
    if (changes.playhead)
        changes.lines.push_back("~ playhead " + seconds(playBefore) + " -> " + seconds(playAfter));
    return changes;
}

} // namespace mq::sim
