#include "sim/KeyCommands.h"

#include "sim/World.h"

#include "platform/InputEvents.h"

namespace mq::sim {

using nlohmann::json;
namespace eventflags = platform::eventflags;

namespace {

enum class Key { space, returnKey, deleteKey, escape, tab, other };

constexpr std::uint16_t kSpace = 49, kKeypadEnter = 76, kDelete = 51, kForwardDelete = 117;

Key keyOf(const KeyPress& key)
{
    const std::string& t = key.text;
    if (key.virtualKey == kSpace || t == " ")
        return Key::space;
    if (key.virtualKey == platform::keycode::returnKey || key.virtualKey == kKeypadEnter || t == "\r" || t == "\n")
        return Key::returnKey;
    if (key.virtualKey == kDelete || key.virtualKey == kForwardDelete || t == "\x7f" || t == "\b")
        return Key::deleteKey;
    if (key.virtualKey == platform::keycode::escape || t == "\x1b")
        return Key::escape;
    if (key.virtualKey == platform::keycode::tab || t == "\t")
        return Key::tab;
    return Key::other;
}

} // namespace

bool takesKeyCommands(const World& world, const Element& window)
{
    if (window.isModalWindow() || window.isDialogSheet() || !window.behavior.empty())
        return false;
    const Element* field = world.tree.find(window.focusedField);
    return !field || !field->focusable;
}

std::string keyCommandName(const KeyPress& key)
{
    std::string name;
    for (auto [flag, prefix] : { std::pair { eventflags::control, "Ctrl-" }, std::pair { eventflags::option, "Opt-" },
             std::pair { eventflags::shift, "Shift-" }, std::pair { eventflags::command, "Cmd-" } })
        if (key.flags & flag)
            name += prefix;
    switch (keyOf(key)) {
    case Key::space:
        return name + "Space";
    case Key::returnKey:
        return name + "Return";
    case Key::deleteKey:
        return name + "Delete";
    case Key::escape:
        return name + "Escape";
    case Key::tab:
        return name + "Tab";
    case Key::other:
        break;
    }
    return name + (key.text.empty() ? "key code " + std::to_string(key.virtualKey) : key.text);
}

void runKeyCommand(World& world, const Element& window, const KeyPress& key)
{
    json effect = nullptr;
    // Space, Return and Delete alone; with a modifier they are other commands.
    bool plain = !(key.flags & (eventflags::command | eventflags::option | eventflags::control));
    Key which = plain ? keyOf(key) : Key::other;
    if (which == Key::space) {
        bool playing = world.transport.settings.playing;
        if (playing)
            stopPlaying(world);
        else
            startPlaying(world);
        effect = playing ? "stop" : "play";
    } else if (which == Key::returnKey) {
        movePlayhead(world, world.transport.settings.bar1Seconds);
        effect = "toBeginning";
    } else if (which == Key::deleteKey) {
        if (auto deleted = deleteSelection(world.document))
            effect = "deleted " + *deleted;
    }
    world.record({ { "type", "keyCommand" }, { "key", keyCommandName(key) }, { "window", window.name() }, { "effect", effect } });
}

} // namespace mq::sim
