#include "sim/Dialogs.h"

#include "sim/Commands.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/linux/LogicSimWire.h"

#include <stdexcept>

namespace mq::sim {

using nlohmann::json;

DialogBehavior* Dialogs::behaviorOf(const Element& window) const
{
    auto it = behaviors.find(window.behavior);
    return it == behaviors.end() ? nullptr : it->second.get();
}

Token showDialog(World& world, Application& app, const json& definition)
{
    if (world.dialogs.asSheets.contains(definition.value("key", "")))
        return addSheet(world, app, definition);
    return addWindow(world, app, definition, true);
}

bool openWindowAfterDelay(World& world, Application& app, const json& definition, WindowOpened opened,
    std::optional<std::chrono::milliseconds> after)
{
    std::string key = definition.value("key", "");
    if (!key.empty() && (world.tree.byKey(key) || world.dialogs.opening.contains(key)))
        return false;
    auto delay = after ? *after : world.latency.windowOpen();
    if (!key.empty())
        world.dialogs.opening.insert(key);
    world.record({ { "type", "windowOpening" }, { "window", key }, { "afterMs", delay.count() } });
    std::string appKey = app.key;
    pid_type pid = app.pid;
    world.later(delay, [key, appKey, pid, definition, opened](World& w) {
        // A command that closed the window before it showed cancelled it.
        if (!key.empty() && w.dialogs.opening.erase(key) == 0)
            return;
        // The application may have quit or started again meanwhile: then the
        // window never shows.
        Application* target = w.workspace.named(appKey);
        if (!target || !target->alive() || target->pid != pid)
            return;
        Token window = showDialog(w, *target, definition);
        if (opened)
            opened(w, window);
        w.record({ { "type", "windowOpened" }, { "window", key } });
    });
    return true;
}

bool cancelOpening(World& world, const std::string& key)
{
    if (world.dialogs.opening.erase(key) == 0)
        return false;
    world.record({ { "type", "windowOpeningCancelled" }, { "window", key } });
    return true;
}

void commitFieldAfterDelay(World& world, Element& dialog, Element& field)
{
    DialogBehavior* behavior = world.dialogs.behaviorOf(dialog);
    if (!behavior)
        return;
    Token dialogToken = dialog.token, fieldToken = field.token;
    world.later(world.latency.commit(), [dialogToken, fieldToken](World& w) {
        Element* d = w.tree.find(dialogToken);
        Element* f = w.tree.find(fieldToken);
        DialogBehavior* b = d ? w.dialogs.behaviorOf(*d) : nullptr;
        if (!d || !f || !b) {
            w.record({ { "type", "commitDropped" }, { "reason", "the dialog closed first" } });
            return;
        }
        b->fieldCommitted(w, *d, *f);
    });
}

void closeDialog(World& world, Element& dialog, bool confirmed)
{
    if (DialogBehavior* behavior = world.dialogs.behaviorOf(dialog))
        behavior->closing(world, dialog, confirmed);
    json fields = json::array();
    for (Token f : world.tree.focusableFields(dialog)) {
        auto value = world.tree.at(f).find("AXValue");
        fields.push_back(value && *value ? platform::wire::encode(**value) : json(nullptr));
    }
    EventLog::append(world.log.dialogResults,
        json { { "title", dialog.string("AXTitle").value_or("") }, { "key", dialog.key }, { "result", confirmed ? "confirmed" : "cancelled" },
            { "fields", fields } });
    removeWindow(world, dialog.token);
}

void addDialogCommands(CommandMap& commands)
{
    // Which dialogs (by window key) show as sheets on the main window from now
    // on; replaces the scenario's "sheets".
    commands.add("sheets", [](World& world, const json& args) {
        if (!args.contains("keys") || !args["keys"].is_array())
            throw std::runtime_error("sheets needs \"keys\": an array of window keys");
        world.dialogs.asSheets = args["keys"].get<std::set<std::string>>();
        return okReply();
    });
}

} // namespace mq::sim
