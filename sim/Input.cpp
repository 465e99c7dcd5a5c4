#include "sim/Input.h"

#include "sim/Accessibility.h"
#include "sim/ColorsWindow.h"
#include "sim/KeyCommands.h"
#include "sim/WindowStack.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/InputEvents.h"
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

#include <algorithm>
#include <utility>

namespace mq::sim {

namespace wire = platform::wire;

namespace keycode = platform::keycode;
using nlohmann::json;

namespace {

constexpr std::uint16_t kDeleteKey = 51;

// Return and Escape close a modal window, or a small editor with a behaviour of
// its own (a name field); never a document window.
bool closesWithKeys(const Element& window) { return window.isModalWindow() || window.isDialogSheet() || !window.behavior.empty(); }

// The key window: the application's frontmost modal window when it shows one,
// else its focused window.
Element* keyWindow(World& world, Application* app)
{
    if (!app || app->terminated)
        return nullptr;
    for (Token t : app->windows)
        if (Element& w = world.tree.at(t); w.isModalWindow())
            return &w;
    if (Token sheet = sheetOf(world, app->focusedWindow))
        return world.tree.find(sheet);
    return app->focusedWindow ? world.tree.find(app->focusedWindow) : nullptr;
}

void moveFocus(World& world, Element& window, bool backwards)
{
    auto fields = world.tree.focusableFields(window);
    if (fields.empty())
        return;
    Token previous = window.focusedField;
    auto it = std::find(fields.begin(), fields.end(), previous);
    size_t index = it == fields.end() ? 0 : static_cast<size_t>(it - fields.begin());
    if (it != fields.end())
        index = backwards ? (index + fields.size() - 1) % fields.size() : (index + 1) % fields.size();
    window.focusedField = fields[index];
    if (Element* field = world.tree.find(previous)) {
        field->selectAll = false;
        commitFieldAfterDelay(world, window, *field);
    }
}

std::string fieldText(const Element& field) { return field.string("AXValue").value_or(""); }

// What Cmd-V pastes into a text field: the plain text of the pasteboard's first
// item that has one.
std::string pasteboardText(const World& world)
{
    for (const auto& item : world.desktop.pasteboard)
        for (const auto& representation : item.value("representations", json::array()))
            if (representation.is_array() && representation.size() == 2 && representation[0] == "public.utf8-plain-text")
                return platform::wire::hexDecode(representation[1].get<std::string>()).value_or(""); // not hex: nothing
    return "";
}

void typeText(Element& field, const std::string& text)
{
    // A field whose whole text is selected is replaced by the next typing.
    std::string value = field.selectAll ? "" : fieldText(field);
    field.selectAll = false;
    field.set("AXValue", CFValue(value + text));
}

void deleteBackward(Element& field)
{
    if (!field.string("AXValue"))
        return;
    std::string value = fieldText(field);
    if (field.selectAll)
        value.clear();
    else if (!value.empty())
        value.pop_back();
    field.selectAll = false;
    field.set("AXValue", CFValue(value));
}

// Return and Escape press the window's default or cancel button, or close it.
void pressWindowButton(World& world, Element& window, const char* buttonAttribute, bool confirm)
{
    auto button = window.find(buttonAttribute);
    const platform::AXElementRef* ref = button && *button ? (*button)->get<platform::AXElementRef>() : nullptr;
    if (Element* target = ref ? world.tree.find(ref->token) : nullptr)
        perform(world, *target, "AXPress", false);
    else if (closesWithKeys(window))
        closeDialog(world, window, confirm);
}

// A mouse-down on another application's window or on the desktop brings that
// application to the front (and the window with it) and goes no further; one on
// the frontmost application's window, unless a modal window refuses it, starts
// a press of the element under it.
void mouseDown(World& world, const DesktopHit& hit, double x, double y, std::uint64_t flags, json& entry)
{
    world.desktop.pressedElement = 0;
    world.desktop.pressedCell.reset();
    bool activates = (hit.kind == DesktopHit::Kind::window || hit.kind == DesktopHit::Kind::desktop) && !hit.app.empty() && !hit.blocked
        && hit.app != world.workspace.frontmost;
    if (activates) {
        activateApplication(world, hit.app, "click");
        Element* window = world.tree.find(hit.window);
        Application* app = world.workspace.named(hit.app);
        if (window && app && window->string("AXSubrole") == "AXStandardWindow")
            perform(world, *window, "AXRaise", false);
        entry["activated"] = true;
        return;
    }
    if (hit.kind != DesktopHit::Kind::window || hit.blocked)
        return;
    world.desktop.pressedElement = hit.element;
    if (Element* e = world.tree.find(hit.element); e && e->key == kColorsGridKey)
        colorsGridMouse(world, *e, true, x, y, flags);
}

// A mouse-up presses what the mouse-down pressed, when it comes up on the same
// element (on the Colors grid: the same cell).
void mouseUp(World& world, const DesktopHit& hit, double x, double y, std::uint64_t flags)
{
    Token pressed = std::exchange(world.desktop.pressedElement, 0);
    Element* e = world.tree.find(hit.element);
    if (hit.kind != DesktopHit::Kind::window || hit.blocked || !e || e->token != pressed) {
        world.desktop.pressedCell.reset();
        return;
    }
    if (e->key == kColorsGridKey)
        colorsGridMouse(world, *e, false, x, y, flags);
    else if (std::find(e->actions.begin(), e->actions.end(), "AXPress") != e->actions.end())
        perform(world, *e, "AXPress", false);
}

} // namespace

void keyboard(World& world, const json& request)
{
    auto virtualKey = request.value(wire::field::virtualKey, std::uint16_t(0));
    bool keyDown = request.value(wire::field::keyDown, true);
    auto text = request.value(wire::field::text, "");
    auto flags = request.value(wire::field::flags, std::uint64_t(0));
    // Keys go to the frontmost application's key window, whoever sent them.
    Application* app = world.workspace.frontmostApplication();
    Element* window = keyWindow(world, app);
    json entry { { "virtualKey", virtualKey }, { "keyDown", keyDown }, { "text", text }, { "flags", flags } };
    if (request.contains(wire::field::source))
        entry["source"] = request[wire::field::source];
    entry["app"] = world.workspace.frontmost.empty() ? json(nullptr) : json(world.workspace.frontmost);
    entry["window"] = window ? window->name() : json(nullptr);
    EventLog::append(world.log.keyEvents, entry);
    if (!keyDown || !window)
        return;

    if (app == world.workspace.logic() && takesKeyCommands(world, *window)) {
        runKeyCommand(world, *window, KeyPress { virtualKey, text, flags });
        return;
    }
    if (DialogBehavior* behavior = world.dialogs.behaviorOf(*window); behavior && behavior->keyDown(world, *window, KeyPress { virtualKey, text, flags }))
        return;
    bool command = flags & platform::eventflags::command;
    Element* field = world.tree.find(window->focusedField);
    if (virtualKey == keycode::tab)
        moveFocus(world, *window, flags & platform::eventflags::shift);
    else if (virtualKey == keycode::returnKey)
        pressWindowButton(world, *window, "AXDefaultButton", true);
    else if (virtualKey == keycode::escape)
        pressWindowButton(world, *window, "AXCancelButton", false);
    else if (virtualKey == kDeleteKey && !command && field)
        deleteBackward(*field);
    else if (command && (text == "a" || (text.empty() && virtualKey == keycode::ansiA)) && field)
        field->selectAll = true;
    else if (command && text == "v" && field)
        typeText(*field, pasteboardText(world));
    else if (!command && !text.empty() && field)
        typeText(*field, text);
}

void mouse(World& world, const json& request)
{
    auto type = request.value(wire::field::type, "mouseMoved");
    double x = request.value(wire::field::x, 0.0), y = request.value(wire::field::y, 0.0);
    auto flags = request.value(wire::field::flags, std::uint64_t(0));
    world.desktop.cursor = { x, y };
    json entry { { "type", type }, { "x", x }, { "y", y }, { "flags", flags } };
    // Every event reaches the topmost thing at its point, in any application.
    DesktopHit hit = hitDesktop(world, { x, y });
    hit.describeInto(world, entry);
    if (type == "leftMouseDown")
        mouseDown(world, hit, x, y, flags, entry);
    else if (type == "leftMouseUp")
        mouseUp(world, hit, x, y, flags);
    EventLog::append(world.log.mouseEvents, entry);
}

json answerInput(World& world, platform::wire::Op op, const json& request)
{
    using platform::wire::Op;
    switch (op) {
    case Op::inputKeyboard:
        keyboard(world, request);
        return json::object();
    case Op::inputMouse:
        mouse(world, request);
        return json::object();
    case Op::inputCursor:
        return json { { wire::field::x, world.desktop.cursor.x }, { wire::field::y, world.desktop.cursor.y } };
    case Op::inputWarp:
        world.desktop.cursor = { request.value(wire::field::x, 0.0), request.value(wire::field::y, 0.0) };
        return json::object();
    default:
        return json { { wire::field::error, std::string("not an input request: ") + platform::wire::opName(op) } };
    }
}

} // namespace mq::sim
