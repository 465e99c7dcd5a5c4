#include "sim/GoToPositionDialog.h"

#include "sim/Dialogs.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include <cmath>
#include <cstdio>

namespace mq::sim {

using nlohmann::json;

namespace {

constexpr const char* kBehavior = "goToPosition";
constexpr const char* kDialogKey = "go-to-position";

// How the dialog writes time: the layout and, for the seconds-fraction layout,
// how many digits of the fraction it shows.
struct DialogLayout {
    std::string name; // frames, subframes, quarterFrames, samples, secondsFraction
    int fractionDigits { 0 };

    explicit DialogLayout(const TransportSettings& t)
        : name(t.displayLayout)
    {
        if (name.rfind("secondsFraction", 0) == 0) {
            auto colon = name.find(':');
            fractionDigits = colon == std::string::npos ? 3 : std::clamp(std::atoi(name.c_str() + colon + 1), 3, 9);
            name = "secondsFraction";
        }
    }
    std::size_t fieldCount() const { return name == "frames" || name == "secondsFraction" ? 4 : 5; }
};

long long power10(int digits)
{
    long long p = 1;
    while (digits-- > 0)
        p *= 10;
    return p;
}

// The dialog's fields for `seconds`: hh, mm, ss, then ff and a sub-field, or the
// fraction of a second for the seconds-fraction layout.
std::vector<std::string> fields(double seconds, const TransportSettings& t)
{
    DialogLayout layout(t);
    auto text = [&](long long value, int width) { return digitsText(value, width, t.digits); };
    if (layout.name == "secondsFraction") {
        ClockLabel clock = clockLabel(seconds);
        long long scale = power10(layout.fractionDigits);
        auto fraction = std::min(static_cast<long long>(std::floor(clock.fraction * static_cast<double>(scale) + 1e-6)), scale - 1);
        return { text(clock.hours, 2), text(clock.minutes, 2), text(clock.seconds, 2), text(fraction, layout.fractionDigits) };
    }
    TimeFormat format = t.timeFormat();
    TimeLabel label = frameLabel(seconds, format);
    std::vector<std::string> out { text(label.hours, 2), text(label.minutes, 2), text(label.seconds, 2), text(label.frames, 2) };
    if (layout.name == "subframes")
        out.push_back(text(std::min(79LL, static_cast<long long>(label.withinFrame * 80)), 2));
    else if (layout.name == "quarterFrames")
        out.push_back(text(std::min(3LL, static_cast<long long>(label.withinFrame * 4)), 1));
    else if (layout.name == "samples")
        out.push_back(text(static_cast<long long>(label.withinFrame * 48000.0 / static_cast<double>(format.rate)), 4));
    return out;
}

std::string joined(const std::vector<std::string>& parts, const DialogLayout& layout)
{
    std::string text = parts[0] + ":" + parts[1] + ":" + parts[2];
    if (layout.name == "secondsFraction")
        return text + "," + parts[3];
    text += ":" + parts[3];
    if (parts.size() > 4)
        text += (layout.name == "subframes" ? "." : layout.name == "quarterFrames" ? "/" : ",") + parts[4];
    return text;
}

} // namespace

void showTimecodeInGroup(World& world, Element& group, double seconds)
{
    const TransportSettings& t = world.transport.settings;
    auto parts = fields(seconds, t);
    if (t.dialogFields == "children") {
        for (size_t i = 0; i < group.children.size() && i < parts.size(); ++i)
            if (Element* child = world.tree.find(group.children[i]))
                child->set("AXValueDescription", CFValue(parts[i]));
    } else {
        group.set("AXValue", CFValue(joined(parts, DialogLayout(t))));
    }
}

json timecodeGroupDefinition(const std::string& key, const std::string& description, const TransportSettings& t)
{
    json group { { "key", key }, { "role", "AXGroup" }, { "description", description } };
    if (t.dialogFields == "children") {
        static const char* names[] = { "Hours", "Minutes", "Seconds", "Frames", "Subframes" };
        group["children"] = json::array();
        for (size_t i = 0; i < DialogLayout(t).fieldCount(); ++i)
            group["children"].push_back({ { "role", "AXStaticText" }, { "description", names[i] } });
    } else {
        group["value"] = "";
    }
    return group;
}

namespace {

json dialogDefinition(const TransportSettings& t)
{
    return json {
        { "key", kDialogKey },
        { "role", "AXWindow" },
        { "subrole", "AXDialog" },
        { "title", "Go to Position" },
        { "modal", true },
        { "behavior", kBehavior },
        { "defaultButton", "go-to-position-ok" },
        { "cancelButton", "go-to-position-cancel" },
        { "children",
            json::array({
                timecodeGroupDefinition("go-to-position-current", "Current Position", t),
                json { { "key", "go-to-position-bars" }, { "role", "AXGroup" }, { "description", "New Position (Bars)" }, { "value", "" } },
                timecodeGroupDefinition("go-to-position-smpte", "New Position (SMPTE)", t),
                json { { "key", "go-to-position-bar-field" }, { "role", "AXTextField" }, { "description", "Bar Position" }, { "focused", true } },
                json { { "key", "go-to-position-smpte-field" }, { "role", "AXTextField" }, { "description", "SMPTE Position" } },
                json { { "key", "go-to-position-ok" }, { "role", "AXButton" }, { "title", "OK" }, { "press", "confirm" } },
                json { { "key", "go-to-position-cancel" }, { "role", "AXButton" }, { "title", "Cancel" }, { "press", "cancel" } },
            }) },
    };
}

// The dialog shows the playhead as it is when the window appears.
void showCurrentPosition(World& world)
{
    const TransportSettings& t = world.transport.settings;
    double shown = t.playheadSeconds - t.smpteViewOffsetSeconds;
    for (const char* key : { "go-to-position-current", "go-to-position-smpte" })
        if (Element* group = world.tree.byKey(key))
            showTimecodeInGroup(world, *group, shown);
    world.record({ { "type", "goToPosition.opened" }, { "shown", dialogTimecodeText(shown, t) } });
}

// Bar positions "bar beat division tick" through a fixed tempo.
std::optional<double> parseBarPosition(const std::string& text, const TransportSettings& t)
{
    long long bar = 0, beat = 1;
    int read = std::sscanf(text.c_str(), "%lld %lld", &bar, &beat);
    if (read < 1 || bar < 1 || beat < 1)
        return std::nullopt;
    return t.bar1Seconds + static_cast<double>(bar - 1) * t.barSeconds + static_cast<double>(beat - 1) * t.barSeconds / 4;
}

class GoToPositionBehavior final : public DialogBehavior {
public:
    void fieldCommitted(World& world, Element& dialog, Element& field) override
    {
        std::string text = field.string("AXValue").value_or("");
        m_takenText[field.token] = text;
        const TransportSettings& t = world.transport.settings;
        std::optional<double> position; // on the timeline, control-bar time
        if (field.key == "go-to-position-bar-field") {
            position = parseBarPosition(text, t);
            if (position)
                if (Element* group = world.tree.byKey("go-to-position-bars"))
                    group->set("AXValue", CFValue(text));
        } else if (field.key == "go-to-position-smpte-field") {
            if (auto dialogSeconds = parseTypedTimecode(text, t))
                position = *dialogSeconds + t.smpteViewOffsetSeconds;
        }
        if (!position) {
            world.record({ { "type", "goToPosition.ignored" }, { "field", field.key }, { "text", text } });
            return;
        }
        double clamped = std::clamp(*position, 0.0, t.projectEnd());
        m_entered[dialog.token] = clamped;
        if (Element* group = world.tree.byKey("go-to-position-smpte"))
            showTimecodeInGroup(world, *group, clamped - t.smpteViewOffsetSeconds);
        world.record({ { "type", "goToPosition.entered" }, { "field", field.key }, { "text", text }, { "seconds", clamped } });
    }

    void closing(World& world, Element& dialog, bool confirmed) override
    {
        // Confirming ends the edit of the focused field: Logic takes what was
        // typed there since Tab last left it.
        if (Element* field = world.tree.find(dialog.focusedField); confirmed && field) {
            std::string text = field->string("AXValue").value_or("");
            auto taken = m_takenText.find(field->token);
            if (!text.empty() && (taken == m_takenText.end() || taken->second != text))
                fieldCommitted(world, dialog, *field);
        }
        for (Token f : world.tree.focusableFields(dialog))
            m_takenText.erase(f);
        auto entered = m_entered.find(dialog.token);
        if (entered == m_entered.end())
            return;
        if (confirmed) {
            movePlayhead(world, entered->second);
            world.record({ { "type", "goToPosition.moved" }, { "seconds", entered->second } });
        }
        m_entered.erase(entered);
    }

private:
    std::map<Token, double> m_entered;
    /// The text each field had when Logic last took it.
    std::map<Token, std::string> m_takenText;
};

} // namespace

std::string dialogTimecodeText(double seconds, const TransportSettings& transport)
{
    return joined(fields(seconds, transport), DialogLayout(transport));
}

std::optional<double> parseTypedTimecode(const std::string& text, const TransportSettings& transport)
{
    DialogLayout layout(transport);
    std::vector<long long> pieces;
    std::string digits;
    for (char c : text + ":") {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
            if (digits.size() > 9)
                return std::nullopt;
        } else if (!digits.empty()) {
            pieces.push_back(std::stoll(digits));
            digits.clear();
        }
    }
    if (pieces.size() < 4 || pieces.size() > 5)
        return std::nullopt;
    if (layout.name == "secondsFraction") {
        if (pieces.size() != 4 || pieces[1] > 59 || pieces[2] > 59)
            return std::nullopt;
        return static_cast<double>(pieces[0] * 3600 + pieces[1] * 60 + pieces[2])
            + static_cast<double>(pieces[3]) / static_cast<double>(power10(layout.fractionDigits));
    }
    auto seconds = secondsOfLabel(pieces[0], pieces[1], pieces[2], pieces[3], transport.timeFormat());
    if (!seconds || pieces.size() == 4)
        return seconds;
    double rate = static_cast<double>(transport.timeFormat().rate);
    if (layout.name == "subframes")
        return *seconds + static_cast<double>(std::min(pieces[4], 79LL)) / 80.0 / rate;
    if (layout.name == "quarterFrames")
        return *seconds + static_cast<double>(std::min(pieces[4], 3LL)) / 4.0 / rate;
    return seconds;
}

void registerGoToPositionDialog(Dialogs& dialogs)
{
    dialogs.behaviors[kBehavior] = std::make_shared<GoToPositionBehavior>();
}

Token openGoToPositionDialog(World& world)
{
    Application* logic = world.workspace.logic();
    if (!logic)
        return 0;
    if (Element* open = world.tree.byKey(kDialogKey))
        return open->token;
    Token dialog = showDialog(world, *logic, dialogDefinition(world.transport.settings));
    showCurrentPosition(world);
    return dialog;
}

bool requestGoToPositionDialog(World& world)
{
    Application* logic = world.workspace.logic();
    if (!logic)
        return false;
    openWindowAfterDelay(world, *logic, dialogDefinition(world.transport.settings), [](World& w, Token) { showCurrentPosition(w); });
    return true;
}

} // namespace mq::sim
