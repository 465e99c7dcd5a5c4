#include "sim/Accessibility.h"

#include "sim/WindowStack.h"
#include "sim/Windows.h"
#include "sim/World.h"

#include "platform/Accessibility.h"
#include "platform/linux/LogicSimFields.h"
#include "platform/linux/LogicSimWire.h"

#include <algorithm>
#include <functional>

namespace mq::sim {

namespace wire = platform::wire;
namespace axerror = platform::axerror;
using nlohmann::json;
using platform::CFArray;
using wire::Op;
using Read = std::pair<AXErrorCode, std::optional<CFValue>>;

namespace {

constexpr std::uint32_t kCopyMultipleStopOnError = 1;

json axReply(AXErrorCode code) { return json { { wire::field::err, code } }; }

json axReply(const CFValue& value) { return json { { wire::field::err, 0 }, { wire::field::value, wire::encode(value) } }; }

std::optional<platform::CGRect> frameOf(const Element& e)
{
    auto position = e.find("AXPosition");
    auto size = e.find("AXSize");
    if (!position || !*position || !size || !*size)
        return std::nullopt;
    auto p = (*position)->get<platform::AXValue>();
    auto s = (*size)->get<platform::AXValue>();
    auto point = p ? std::get_if<platform::CGPoint>(p) : nullptr;
    auto extent = s ? std::get_if<platform::CGSize>(s) : nullptr;
    if (!point || !extent)
        return std::nullopt;
    return platform::CGRect { *point, *extent };
}

std::string actionDescription(std::string_view action)
{
    std::string text(action.substr(action.rfind("AX") == 0 ? 2 : 0));
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

Read elementOrNoValue(const World& world, Token t)
{
    if (t == 0)
        return { axerror::noValue, std::nullopt };
    return { axerror::success, CFValue(world.tree.ref(t)) };
}

// A window showing a sheet has its keyboard focus in the sheet.
Token focusedFieldOf(const World& world, Token window)
{
    if (Token sheet = sheetOf(world, window))
        window = sheet;
    const Element* w = world.tree.find(window);
    return w ? w->focusedField : 0;
}

std::optional<Read> readSystemWide(World& world, const std::string& name)
{
    Application* front = world.workspace.frontmostApplication();
    if (name == "AXFocusedApplication")
        return elementOrNoValue(world, front ? front->element : 0);
    if (name == "AXFocusedUIElement")
        return elementOrNoValue(world, front ? focusedFieldOf(world, front->focusedWindow) : 0);
    return Read { axerror::attributeUnsupported, std::nullopt };
}

std::optional<Read> readApplication(World& world, const Element& e, const std::string& name)
{
    const Application* app = world.workspace.byPid(e.pid);
    if (!app)
        return Read { axerror::invalidUIElement, std::nullopt };
    // A hidden application lists no windows, nor does one whose full-screen
    // window is on another Space (its main window is still its own).
    if (name == "AXWindows" || name == "AXChildren")
        return Read { axerror::success, world.tree.refs(app->hidden || app->onOtherSpace ? std::vector<Token> {} : app->windows) };
    if (name == "AXMainWindow")
        return elementOrNoValue(world, app->hidden ? 0 : app->mainWindow);
    if (name == "AXFocusedWindow")
        return elementOrNoValue(world, app->hidden ? 0 : app->focusedWindow);
    if (name == "AXFocusedUIElement")
        return elementOrNoValue(world, focusedFieldOf(world, app->focusedWindow));
    if (name == "AXFrontmost")
        return Read { axerror::success, CFValue(world.workspace.frontmost == app->key) };
    if (name == "AXHidden")
        return Read { axerror::success, CFValue(app->hidden) };
    if (name == "AXTitle" && !e.find("AXTitle")) {
        if (!app->localizedName)
            return Read { axerror::noValue, std::nullopt };
        return Read { axerror::success, CFValue(*app->localizedName) };
    }
    return std::nullopt;
}

std::optional<Read> readComputed(World& world, const Element& e, const std::string& name)
{
    if (name == "AXChildren")
        return Read { axerror::success, world.tree.refs(e.children) };
    if (name == "AXParent")
        return elementOrNoValue(world, e.parent);
    if (e.role == "AXWindow") {
        const Application* app = world.workspace.byPid(e.pid);
        if (name == "AXMain")
            return Read { axerror::success, CFValue(app && app->mainWindow == e.token) };
        if (name == "AXFocused")
            return Read { axerror::success, CFValue(app && app->focusedWindow == e.token) };
    } else if (name == "AXWindow" || name == "AXTopLevelUIElement") {
        if (Token w = world.tree.windowOf(e))
            return elementOrNoValue(world, w);
    }
    if (name == "AXFrame") {
        if (auto frame = frameOf(e))
            return Read { axerror::success, CFValue(platform::AXValue(*frame)) };
        return Read { axerror::attributeUnsupported, std::nullopt };
    }
    if (e.focusable && name == "AXFocused") {
        Token w = world.tree.windowOf(e);
        return Read { axerror::success, CFValue(w != 0 && focusedFieldOf(world, w) == e.token) };
    }
    return std::nullopt;
}

std::vector<std::string> attributeNames(const World& world, const Element& e)
{
    std::vector<std::string> names { "AXRole" };
    if (e.role == "AXSystemWide") {
        names.insert(names.end(), { "AXFocusedApplication", "AXFocusedUIElement" });
        return names;
    }
    if (e.role == "AXApplication") {
        names.insert(names.end(), { "AXChildren", "AXWindows", "AXMainWindow", "AXFocusedWindow", "AXFocusedUIElement", "AXFrontmost", "AXHidden", "AXTitle" });
    } else {
        names.insert(names.end(), { "AXChildren", "AXParent" });
        if (e.role == "AXWindow")
            names.insert(names.end(), { "AXMain", "AXFocused" });
        else if (world.tree.windowOf(e))
            names.insert(names.end(), { "AXWindow", "AXTopLevelUIElement" });
        if (e.focusable)
            names.push_back("AXFocused");
    }
    for (const auto& [name, value] : e.attributes)
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    if (frameOf(e))
        names.push_back("AXFrame");
    return names;
}

bool isSettable(const Element& e, const std::string& name)
{
    return std::find(e.settable.begin(), e.settable.end(), name) != e.settable.end() || (e.role == "AXWindow" && name == "AXMain")
        || (e.focusable && name == "AXFocused");
}

AXErrorCode writeFlag(World& world, Element& e, const std::string& name, const CFValue& value)
{
    auto flag = value.get<bool>();
    if (!flag)
        return axerror::illegalArgument;
    if (!*flag)
        return axerror::success;
    if (name == "AXFocused") {
        if (Token w = world.tree.windowOf(e))
            world.tree.at(w).focusedField = e.token;
    } else if (Application* app = world.workspace.byPid(e.pid)) {
        app->mainWindow = e.token;
    }
    return axerror::success;
}

AXErrorCode writeAttribute(World& world, Element& e, const std::string& name, const CFValue& value)
{
    auto [readCode, current] = readAttribute(world, e, name);
    if (readCode == axerror::attributeUnsupported)
        return readCode;
    if (!isSettable(e, name))
        return axerror::failure;
    if (name == "AXPosition" || name == "AXSize") {
        auto boxed = value.get<platform::AXValue>();
        bool right = boxed && (name == "AXPosition" ? std::holds_alternative<platform::CGPoint>(*boxed) : std::holds_alternative<platform::CGSize>(*boxed));
        if (!right)
            return axerror::illegalArgument;
    }
    if ((name == "AXFocused" && e.focusable) || (name == "AXMain" && e.role == "AXWindow"))
        return writeFlag(world, e, name, value);
    if (name == "AXPosition" && e.role == "AXWindow") {
        // The window manager keeps the window on a screen; its content moves with it.
        auto frame = frameOf(e);
        auto requested = std::get<platform::CGPoint>(*value.get<platform::AXValue>());
        platform::CGPoint kept = frame ? keepWindowOnScreen(world.desktop, { requested, frame->size }) : requested;
        moveWindow(world, e, kept);
        world.record({ { "type", "setAttribute" }, { "element", e.name() }, { "attribute", name }, { "value", wire::encode(value) },
            { "kept", { kept.x, kept.y } } });
        return axerror::success;
    }
    e.set(name, value);
    world.record({ { "type", "setAttribute" }, { "element", e.name() }, { "attribute", name }, { "value", wire::encode(value) } });
    if (name == "AXValue")
        world.notifyAccessibility(e.token, "AXValueChanged");
    return axerror::success;
}

// The element a request names, or nullptr when it is invalid (destroyed, or
// its application is gone or terminating). `systemWide` holds the system-wide element.
Element* targetOf(World& world, const json& request, Element& systemWide)
{
    auto elementRef = wire::decodeElement(request.value(wire::field::el, json()));
    if (!elementRef)
        return nullptr;
    if (elementRef->isSystemWide) {
        systemWide.role = "AXSystemWide";
        return &systemWide;
    }
    Application* app = world.workspace.byPid(elementRef->pid);
    if (!app || app->terminated)
        return nullptr;
    if (elementRef->token == 0)
        return world.tree.find(app->element);
    Element* e = world.tree.find(elementRef->token);
    return e && e->pid == elementRef->pid ? e : nullptr;
}

json copyAttributeValues(World& world, Op op, const Element& e, const json& request)
{
    auto [code, value] = readAttribute(world, e, request.value(wire::field::attr, ""));
    if (code)
        return axReply(code);
    auto array = value->get<CFArray>();
    if (op == Op::axGetAttributeValueCount) {
        if (!array)
            return axReply(axerror::illegalArgument);
        return json { { wire::field::err, 0 }, { wire::field::count, array->size() } };
    }
    auto index = request.value(wire::field::index, std::int64_t(0));
    auto maxValues = request.value(wire::field::max, std::int64_t(0));
    if (index < 0 || maxValues < 0)
        return axReply(axerror::illegalArgument);
    if (!array) {
        // Asking for no values is how callers test support; it works on any attribute.
        if (maxValues == 0)
            return axReply(CFValue(CFArray {}));
        return axReply(axerror::illegalArgument);
    }
    CFArray slice;
    for (auto i = index; i < static_cast<std::int64_t>(array->size()) && i < index + maxValues; ++i)
        slice.push_back((*array)[static_cast<size_t>(i)]);
    return axReply(CFValue(std::move(slice)));
}

json copyMultipleAttributeValues(World& world, const Element& e, const json& request)
{
    auto options = request.value(wire::field::options, std::uint32_t(0));
    CFArray values;
    for (const auto& name : request.value(wire::field::attrs, json::array())) {
        auto [code, value] = readAttribute(world, e, name.get<std::string>());
        if (code && (options & kCopyMultipleStopOnError))
            return axReply(code);
        if (code == axerror::noValue)
            values.emplace_back(platform::CFNull {});
        else if (code)
            values.emplace_back(platform::AXValue(platform::AXValueError { code }));
        else
            values.push_back(*value);
    }
    return axReply(CFValue(std::move(values)));
}

json elementAtPosition(World& world, const Element& e, const json& request)
{
    std::vector<Token> roots;
    if (e.role == "AXSystemWide") {
        // The topmost thing on the whole desktop: a window's element, or the
        // application whose menu bar or desktop it is (the Dock has no element here).
        DesktopHit hit = hitDesktop(world, { request.value(wire::field::x, 0.0), request.value(wire::field::y, 0.0) });
        if (hit.element)
            return axReply(CFValue(world.tree.ref(hit.element)));
        Application* owner = hit.app.empty() ? nullptr : world.workspace.named(hit.app);
        if (owner && owner->alive() && (hit.kind == DesktopHit::Kind::menuBar || hit.kind == DesktopHit::Kind::desktop))
            return axReply(CFValue(world.tree.ref(owner->element)));
        return axReply(axerror::noValue);
    }
    if (e.role == "AXApplication") {
        roots = world.workspace.byPid(e.pid)->windows;
    } else {
        roots = { e.token };
    }
    Token hit = hitTest(world.tree, roots, request.value(wire::field::x, 0.0), request.value(wire::field::y, 0.0));
    if (!hit)
        return axReply(axerror::noValue);
    return axReply(CFValue(world.tree.ref(hit)));
}

json names(const std::vector<std::string>& list)
{
    CFArray array;
    for (const auto& n : list)
        array.emplace_back(n);
    return axReply(CFValue(std::move(array)));
}

json answerOnElement(World& world, Op op, Element& e, const json& request)
{
    std::string attribute = request.value(wire::field::attr, "");
    switch (op) {
    case Op::axCopyAttributeNames:
        return names(attributeNames(world, e));
    case Op::axCopyAttributeValue: {
        auto [code, value] = readAttribute(world, e, attribute);
        return code ? axReply(code) : axReply(*value);
    }
    case Op::axCopyAttributeValues:
    case Op::axGetAttributeValueCount:
        return copyAttributeValues(world, op, e, request);
    case Op::axCopyMultipleAttributeValues:
        return copyMultipleAttributeValues(world, e, request);
    case Op::axIsAttributeSettable:
        if (readAttribute(world, e, attribute).first == axerror::attributeUnsupported)
            return axReply(axerror::attributeUnsupported);
        return json { { wire::field::err, 0 }, { wire::field::settable, isSettable(e, attribute) } };
    case Op::axSetAttributeValue: {
        if (e.role == "AXSystemWide")
            return axReply(axerror::attributeUnsupported);
        auto value = wire::decode(request.value(wire::field::value, json()));
        return axReply(value ? writeAttribute(world, e, attribute, *value) : axerror::illegalArgument);
    }
    case Op::axCopyParameterizedAttributeNames:
        return axReply(CFValue(CFArray {}));
    case Op::axCopyParameterizedAttributeValue:
        return axReply(axerror::parameterizedAttributeUnsupported);
    case Op::axCopyActionNames:
        return names(e.actions);
    case Op::axCopyActionDescription: {
        auto action = request.value(wire::field::action, "");
        if (std::find(e.actions.begin(), e.actions.end(), action) == e.actions.end())
            return axReply(axerror::actionUnsupported);
        return axReply(CFValue(actionDescription(action)));
    }
    case Op::axPerformAction:
        if (e.role == "AXSystemWide")
            return axReply(axerror::actionUnsupported);
        return axReply(perform(world, e, request.value(wire::field::action, ""), true));
    case Op::axCopyElementAtPosition:
        return elementAtPosition(world, e, request);
    default:
        return json { { wire::field::err, axerror::illegalArgument }, { wire::field::error, std::string("not an accessibility call: ") + wire::opName(op) } };
    }
}

} // namespace

Read readAttribute(World& world, const Element& e, const std::string& name)
{
    if (name == "AXRole")
        return { axerror::success, CFValue(e.role) };
    if (e.role == "AXSystemWide")
        return *readSystemWide(world, name);
    auto computed = e.role == "AXApplication" ? readApplication(world, e, name) : readComputed(world, e, name);
    if (computed)
        return *computed;
    if (auto slot = e.find(name)) {
        if (!*slot)
            return { axerror::noValue, std::nullopt };
        return { axerror::success, **slot };
    }
    return { axerror::attributeUnsupported, std::nullopt };
}

AXErrorCode perform(World& world, Element& e, const std::string& action, bool viaAccessibility)
{
    if (std::find(e.actions.begin(), e.actions.end(), action) == e.actions.end())
        return axerror::actionUnsupported;
    if (viaAccessibility && action == "AXPress" && e.refuseAXPress) {
        world.record({ { "type", "actionRefused" }, { "action", action }, { "element", e.name() } });
        return *e.refuseAXPress;
    }
    world.record({ { "type", "action" }, { "action", action }, { "element", e.name() }, { "via", viaAccessibility ? "accessibility" : "input" } });
    if (action == "AXPress") {
        if (Token w = world.tree.windowOf(e)) {
            Element& window = world.tree.at(w);
            if (DialogBehavior* behavior = world.dialogs.behaviorOf(window); behavior && behavior->pressed(world, window, e))
                return axerror::success;
        }
        if (e.role == "AXCheckBox") { // a check box turns on or off
            auto value = e.find("AXValue");
            const std::int64_t* on = value && *value ? (*value)->get<std::int64_t>() : nullptr;
            e.set("AXValue", CFValue(std::int64_t { on && *on ? 0 : 1 }));
        }
    }
    if (action == "AXPress" && (e.press == "confirm" || e.press == "cancel")) {
        if (Token w = world.tree.windowOf(e))
            closeDialog(world, world.tree.at(w), e.press == "confirm");
    } else if (action == "AXRaise" && e.role == "AXWindow") {
        if (Application* app = world.workspace.byPid(e.pid)) {
            std::erase(app->windows, e.token);
            app->windows.insert(app->windows.begin(), e.token);
            setFocusedWindow(world, *app, e.token);
        }
    }
    return axerror::success;
}

Token hitTest(const ElementTree& tree, const std::vector<Token>& roots, double x, double y)
{
    std::function<Token(Token)> deepest = [&](Token t) -> Token {
        const Element& e = tree.at(t);
        auto frame = frameOf(e);
        if (!frame || x < frame->origin.x || y < frame->origin.y || x >= frame->origin.x + frame->size.width || y >= frame->origin.y + frame->size.height)
            return 0;
        for (auto it = e.children.rbegin(); it != e.children.rend(); ++it)
            if (Token hit = deepest(*it))
                return hit;
        return t;
    };
    for (Token root : roots)
        if (Token hit = deepest(root))
            return hit;
    return 0;
}

json answerAccessibility(World& world, Op op, const json& request, pid_type client)
{
    if (op == Op::axIsProcessTrusted) {
        bool isTrusted = world.permissions.trusted(client);
        if (!isTrusted && request.value(wire::field::prompt, false))
            ++world.permissions.prompts[client];
        return json { { wire::field::err, 0 }, { wire::field::trusted, isTrusted } };
    }
    if (!world.permissions.trusted(client))
        return axReply(axerror::apiDisabled);
    noteAccessibilityCall(world);
    if (!wire::decodeElement(request.value(wire::field::el, json())))
        return axReply(axerror::illegalArgument);
    Element systemWide;
    Element* e = targetOf(world, request, systemWide);
    if (!e)
        return axReply(axerror::invalidUIElement);
    return answerOnElement(world, op, *e, request);
}

} // namespace mq::sim
