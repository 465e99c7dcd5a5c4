#include "sim/Transport.h"

#include "sim/DisplayWords.h"
#include "sim/World.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSampleRate = 48000;
constexpr int kSubframesPerFrame = 80;
constexpr int kBeatsPerBar = 4;
constexpr int kDivisionsPerBeat = 4;
constexpr int kTicksPerDivision = 240;

/// The layouts of the control bar's time display.
const char* const kDisplayLayouts[] = { "frames", "subframes", "quarterFrames", "samples", "secondsFraction", "barsAndBeats", "unknownFifth" };

const char* const kSliderKeys[] = { "smpte-hours", "smpte-minutes", "smpte-seconds", "smpte-frames", "smpte-subfield" };

/// One field of the display: its description, its number and how the number is written.
struct DisplayField {
    std::string description;
    long long value;
    int width; // digits when padded
};

std::vector<DisplayField> barFields(const DisplayWords& words, const TransportSettings& t, double seconds)
{
    double beats = (seconds - t.bar1Seconds) / t.barSeconds * kBeatsPerBar;
    auto ticks = static_cast<long long>(std::floor(beats * kDivisionsPerBeat * kTicksPerDivision + 1e-6));
    long long perBar = kBeatsPerBar * kDivisionsPerBeat * kTicksPerDivision;
    long long bar = (ticks >= 0 ? ticks / perBar : (ticks - perBar + 1) / perBar) + 1;
    long long inBar = ticks - (bar - 1) * perBar;
    long long values[4] = { bar, inBar / (kDivisionsPerBeat * kTicksPerDivision) + 1, inBar / kTicksPerDivision % kDivisionsPerBeat + 1,
        inBar % kTicksPerDivision + 1 };
    std::vector<DisplayField> fields;
    for (int i = 0; i < 4; ++i)
        fields.push_back({ words.bars[i], values[i], 1 });
    return fields;
}

/// The display's fields for `seconds`, left to right, from the simulator's one time label.
std::vector<DisplayField> displayFields(const std::string& layout, const DisplayWords& words, const TransportSettings& t, double seconds)
{
    if (layout == "barsAndBeats")
        return barFields(words, t, seconds);
    if (layout == "secondsFraction") {
        ClockLabel clock = clockLabel(seconds);
        return { { words.fields[0], clock.hours, 2 }, { words.fields[1], clock.minutes, 2 }, { words.fields[2], clock.seconds, 2 },
            { words.secondsFraction, std::clamp(static_cast<long long>(clock.fraction * 1000), 0LL, 999LL), 3 } };
    }
    TimeFormat format = t.timeFormat();
    TimeLabel label = frameLabel(seconds, format);
    std::vector<DisplayField> fields { { words.fields[0], label.hours, 2 }, { words.fields[1], label.minutes, 2 },
        { words.fields[2], label.seconds, 2 }, { words.fields[3], label.frames, 2 } };
    if (layout == "subframes")
        fields.push_back({ words.subframes, static_cast<long long>(label.withinFrame * kSubframesPerFrame), 2 });
    else if (layout == "quarterFrames")
        fields.push_back({ words.quarterFrames, static_cast<long long>(label.withinFrame * 4), 1 });
    else if (layout == "samples")
        fields.push_back({ words.samples, static_cast<long long>(label.withinFrame * kSampleRate / static_cast<double>(format.rate)), 1 });
    else if (layout == "unknownFifth")
        fields.push_back({ "Bits", static_cast<long long>(label.withinFrame * 100), 2 });
    return fields;
}

const DisplayWords& wordsOf(const World& world)
{
    const DisplayWords* words = displayWords(world.language);
    return words ? *words : kDisplayWords[0];
}

} // namespace

std::vector<Token> slidersOnScreen(const ElementTree& tree, const Element& display)
{
    std::vector<std::pair<double, Token>> sliders;
    for (Token t : display.children) {
        const Element& slider = tree.at(t);
        if (slider.role != "AXSlider")
            continue;
        double x = 0;
        if (auto position = slider.find("AXPosition"); position && *position)
            if (auto value = (*position)->get<platform::AXValue>())
                if (auto point = std::get_if<platform::CGPoint>(value))
                    x = point->x;
        sliders.emplace_back(x, t);
    }
    std::stable_sort(sliders.begin(), sliders.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Token> tokens;
    for (const auto& [x, token] : sliders)
        tokens.push_back(token);
    return tokens;
}

void updateDisplayFromPlayhead(World& world)
{
    const TransportSettings& t = world.transport.settings;
    if (!t.displayFollowsPlayhead)
        return;
    Element* display = world.tree.byKey("smpte-display");
    if (!display || !std::isfinite(t.playheadSeconds) || t.playheadSeconds < 0)
        return;
    auto fields = displayFields(t.controlBarLayout(), wordsOf(world), t, t.playheadSeconds);
    std::vector<Token> sliders = slidersOnScreen(world.tree, *display);
    for (std::size_t i = 0; i < sliders.size() && i < fields.size(); ++i) {
        Element& slider = world.tree.at(sliders[i]);
        slider.set("AXValueDescription", CFValue(digitsText(fields[i].value, fields[i].width, t.digits)));
        slider.set("AXValue", CFValue(static_cast<std::int64_t>(fields[i].value)));
    }
}

void advanceTransport(World& world)
{
    Transport& transport = world.transport;
    TransportSettings& t = transport.settings;
    if (!t.playing)
        return;
    auto now = Clock::now();
    // Someone else moved the playhead (set-playhead, Go to Position) or playing
    // began with the scenario: play on from there.
    if (t.playheadSeconds != transport.playheadWritten || transport.playStarted == Clock::time_point {}) {
        transport.playStartSeconds = t.playheadSeconds;
        transport.playStarted = now;
    }
    double seconds = transport.playStartSeconds + std::chrono::duration<double>(now - transport.playStarted).count();
    // Playing stops at the project end when the scenario sets one.
    double end = t.projectEndSeconds.value_or(std::numeric_limits<double>::infinity());
    if (seconds >= end) {
        seconds = end;
        t.playing = false;
    }
    t.playheadSeconds = seconds;
    transport.playheadWritten = seconds;
    updateDisplayFromPlayhead(world);
}

void startPlaying(World& world)
{
    Transport& transport = world.transport;
    transport.settings.playing = true;
    transport.settings.displayFollowsPlayhead = true;
    transport.playStartSeconds = transport.settings.playheadSeconds;
    transport.playheadWritten = transport.playStartSeconds;
    transport.playStarted = Clock::now();
    world.record({ { "type", "transport" }, { "playing", true }, { "seconds", transport.playStartSeconds } });
}

void stopPlaying(World& world)
{
    advanceTransport(world);
    world.transport.settings.playing = false;
    world.record({ { "type", "transport" }, { "playing", false }, { "seconds", world.transport.settings.playheadSeconds } });
}

void movePlayhead(World& world, double seconds)
{
    world.transport.settings.playheadSeconds = seconds;
    world.transport.settings.displayFollowsPlayhead = true;
    advanceTransport(world); // While playing, play on from the new position.
    updateDisplayFromPlayhead(world);
}

void rebuildTimeDisplay(World& world)
{
    Element* display = world.tree.byKey("smpte-display");
    if (!display)
        throw std::runtime_error("the scenario has no element 'smpte-display'");
    const TransportSettings& t = world.transport.settings;
    std::string layout = t.controlBarLayout();
    if (std::find(std::begin(kDisplayLayouts), std::end(kDisplayLayouts), layout) == std::end(kDisplayLayouts))
        throw std::runtime_error("unknown controlBarDisplay '" + layout
            + "' (frames, subframes, quarterFrames, samples, secondsFraction, barsAndBeats, unknownFifth)");
    auto fields = displayFields(layout, wordsOf(world), t, t.playheadSeconds);

    Token displayToken = display->token;
    pid_type pid = display->pid;
    world.tree.removeChildren(displayToken);
    // Left to right on screen; listed frames first when out of order.
    std::vector<json> sliders;
    for (std::size_t i = 0; i < fields.size(); ++i)
        sliders.push_back(json { { "key", kSliderKeys[i] }, { "role", "AXSlider" }, { "description", fields[i].description },
            { "valueDescription", digitsText(fields[i].value, fields[i].width, t.digits) }, { "value", fields[i].value },
            { "position", { 600 + 50 * static_cast<int>(i), 60 } }, { "size", { 40, 30 } } });
    if (t.slidersOutOfOrder)
        std::reverse(sliders.begin(), sliders.end());
    for (const json& definition : sliders) {
        Token slider = world.tree.build(definition, pid, displayToken);
        world.tree.at(displayToken).children.push_back(slider);
    }
    updateDisplayFromPlayhead(world);
}

void setControlBarHidden(World& world, bool hidden)
{
    Transport& transport = world.transport;
    if (hidden) {
        if (transport.hiddenControlBar)
            return;
        Element* bar = world.tree.byKey("control-bar");
        if (!bar)
            throw std::runtime_error("the scenario has no element 'control-bar'");
        transport.hiddenControlBar = world.tree.definitionOf(*bar);
        transport.hiddenControlBarWindow = bar->parent;
        Token token = bar->token;
        if (Element* parent = world.tree.find(bar->parent)) {
            auto at = std::find(parent->children.begin(), parent->children.end(), token);
            transport.hiddenControlBarIndex = static_cast<std::size_t>(at - parent->children.begin());
            parent->children.erase(at);
        }
        world.tree.removeSubtree(token);
        world.record({ { "type", "controlBar" }, { "hidden", true } });
        return;
    }
    if (!transport.hiddenControlBar)
        return;
    json definition = std::move(*transport.hiddenControlBar);
    transport.hiddenControlBar.reset();
    Element* window = world.tree.find(transport.hiddenControlBarWindow);
    if (!window)
        return; // Its window is gone: so is the bar.
    Token bar = world.tree.build(definition, window->pid, window->token);
    auto& children = world.tree.at(transport.hiddenControlBarWindow).children;
    children.insert(children.begin() + static_cast<std::ptrdiff_t>(std::min(transport.hiddenControlBarIndex, children.size())), bar);
    updateDisplayFromPlayhead(world);
    world.record({ { "type", "controlBar" }, { "hidden", false } });
}

void applyDisplayLanguage(World& world, const std::string& language)
{
    const DisplayWords* words = displayWords(language);
    if (!words)
        throw std::runtime_error("unknown display language '" + language + "' (en, de, es, fr, ja, ko, zh)");
    world.language = language;
    if (Element* bar = world.tree.byKey("control-bar"))
        bar->set("AXDescription", CFValue(words->controlBar));
    // A display whose layout was chosen is built again in the new words; the
    // scenario's own display only has its four time fields renamed.
    if (world.transport.settings.controlBarDisplay) {
        rebuildTimeDisplay(world);
        return;
    }
    if (Element* display = world.tree.byKey("smpte-display")) {
        size_t index = 0;
        for (Token t : slidersOnScreen(world.tree, *display))
            if (index < 4)
                world.tree.at(t).set("AXDescription", CFValue(words->fields[index++]));
    }
}

} // namespace mq::sim
