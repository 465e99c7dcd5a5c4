// The transport's settings as JSON, and the commands that play, stop, move the
// playhead and shape the control bar's display.
#include "sim/Commands.h"
#include "sim/MarkerTrack.h"
#include "sim/Transport.h"
#include "sim/World.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

namespace {

template<typename T>
T typed(const std::string& name, const json& value)
{
    try {
        return value.get<T>();
    } catch (const json::exception&) {
        throw std::runtime_error("transport setting \"" + name + "\" has the wrong type: " + value.dump());
    }
}

double number(const std::string& name, const json& value)
{
    if (!value.is_number())
        throw std::runtime_error("transport setting \"" + name + "\" must be a number: " + value.dump());
    return value.get<double>();
}

void setField(TransportSettings& t, const std::string& name, const json& value)
{
    if (name == "frameRate")
        t.frameRate = number(name, value);
    else if (name == "dropFrame")
        t.dropFrame = typed<bool>(name, value);
    else if (name == "playheadSeconds")
        t.playheadSeconds = number(name, value);
    else if (name == "playing")
        t.playing = typed<bool>(name, value);
    else if (name == "displayFollowsPlayhead")
        t.displayFollowsPlayhead = typed<bool>(name, value);
    else if (name == "projectEndSeconds")
        t.projectEndSeconds = value.is_null() ? std::nullopt : std::optional<double>(number(name, value));
    else if (name == "bar1Seconds")
        t.bar1Seconds = number(name, value);
    else if (name == "barSeconds")
        t.barSeconds = number(name, value);
    else if (name == "controlBarDisplay")
        t.controlBarDisplay = value.is_null() ? std::nullopt : std::optional<std::string>(typed<std::string>(name, value));
    else if (name == "slidersOutOfOrder")
        t.slidersOutOfOrder = typed<bool>(name, value);
    else if (name == "displayLayout")
        t.displayLayout = typed<std::string>(name, value);
    else if (name == "dialogFields")
        t.dialogFields = typed<std::string>(name, value);
    else if (name == "smpteViewOffsetSeconds")
        t.smpteViewOffsetSeconds = number(name, value);
    else if (name == "digits") {
        auto style = digitStyleNamed(typed<std::string>(name, value));
        if (!style)
            throw std::runtime_error("transport setting \"digits\" must be padded, unpadded, fullwidth or arabicIndic");
        t.digits = *style;
    } else
        throw std::runtime_error("unknown transport setting \"" + name + "\"");
}

const char* digitStyleName(DigitStyle style)
{
    switch (style) {
    case DigitStyle::padded:
        return "padded";
    case DigitStyle::unpadded:
        return "unpadded";
    case DigitStyle::fullwidth:
        return "fullwidth";
    case DigitStyle::arabicIndic:
        return "arabicIndic";
    }
    return "padded";
}

json setTransport(World& world, const json& args)
{
    if (!args.is_object())
        throw std::runtime_error("set-transport takes an object");
    TransportSettings& t = world.transport.settings;
    TransportSettings previous = t;
    TransportSettings merged = t;
    merged.merge(args);
    merged.playing = previous.playing; // playing starts and stops below, with its clock
    t = merged;
    if (args.contains("playing")) {
        if (args["playing"].get<bool>() && !previous.playing)
            startPlaying(world);
        else if (!args["playing"].get<bool>() && previous.playing)
            stopPlaying(world);
    }
    if (args.contains("controlBarDisplay") || args.contains("slidersOutOfOrder")) {
        try {
            rebuildTimeDisplay(world);
        } catch (const std::exception&) {
            t = previous;
            throw;
        }
    }
    updateDisplayFromPlayhead(world);
    return okReply();
}

json setDisplay(World& world, const json& args)
{
    Element* display = world.tree.byKey("smpte-display");
    if (!display)
        throw std::runtime_error("the scenario has no element 'smpte-display'");
    world.transport.settings.displayFollowsPlayhead = false;
    std::vector<Token> sliders = slidersOnScreen(world.tree, *display);
    for (const char* field : { "values", "descriptions" }) {
        if (!args.contains(field))
            continue;
        const json& list = args[field];
        for (size_t i = 0; i < list.size() && i < sliders.size(); ++i)
            world.tree.at(sliders[i]).set(std::string(field) == "values" ? "AXValueDescription" : "AXDescription",
                list[i].is_null() ? std::nullopt : std::optional<CFValue>(CFValue(list[i].get<std::string>())));
    }
    return okReply();
}

} // namespace

void TransportSettings::merge(const json& settings)
{
    if (!settings.is_object())
        throw std::runtime_error("transport settings must be an object");
    TransportSettings merged = *this;
    for (const auto& [name, value] : settings.items())
        setField(merged, name, value);
    *this = merged;
}

json TransportSettings::describe() const
{
    json out { { "frameRate", frameRate }, { "dropFrame", dropFrame }, { "playheadSeconds", playheadSeconds }, { "playing", playing },
        { "displayFollowsPlayhead", displayFollowsPlayhead }, { "projectEndSeconds", projectEndSeconds ? json(*projectEndSeconds) : json(nullptr) }, { "bar1Seconds", bar1Seconds },
        { "barSeconds", barSeconds }, { "slidersOutOfOrder", slidersOutOfOrder }, { "displayLayout", displayLayout },
        { "dialogFields", dialogFields }, { "smpteViewOffsetSeconds", smpteViewOffsetSeconds }, { "digits", digitStyleName(digits) } };
    out["controlBarDisplay"] = controlBarDisplay ? json(*controlBarDisplay) : json(nullptr);
    return out;
}

void addTransportCommands(CommandMap& commands)
{
    commands.add("set-transport", setTransport);
    commands.add("set-display", setDisplay);
    commands.add("play", [](World& world, const json&) {
        if (!world.transport.settings.playing)
            startPlaying(world);
        return okReply();
    });
    commands.add("stop", [](World& world, const json&) {
        if (world.transport.settings.playing)
            stopPlaying(world);
        return json { { "ok", true }, { "playheadSeconds", world.transport.settings.playheadSeconds } };
    });
    commands.add("set-playhead", [](World& world, const json& args) {
        movePlayhead(world, args.at("seconds").get<double>());
        return okReply();
    });
    commands.add("set-control-bar", [](World& world, const json& args) {
        setControlBarHidden(world, boolArgument(args, "hidden"));
        return okReply();
    });
    commands.add("set-language", [](World& world, const json& args) {
        applyDisplayLanguage(world, stringArgument(args, "language"));
        syncMarkerTrack(world); // the marker track's header speaks the new language too
        return okReply();
    });
}

} // namespace mq::sim
