// The transport and the control bar's time display: a playhead that moves in real
// time while playing, the display's field layouts (frames, subframes, quarter
// frames, samples, seconds fraction, bars and beats, an unknown fifth field), a
// hidden control bar, sliders listed out of screen order, and the desktop states
// that the project close watcher cares about (screen lock, sleep, session).
#include "sim/DisplayWords.h"
#include "sim/Model.h"

#include "platform/Workspace.h"
#include "platform/linux/LogicSimWire.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace mq::sim {

namespace wire = platform::wire;
namespace names = platform::notifications;

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

std::string twoDigits(long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%02lld", value);
    return text;
}

bool flag(const json& args, const char* name)
{
    auto it = args.find(name);
    if (it == args.end() || !it->is_boolean())
        throw std::runtime_error(std::string("missing boolean argument \"") + name + "\"");
    return it->get<bool>();
}

/// The display's fields for `seconds`: description and value text, left to right.
std::vector<std::pair<std::string, std::string>> displayFields(const std::string& layout, const DisplayWords& words, const json& transport,
    double seconds)
{
    double fps = transport.value("frameRate", 25.0);
    if (!(fps > 0))
        fps = 25;
    long long perSecond = std::max(1LL, static_cast<long long>(std::llround(fps)));
    double exactFrames = std::max(0.0, seconds) * fps;
    auto frames = static_cast<long long>(std::floor(exactFrames + 1e-6));
    double withinFrame = std::clamp(exactFrames - static_cast<double>(frames), 0.0, 0.999999);
    long long wholeSeconds = frames / perSecond;

    std::vector<std::pair<std::string, std::string>> fields;
    if (layout == "barsAndBeats") {
        double barSeconds = transport.value("barSeconds", 2.0);
        double beats = (seconds - transport.value("bar1Seconds", 0.0)) / barSeconds * kBeatsPerBar;
        auto ticks = static_cast<long long>(std::floor(beats * kDivisionsPerBeat * kTicksPerDivision + 1e-6));
        long long perBar = kBeatsPerBar * kDivisionsPerBeat * kTicksPerDivision;
        long long bar = (ticks >= 0 ? ticks / perBar : (ticks - perBar + 1) / perBar) + 1;
        long long inBar = ticks - (bar - 1) * perBar;
        long long values[4] = { bar, inBar / (kDivisionsPerBeat * kTicksPerDivision) + 1, inBar / kTicksPerDivision % kDivisionsPerBeat + 1,
            inBar % kTicksPerDivision + 1 };
        for (int i = 0; i < 4; ++i)
            fields.emplace_back(words.bars[i], std::to_string(values[i]));
        return fields;
    }

    fields.emplace_back(words.fields[0], twoDigits(wholeSeconds / 3600));
    fields.emplace_back(words.fields[1], twoDigits(wholeSeconds / 60 % 60));
    fields.emplace_back(words.fields[2], twoDigits(wholeSeconds % 60));
    if (layout == "secondsFraction") {
        double fraction = std::max(0.0, seconds) - std::floor(std::max(0.0, seconds));
        char text[16];
        std::snprintf(text, sizeof text, "%03d", std::clamp(static_cast<int>(fraction * 1000), 0, 999));
        fields.emplace_back(words.secondsFraction, text);
        return fields;
    }
    fields.emplace_back(words.fields[3], twoDigits(frames % perSecond));
    if (layout == "subframes")
        fields.emplace_back(words.subframes, twoDigits(static_cast<long long>(withinFrame * kSubframesPerFrame)));
    else if (layout == "quarterFrames")
        fields.emplace_back(words.quarterFrames, std::to_string(static_cast<int>(withinFrame * 4)));
    else if (layout == "samples")
        fields.emplace_back(words.samples, std::to_string(static_cast<long long>(withinFrame * kSampleRate / fps)));
    else if (layout == "unknownFifth")
        fields.emplace_back("Bits", twoDigits(static_cast<long long>(withinFrame * 100)));
    return fields;
}

std::int64_t numberOf(const std::string& text)
{
    try {
        return std::stoll(text);
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

std::vector<Token> Model::slidersOnScreen(const Element& display) const
{
    std::vector<std::pair<double, Token>> sliders;
    for (Token t : display.children) {
        const Element& slider = m_elements.at(t);
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

void Model::updateDisplayFromPlayhead()
{
    if (!m_transport.value("displayFollowsPlayhead", true))
        return;
    Element* display = elementByKey("smpte-display");
    if (!display)
        return;
    double seconds = m_transport.value("playheadSeconds", 0.0);
    if (!std::isfinite(seconds) || seconds < 0)
        return;
    const DisplayWords* words = displayWords(m_language);
    std::string layout = m_transport.value("controlBarDisplay", "frames");
    auto fields = displayFields(layout, words ? *words : kDisplayWords[0], m_transport, seconds);
    std::vector<Token> sliders = slidersOnScreen(*display);
    for (std::size_t i = 0; i < sliders.size() && i < fields.size(); ++i) {
        Element& slider = m_elements[sliders[i]];
        slider.set("AXValueDescription", CFValue(fields[i].second));
        slider.set("AXValue", CFValue(numberOf(fields[i].second)));
    }
}

void Model::advanceTransport()
{
    if (!m_transport.value("playing", false))
        return;
    auto now = Clock::now();
    double playhead = m_transport.value("playheadSeconds", 0.0);
    // Someone else moved the playhead (set-playhead, Go to Position) or playing
    // began with the scenario: play on from there.
    if (playhead != m_playheadWritten || m_playStarted == Clock::time_point {}) {
        m_playStartSeconds = playhead;
        m_playStarted = now;
    }
    double seconds = m_playStartSeconds + std::chrono::duration<double>(now - m_playStarted).count();
    double end = m_transport.value("projectEndSeconds", std::numeric_limits<double>::infinity());
    if (seconds >= end) {
        seconds = end;
        m_transport["playing"] = false;
    }
    m_transport["playheadSeconds"] = seconds;
    m_playheadWritten = seconds;
    updateDisplayFromPlayhead();
}

void Model::startPlaying()
{
    m_transport["playing"] = true;
    m_transport["displayFollowsPlayhead"] = true;
    m_playStartSeconds = m_transport.value("playheadSeconds", 0.0);
    m_playheadWritten = m_playStartSeconds;
    m_playStarted = Clock::now();
    log({ { "type", "transport" }, { "playing", true }, { "seconds", m_playStartSeconds } });
}

void Model::stopPlaying()
{
    advanceTransport();
    m_transport["playing"] = false;
    log({ { "type", "transport" }, { "playing", false }, { "seconds", m_transport.value("playheadSeconds", 0.0) } });
}

void Model::rebuildTimeDisplay()
{
    Element* display = elementByKey("smpte-display");
    if (!display)
        throw std::runtime_error("the scenario has no element 'smpte-display'");
    std::string layout = m_transport.value("controlBarDisplay", "frames");
    if (std::find(std::begin(kDisplayLayouts), std::end(kDisplayLayouts), layout) == std::end(kDisplayLayouts))
        throw std::runtime_error("unknown controlBarDisplay '" + layout
            + "' (frames, subframes, quarterFrames, samples, secondsFraction, barsAndBeats, unknownFifth)");
    const DisplayWords* words = displayWords(m_language);
    auto fields = displayFields(layout, words ? *words : kDisplayWords[0], m_transport, m_transport.value("playheadSeconds", 0.0));

    Token displayToken = display->token;
    pid_type pid = display->pid;
    std::vector<Token> old = display->children;
    display->children.clear();
    for (Token t : old)
        removeSubtree(t);

    // Left to right on screen; listed frames first when out of order.
    std::vector<json> sliders;
    for (std::size_t i = 0; i < fields.size(); ++i)
        sliders.push_back(json { { "key", kSliderKeys[i] }, { "role", "AXSlider" }, { "description", fields[i].first },
            { "valueDescription", fields[i].second }, { "value", numberOf(fields[i].second) },
            { "position", { 600 + 50 * static_cast<int>(i), 60 } }, { "size", { 40, 30 } } });
    if (m_transport.value("slidersOutOfOrder", false))
        std::reverse(sliders.begin(), sliders.end());
    std::vector<std::pair<Token, json>> references;
    for (const json& definition : sliders) {
        Token slider = addElement(definition, pid, displayToken, references);
        m_elements[displayToken].children.push_back(slider);
    }
    resolveReferences(references);
    updateDisplayFromPlayhead();
}

json Model::definitionOf(const Element& element) const
{
    json definition { { "role", element.role } };
    if (!element.key.empty())
        definition["key"] = element.key;
    json attributes = json::object();
    for (const auto& [name, value] : element.attributes)
        attributes[name] = value ? wire::encode(*value) : json(nullptr);
    definition["attributes"] = attributes;
    definition["actions"] = element.actions;
    definition["settable"] = element.settable;
    if (!element.press.empty())
        definition["press"] = element.press;
    definition["focusable"] = element.focusable;
    json children = json::array();
    for (Token child : element.children)
        children.push_back(definitionOf(m_elements.at(child)));
    definition["children"] = children;
    return definition;
}

void Model::setControlBarHidden(bool hidden)
{
    if (hidden) {
        if (!m_hiddenControlBar.is_null())
            return;
        Element* bar = elementByKey("control-bar");
        if (!bar)
            throw std::runtime_error("the scenario has no element 'control-bar'");
        m_hiddenControlBar = definitionOf(*bar);
        m_hiddenControlBarWindow = bar->parent;
        Token token = bar->token;
        if (Element* parent = element(bar->parent))
            std::erase(parent->children, token);
        removeSubtree(token);
        log({ { "type", "controlBar" }, { "hidden", true } });
        return;
    }
    if (m_hiddenControlBar.is_null())
        return;
    json definition = std::move(m_hiddenControlBar);
    m_hiddenControlBar = nullptr;
    Element* window = element(m_hiddenControlBarWindow);
    if (!window)
        return; // Its window is gone: so is the bar.
    std::vector<std::pair<Token, json>> references;
    Token bar = addElement(definition, window->pid, window->token, references);
    auto& children = m_elements[m_hiddenControlBarWindow].children;
    children.insert(children.begin(), bar);
    resolveReferences(references);
    updateDisplayFromPlayhead();
    log({ { "type", "controlBar" }, { "hidden", false } });
}

std::optional<json> Model::transportControl(const std::string& command, const json& args)
{
    const json ok { { "ok", true } };
    if (command == "set-transport") {
        // Merges the given settings (frame rate, project end, display layouts,
        // playing...).
        if (!args.is_object())
            throw std::runtime_error("set-transport takes an object");
        bool wasPlaying = m_transport.value("playing", false);
        json previous = m_transport;
        for (const auto& [name, value] : args.items())
            m_transport[name] = value;
        if (args.contains("playing")) {
            m_transport["playing"] = wasPlaying;
            if (args["playing"].get<bool>() && !wasPlaying)
                startPlaying();
            else if (!args["playing"].get<bool>() && wasPlaying)
                stopPlaying();
        }
        if (args.contains("controlBarDisplay") || args.contains("slidersOutOfOrder")) {
            try {
                rebuildTimeDisplay();
            } catch (const std::exception&) {
                m_transport = previous;
                throw;
            }
        }
        updateDisplayFromPlayhead();
        return ok;
    }
    if (command == "play") {
        if (!m_transport.value("playing", false))
            startPlaying();
        return ok;
    }
    if (command == "stop") {
        if (m_transport.value("playing", false))
            stopPlaying();
        return json { { "ok", true }, { "playheadSeconds", m_transport.value("playheadSeconds", 0.0) } };
    }
    if (command == "set-playhead") {
        m_transport["playheadSeconds"] = args.at("seconds").get<double>();
        m_transport["displayFollowsPlayhead"] = true;
        advanceTransport(); // While playing, play on from the new position.
        updateDisplayFromPlayhead();
        return ok;
    }
    if (command == "set-control-bar") {
        setControlBarHidden(flag(args, "hidden"));
        return ok;
    }
    if (command == "save-as") {
        Element* window = elementByKey(args.value("window", ""));
        if (!window || window->role != "AXWindow")
            throw std::runtime_error("no window '" + args.value("window", "") + "'");
        window->set("AXDocument", CFValue(args.at("document").get<std::string>()));
        if (args.contains("title"))
            window->set("AXTitle", CFValue(args["title"].get<std::string>()));
        log({ { "type", "saveAs" }, { "window", window->key }, { "document", args["document"] } });
        return ok;
    }
    // Desktop states: each changes the session dictionary where the platform
    // would, and posts the notification the platform posts.
    auto sessionEntry = [&](const char* name, bool value) {
        if (!m_session.is_object())
            m_session = json::object();
        m_session[name] = value;
    };
    if (command == "set-screen-lock") {
        bool locked = flag(args, "locked");
        sessionEntry("CGSSessionScreenIsLocked", locked);
        broadcastNotification("distributed", locked ? names::screenIsLocked : names::screenIsUnlocked);
        return ok;
    }
    if (command == "set-screens-asleep") {
        broadcastNotification("workspace", flag(args, "asleep") ? names::screensDidSleep : names::screensDidWake);
        return ok;
    }
    if (command == "set-system-asleep") {
        broadcastNotification("workspace", flag(args, "asleep") ? names::willSleep : names::didWake);
        return ok;
    }
    if (command == "set-session-active") {
        bool active = flag(args, "active");
        sessionEntry("kCGSSessionOnConsoleKey", active);
        broadcastNotification("workspace", active ? names::sessionDidBecomeActive : names::sessionDidResignActive);
        return ok;
    }
    return std::nullopt;
}

} // namespace mq::sim
