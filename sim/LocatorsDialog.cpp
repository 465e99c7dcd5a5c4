#include "sim/LocatorsDialog.h"

#include "sim/Dialogs.h"
#include "sim/GoToPositionDialog.h"
#include "sim/World.h"

namespace mq::sim {

using nlohmann::json;

namespace {

constexpr const char* kBehavior = "locators";
constexpr const char* kDialogKey = "locators";

json field(const std::string& key, const std::string& description)
{
    return json { { "role", "AXTextField" }, { "key", key }, { "description", description } };
}

json dialogDefinition(const TransportSettings& t)
{
    json leftBar = field("locators-left-bar", "Left Locator Bar");
    leftBar["focused"] = true;
    return json {
        { "key", kDialogKey },
        { "role", "AXWindow" },
        { "subrole", "AXDialog" },
        { "title", "Set Left and Right Locator" },
        { "modal", true },
        { "behavior", kBehavior },
        { "defaultButton", "locators-ok" },
        { "cancelButton", "locators-cancel" },
        { "children",
            json::array({
                timecodeGroupDefinition("locators-left", "Left Locator", t),
                timecodeGroupDefinition("locators-right", "Right Locator", t),
                leftBar,
                field("locators-left-smpte", "Left Locator SMPTE"),
                field("locators-right-bar", "Right Locator Bar"),
                field("locators-right-smpte", "Right Locator SMPTE"),
                json { { "key", "locators-cancel" }, { "role", "AXButton" }, { "title", "Cancel" }, { "press", "cancel" } },
                json { { "key", "locators-ok" }, { "role", "AXButton" }, { "title", "OK" }, { "press", "confirm" } },
            }) },
    };
}

// The groups show the locators as they are when the window appears.
void showLocators(World& world)
{
    const TransportSettings& t = world.transport.settings;
    Locators shown = world.document.locators.value_or(Locators { t.playheadSeconds, t.playheadSeconds });
    if (Element* group = world.tree.byKey("locators-left"))
        showTimecodeInGroup(world, *group, shown.left - t.smpteViewOffsetSeconds);
    if (Element* group = world.tree.byKey("locators-right"))
        showTimecodeInGroup(world, *group, shown.right - t.smpteViewOffsetSeconds);
}

std::optional<double> typedPosition(World& world, const char* fieldKey)
{
    Element* f = world.tree.byKey(fieldKey);
    if (!f)
        return std::nullopt;
    const TransportSettings& t = world.transport.settings;
    auto dialogSeconds = parseTypedTimecode(f->string("AXValue").value_or(""), t);
    if (!dialogSeconds)
        return std::nullopt;
    return std::max(0.0, *dialogSeconds + t.smpteViewOffsetSeconds);
}

class LocatorsBehavior final : public DialogBehavior {
public:
    void closing(World& world, Element&, bool confirmed) override
    {
        if (!confirmed)
            return;
        // Return takes the field being edited along with the others.
        const TransportSettings& t = world.transport.settings;
        Locators locators = world.document.locators.value_or(Locators { t.playheadSeconds, t.playheadSeconds });
        auto left = typedPosition(world, "locators-left-smpte");
        auto right = typedPosition(world, "locators-right-smpte");
        if (left)
            locators.left = *left;
        if (right)
            locators.right = *right;
        world.document.locators = locators;
        world.record({ { "type", "locators.set" }, { "left", locators.left }, { "right", locators.right }, { "leftTyped", left.has_value() },
            { "rightTyped", right.has_value() } });
    }
};

} // namespace

void registerLocatorsDialog(Dialogs& dialogs)
{
    dialogs.behaviors[kBehavior] = std::make_shared<LocatorsBehavior>();
}

bool requestLocatorsDialog(World& world)
{
    Application* logic = world.workspace.logic();
    if (!logic)
        return false;
    openWindowAfterDelay(world, *logic, dialogDefinition(world.transport.settings), [](World& w, Token) { showLocators(w); });
    return true;
}

} // namespace mq::sim
