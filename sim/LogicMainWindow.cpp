#include "sim/LogicMainWindow.h"

#include <stdexcept>
#include <string>

namespace mq::sim {

using nlohmann::json;

namespace {

// Where the areas sit in the 1600 x 1000 window (below the control bar).
constexpr int kToolbarTop = 110;
constexpr int kAreasTop = 150;
constexpr int kTrackHeight = 40;

json frame(int x, int y, int w, int h) { return json { { "position", { x, y } }, { "size", { w, h } } }; }

json element(const char* role, const std::string& description, const json& where, json children = json::array())
{
    json e { { "role", role }, { "description", description }, { "children", std::move(children) } };
    e.update(where);
    return e;
}

json toolbar()
{
    static const char* const buttons[] = { "Library", "Inspector", "Toolbar", "Smart Controls", "Mixer", "Editors", "List Editors",
        "Note Pads", "Loop Browser", "Browsers", "Cycle", "Replace", "Tuner", "Solo", "Count-in", "Metronome", "Autopunch", "Low Latency" };
    json children = json::array();
    int x = 10;
    for (const char* name : buttons) {
        children.push_back(element("AXButton", name, frame(x, kToolbarTop + 5, 30, 30)));
        x += 40;
    }
    return element("AXToolbar", "Toolbar", frame(0, kToolbarTop, 1600, 40), children);
}

json channelStrip(const std::string& name, int x)
{
    json strip = json::array();
    int y = 600;
    for (const char* slot : { "Setting", "EQ", "Input", "Audio FX 1", "Audio FX 2", "Audio FX 3", "Send 1", "Send 2", "Output", "Group", "Automation" }) {
        strip.push_back(element("AXButton", name + " " + slot, frame(x, y, 110, 18)));
        y += 20;
    }
    json pan = element("AXSlider", name + " Pan", frame(x, y, 30, 30));
    pan["value"] = 0;
    json volume = element("AXSlider", name + " Volume", frame(x, y + 40, 30, 120));
    volume["value"] = 0;
    strip.push_back(pan);
    strip.push_back(volume);
    for (const char* button : { "Mute", "Solo", "Record", "Input Monitoring", "Bounce" })
        strip.push_back(element("AXCheckBox", name + " " + button, frame(x, y + 170, 20, 20)));
    strip.push_back(json { { "role", "AXStaticText" }, { "value", name } });
    return element("AXGroup", name + " Channel Strip", frame(x, 600, 120, 400), strip);
}

json inspector()
{
    json region = json::array();
    for (const char* setting : { "Mute", "Loop", "Quantize", "Q-Swing", "Transpose", "Fine Tune", "Flatten", "Gain", "Delay", "Fade In",
             "Fade Out", "Speed Up", "Slow Down" })
        region.push_back(element("AXStaticText", setting, frame(10, kAreasTop + 20, 230, 18)));
    json track = json::array();
    for (const char* setting : { "Icon", "Channel", "Freeze Mode", "Q-Reference", "Flex Mode", "Groove Track" })
        track.push_back(element("AXStaticText", setting, frame(10, kAreasTop + 300, 230, 18)));
    return element("AXGroup", "Inspector", frame(0, kAreasTop, 250, 850),
        json::array({ element("AXGroup", "Region Inspector", frame(0, kAreasTop, 250, 280), region),
            element("AXGroup", "Track Inspector", frame(0, kAreasTop + 280, 250, 170), track), channelStrip("Audio 1", 5),
            channelStrip("Stereo Out", 130) }));
}

json trackHeaders(int tracks)
{
    json headers = json::array();
    for (int t = 0; t < tracks; ++t) {
        std::string name = "Audio " + std::to_string(t + 1);
        int y = kAreasTop + t * kTrackHeight;
        json controls = json::array({ element("AXImage", name + " Icon", frame(255, y, 20, 20)),
            json { { "role", "AXStaticText" }, { "value", name }, { "position", { 280, y } }, { "size", { 100, 20 } } },
            element("AXCheckBox", "Mute", frame(390, y, 16, 16)), element("AXCheckBox", "Solo", frame(410, y, 16, 16)),
            element("AXCheckBox", "Record Enable", frame(430, y, 16, 16)), element("AXSlider", "Volume", frame(450, y, 30, 16)),
            element("AXSlider", "Pan", frame(480, y, 16, 16)) });
        headers.push_back(element("AXGroup", name, frame(250, y, 250, kTrackHeight), controls));
    }
    json list = element("AXGroup", "Track Headers", frame(250, kAreasTop, 250, 850), headers);
    list["key"] = "track-headers";
    return list;
}

json tracksArea(int tracks, int regionsPerTrack)
{
    json lanes = json::array();
    for (int t = 0; t < tracks; ++t) {
        int y = kAreasTop + t * kTrackHeight;
        json regions = json::array();
        for (int r = 0; r < regionsPerTrack; ++r) {
            std::string name = "Audio " + std::to_string(t + 1) + "#" + std::to_string(r + 1);
            int x = 500 + r * 40;
            regions.push_back(element("AXLayoutItem", name, frame(x, y, 38, kTrackHeight - 4),
                json::array({ json { { "role", "AXStaticText" }, { "value", name }, { "position", { x, y } }, { "size", { 38, 12 } } } })));
        }
        lanes.push_back(element("AXGroup", "Track " + std::to_string(t + 1), frame(500, y, 800, kTrackHeight), regions));
    }
    json area = element("AXLayoutArea", "Tracks", frame(500, kAreasTop, 800, 850), lanes);
    area["key"] = "tracks-area";
    return area;
}

json library(int categories, int patches)
{
    json columns = json::array();
    for (int c = 0; c < categories; ++c) {
        json rows = json::array();
        for (int p = 0; p < patches; ++p)
            rows.push_back(json { { "role", "AXStaticText" }, { "value", "Patch " + std::to_string(c + 1) + "." + std::to_string(p + 1) } });
        columns.push_back(element("AXGroup", "Category " + std::to_string(c + 1), frame(1300, kAreasTop + c * 60, 300, 60), rows));
    }
    return element("AXGroup", "Library", frame(1300, kAreasTop, 300, 850), columns);
}

int count(const json& settings, const char* name, int fallback, int most)
{
    int value = settings.value(name, fallback);
    if (value < 0 || value > most)
        throw std::runtime_error(std::string("logicContent.") + name + " must be from 0 to " + std::to_string(most));
    return value;
}

} // namespace

LogicContent LogicContent::fromScenario(const json& settings)
{
    if (!settings.is_object())
        throw std::runtime_error("logicContent must be an object");
    LogicContent content;
    content.tracks = count(settings, "tracks", content.tracks, 1000);
    content.regionsPerTrack = count(settings, "regionsPerTrack", content.regionsPerTrack, 1000);
    content.libraryCategories = count(settings, "libraryCategories", content.libraryCategories, 100);
    content.patchesPerCategory = count(settings, "patchesPerCategory", content.patchesPerCategory, 1000);
    return content;
}

json logicMainWindowChildren(const LogicContent& content)
{
    return json::array({ toolbar(), inspector(), trackHeaders(content.tracks), tracksArea(content.tracks, content.regionsPerTrack),
        library(content.libraryCategories, content.patchesPerCategory) });
}

json expandLogicMainWindows(const json& application)
{
    if (!application.is_object() || !application.contains("windows"))
        return application;
    json expanded = application;
    for (auto& window : expanded["windows"]) {
        if (!window.is_object() || !window.contains("logicContent"))
            continue;
        LogicContent content = LogicContent::fromScenario(window["logicContent"]);
        window.erase("logicContent");
        json children = logicMainWindowChildren(content);
        for (auto& child : window.value("children", json::array()))
            children.push_back(std::move(child));
        window["children"] = std::move(children);
    }
    return expanded;
}

} // namespace mq::sim
