#include "sim/GoToPositionDialog.h"

#include <cmath>
#include <cstdio>

namespace mq::sim {

namespace {

constexpr const char* kBehavior = "goToPosition";
constexpr const char* kDialogKey = "go-to-position";

// The project's time display and the numbers it is made of. The simulator keeps
// its own arithmetic, independent of the helper's, so that tests compare two
// implementations.
struct Display {
    long long rate; // frames per second, the rate rounded
    bool dropFrame;
    std::string layout; // frames, subframes, quarterFrames, samples, secondsFraction
    int fractionDigits; // secondsFraction only

    explicit Display(const json& transport)
    {
        double fps = transport.value("frameRate", 25.0);
        rate = std::max(1LL, static_cast<long long>(std::llround(fps)));
        dropFrame = transport.value("dropFrame", false);
        layout = transport.value("displayLayout", std::string("frames"));
        fractionDigits = 0;
        if (layout.rfind("secondsFraction", 0) == 0) {
            auto colon = layout.find(':');
            fractionDigits = colon == std::string::npos ? 3 : std::clamp(std::atoi(layout.c_str() + colon + 1), 3, 9);
            layout = "secondsFraction";
        }
    }

    long long droppedPerMinute() const { return dropFrame ? std::max(2LL, (rate + 7) / 15) : 0; }
};

long long power10(int digits)
{
    long long p = 1;
    while (digits-- > 0)
        p *= 10;
    return p;
}

// The display's fields for `seconds`: hh, mm, ss, then ff and a sub-field, or the
// fraction of a second for the seconds-fraction layout.
std::vector<std::string> fields(double seconds, const Display& d)
{
    seconds = std::max(0.0, seconds);
    char text[32];
    auto two = [&](long long v) {
        std::snprintf(text, sizeof text, "%02lld", v);
        return std::string(text);
    };
    if (d.layout == "secondsFraction") {
        auto whole = static_cast<long long>(std::floor(seconds));
        auto fraction = static_cast<long long>(std::floor((seconds - static_cast<double>(whole)) * static_cast<double>(power10(d.fractionDigits)) + 1e-6));
        std::snprintf(text, sizeof text, "%0*lld", d.fractionDigits, std::min(fraction, power10(d.fractionDigits) - 1));
        std::string digits = text;
        return { two(whole / 3600 % 24), two(whole / 60 % 60), two(whole % 60), digits };
    }
    double exact = seconds * static_cast<double>(d.rate);
    auto frame = static_cast<long long>(std::floor(exact + 1e-6));
    double within = std::max(0.0, exact - static_cast<double>(frame));
    // Frame count to label: drop-frame skips the first labels of each minute but every tenth.
    long long label = frame;
    if (long long drop = d.droppedPerMinute()) {
        long long perTen = d.rate * 600 - 9 * drop;
        long long perMinute = d.rate * 60 - drop;
        long long tens = frame / perTen;
        long long rest = frame % perTen;
        label += 9 * drop * tens + (rest > drop ? drop * ((rest - drop) / perMinute) : 0);
    }
    long long total = label / d.rate;
    std::vector<std::string> out { two(total / 3600 % 24), two(total / 60 % 60), two(total % 60), two(label % d.rate) };
    if (d.layout == "subframes") {
        out.push_back(two(std::min(79LL, static_cast<long long>(within * 80))));
    } else if (d.layout == "quarterFrames") {
        out.push_back(std::to_string(std::min(3LL, static_cast<long long>(within * 4))));
    } else if (d.layout == "samples") {
        std::snprintf(text, sizeof text, "%04lld", static_cast<long long>(within * 48000.0 / static_cast<double>(d.rate)));
        out.push_back(text);
    }
    return out;
}

std::string joined(const std::vector<std::string>& parts, const Display& d)
{
    std::string text = parts[0] + ":" + parts[1] + ":" + parts[2];
    if (d.layout == "secondsFraction")
        return text + "," + parts[3];
    text += ":" + parts[3];
    if (parts.size() > 4)
        text += (d.layout == "subframes" ? "." : d.layout == "quarterFrames" ? "/" : ",") + parts[4];
    return text;
}

// Shows `seconds` in a timecode group, as text or as one child per field.
void showInGroup(Model& model, Element& group, double seconds, const json& transport)
{
    Display d(transport);
    auto parts = fields(seconds, d);
    if (transport.value("dialogFields", std::string("text")) == "children") {
        for (size_t i = 0; i < group.children.size() && i < parts.size(); ++i)
            if (Element* child = model.element(group.children[i]))
                child->set("AXValueDescription", CFValue(parts[i]));
    } else {
        group.set("AXValue", CFValue(joined(parts, d)));
    }
}

json groupSpec(const std::string& key, const std::string& description, const json& transport)
{
    json group { { "key", key }, { "role", "AXGroup" }, { "description", description } };
    if (transport.value("dialogFields", std::string("text")) == "children") {
        Display d(transport);
        size_t count = d.layout == "frames" || d.layout == "secondsFraction" ? 4 : 5;
        static const char* names[] = { "Hours", "Minutes", "Seconds", "Frames", "Subframes" };
        group["children"] = json::array();
        for (size_t i = 0; i < count; ++i)
            group["children"].push_back({ { "role", "AXStaticText" }, { "description", names[i] } });
    } else {
        group["value"] = "";
    }
    return group;
}

double offset(const json& transport)
{
    return transport.value("smpteViewOffsetSeconds", 0.0);
}

double projectEnd(const json& transport)
{
    return transport.value("projectEndSeconds", transport.value("bar1Seconds", 3600.0) + 3600.0);
}

// Bar positions "bar beat division tick" through a fixed tempo.
std::optional<double> parseBarPosition(const std::string& text, const json& transport)
{
    long long bar = 0, beat = 1;
    int read = std::sscanf(text.c_str(), "%lld %lld", &bar, &beat);
    if (read < 1 || bar < 1 || beat < 1)
        return std::nullopt;
    double barSeconds = transport.value("barSeconds", 2.0);
    return transport.value("bar1Seconds", 3600.0) + static_cast<double>(bar - 1) * barSeconds
        + static_cast<double>(beat - 1) * barSeconds / 4;
}

class GoToPositionBehavior final : public DialogBehavior {
public:
    void fieldCommitted(Model& model, Element& dialog, Element& field) override
    {
        auto valueSlot = field.find("AXValue");
        std::string text = valueSlot && *valueSlot && (*valueSlot)->get<std::string>() ? *(*valueSlot)->get<std::string>() : "";
        json& transport = model.transport();
        std::optional<double> position; // on the timeline, control-bar time
        if (field.key == "go-to-position-bar-field") {
            position = parseBarPosition(text, transport);
            if (position)
                setBars(model, text);
        } else if (field.key == "go-to-position-smpte-field") {
            if (auto dialogSeconds = parseTypedTimecode(text, transport))
                position = *dialogSeconds + offset(transport);
        }
        if (!position) {
            model.log({ { "type", "goToPosition.ignored" }, { "field", field.key }, { "text", text } });
            return;
        }
        double clamped = std::clamp(*position, 0.0, projectEnd(transport));
        m_entered[dialog.token] = clamped;
        if (Element* group = model.elementByKey("go-to-position-smpte"))
            showInGroup(model, *group, clamped - offset(transport), transport);
        model.log({ { "type", "goToPosition.entered" }, { "field", field.key }, { "text", text }, { "seconds", clamped } });
    }

    void closing(Model& model, Element& dialog, bool confirmed) override
    {
        auto entered = m_entered.find(dialog.token);
        if (confirmed && entered != m_entered.end()) {
            model.transport()["playheadSeconds"] = entered->second;
            model.updateDisplayFromPlayhead();
            model.log({ { "type", "goToPosition.moved" }, { "seconds", entered->second } });
        }
        if (entered != m_entered.end())
            m_entered.erase(entered);
    }

private:
    static void setBars(Model& model, const std::string& text)
    {
        if (Element* group = model.elementByKey("go-to-position-bars"))
            group->set("AXValue", CFValue(text));
    }

    std::map<Token, double> m_entered;
};

} // namespace

std::string dialogTimecodeText(double seconds, const json& transport)
{
    Display d(transport);
    return joined(fields(seconds, d), d);
}

std::optional<double> parseTypedTimecode(const std::string& text, const json& transport)
{
    Display d(transport);
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
    long long h = pieces[0], m = pieces[1], s = pieces[2];
    if (m > 59 || s > 59)
        return std::nullopt;
    if (d.layout == "secondsFraction") {
        if (pieces.size() != 4)
            return std::nullopt;
        return static_cast<double>(h * 3600 + m * 60 + s) + static_cast<double>(pieces[3]) / static_cast<double>(power10(d.fractionDigits));
    }
    long long f = pieces[3];
    if (f >= d.rate)
        return std::nullopt;
    long long drop = d.droppedPerMinute();
    long long minutes = h * 60 + m;
    if (drop && s == 0 && m % 10 != 0 && f < drop)
        return std::nullopt; // A label that drop-frame never shows.
    long long frame = (h * 3600 + m * 60 + s) * d.rate + f - drop * (minutes - minutes / 10);
    double sub = 0;
    if (pieces.size() == 5) {
        if (d.layout == "subframes")
            sub = static_cast<double>(std::min(pieces[4], 79LL)) / 80.0;
        else if (d.layout == "quarterFrames")
            sub = static_cast<double>(std::min(pieces[4], 3LL)) / 4.0;
    }
    return (static_cast<double>(frame) + sub) / static_cast<double>(d.rate);
}

void registerGoToPositionDialog(Model& model)
{
    model.registerBehavior(kBehavior, std::make_unique<GoToPositionBehavior>());
}

Token openGoToPositionDialog(Model& model)
{
    Application* logic = model.application("logic");
    if (!logic)
        logic = model.application("com.apple.logic10");
    if (!logic || !logic->running || logic->terminated)
        return 0;
    if (Element* open = model.elementByKey(kDialogKey))
        return open->token;
    json& transport = model.transport();
    json definition {
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
                groupSpec("go-to-position-current", "Current Position", transport),
                json { { "key", "go-to-position-bars" }, { "role", "AXGroup" }, { "description", "New Position (Bars)" }, { "value", "" } },
                groupSpec("go-to-position-smpte", "New Position (SMPTE)", transport),
                json { { "key", "go-to-position-bar-field" }, { "role", "AXTextField" }, { "description", "Bar Position" }, { "focused", true } },
                json { { "key", "go-to-position-smpte-field" }, { "role", "AXTextField" }, { "description", "SMPTE Position" } },
                json { { "key", "go-to-position-ok" }, { "role", "AXButton" }, { "title", "OK" }, { "press", "confirm" } },
                json { { "key", "go-to-position-cancel" }, { "role", "AXButton" }, { "title", "Cancel" }, { "press", "cancel" } },
            }) },
    };
    Token dialog = model.addWindow(*logic, definition, true);
    double shown = transport.value("playheadSeconds", 0.0) - offset(transport);
    for (const char* key : { "go-to-position-current", "go-to-position-smpte" })
        if (Element* group = model.elementByKey(key))
            showInGroup(model, *group, shown, transport);
    model.log({ { "type", "goToPosition.opened" }, { "shown", dialogTimecodeText(shown, transport) } });
    return dialog;
}

} // namespace mq::sim
