// The client side of the world: accessibility requests, the workspace, the
// desktop and scripting, answered the way the platform answers them.
#include "sim/Model.h"

#include "platform/Accessibility.h"
#include "platform/Scripting.h"
#include "platform/linux/LogicSimWire.h"

#include <algorithm>

namespace mq::sim {

namespace wire = platform::wire;
namespace axerror = platform::axerror;
using platform::AXElementRef;
using platform::CFArray;

namespace {

constexpr std::uint32_t kCopyMultipleStopOnError = 1;
constexpr size_t kMaxRecordedEvents = 2000;

void record(json& list, json entry)
{
    if (list.size() >= kMaxRecordedEvents)
        list.erase(list.begin());
    list.push_back(std::move(entry));
}

json axReply(AXErrorCode code) { return json { { "err", code } }; }

json axReply(const CFValue& value) { return json { { "err", 0 }, { "value", wire::encode(value) } }; }

template<typename T>
const T* valueAs(const std::optional<CFValue>* slot)
{
    if (!slot || !*slot)
        return nullptr;
    return (*slot)->get<T>();
}

std::optional<platform::CGRect> frameOf(const Element& e)
{
    auto position = valueAs<platform::AXValue>(e.find("AXPosition"));
    auto size = valueAs<platform::AXValue>(e.find("AXSize"));
    if (!position || !size)
        return std::nullopt;
    auto p = std::get_if<platform::CGPoint>(position);
    auto s = std::get_if<platform::CGSize>(size);
    if (!p || !s)
        return std::nullopt;
    return platform::CGRect { *p, *s };
}

std::string actionDescription(std::string_view action)
{
    std::string text(action.substr(action.rfind("AX") == 0 ? 2 : 0));
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

Model::Model()
{
    registerStoredActionBehaviors();
}

Element* Model::element(Token token)
{
    auto it = m_elements.find(token);
    return it == m_elements.end() ? nullptr : &it->second;
}

Element* Model::elementByKey(const std::string& key)
{
    auto it = m_keys.find(key);
    return it == m_keys.end() ? nullptr : element(it->second);
}

Application* Model::applicationByPid(pid_type pid)
{
    for (auto& app : m_applications)
        if (app.running && app.pid == pid)
            return &app;
    return nullptr;
}

Application* Model::application(const std::string& keyOrBundle)
{
    for (auto& app : m_applications)
        if (app.key == keyOrBundle)
            return &app;
    for (auto& app : m_applications)
        if (app.bundleIdentifier == keyOrBundle)
            return &app;
    return nullptr;
}

Application* Model::frontmostApplication()
{
    Application* app = m_frontmost.empty() ? nullptr : application(m_frontmost);
    return app && app->running ? app : nullptr;
}

AXElementRef Model::ref(Token token) const
{
    auto it = m_elements.find(token);
    if (it == m_elements.end())
        return {};
    return AXElementRef { it->second.pid, it->second.role == "AXApplication" ? 0 : token, false };
}

CFValue Model::refs(const std::vector<Token>& tokens) const
{
    CFArray array;
    for (Token t : tokens)
        array.emplace_back(ref(t));
    return CFValue(std::move(array));
}

Token Model::windowOf(const Element& e) const
{
    const Element* current = &e;
    while (current) {
        if (current->role == "AXWindow")
            return current->token;
        auto it = m_elements.find(current->parent);
        current = it == m_elements.end() ? nullptr : &it->second;
    }
    return 0;
}

bool Model::trusted(pid_type clientPid) const
{
    auto it = m_trust.find(clientPid);
    return it == m_trust.end() ? m_trustedByDefault : it->second;
}

void Model::log(json entry) { record(m_events, std::move(entry)); }

std::vector<json> Model::takeBroadcasts() { return std::exchange(m_broadcasts, {}); }

void Model::registerBehavior(const std::string& name, std::unique_ptr<DialogBehavior> behavior)
{
    m_behaviors[name] = std::move(behavior);
}

std::pair<AXErrorCode, std::optional<CFValue>> Model::readAttribute(const Element& e, const std::string& name) const
{
    using R = std::pair<AXErrorCode, std::optional<CFValue>>;
    auto orNoValue = [&](Token t) -> R {
        if (t == 0)
            return { axerror::noValue, std::nullopt };
        return { axerror::success, CFValue(ref(t)) };
    };
    if (name == "AXRole")
        return { axerror::success, CFValue(e.role) };

    if (e.role == "AXSystemWide") {
        auto* self = const_cast<Model*>(this);
        Application* front = self->frontmostApplication();
        if (name == "AXFocusedApplication")
            return orNoValue(front ? front->element : 0);
        if (name == "AXFocusedUIElement") {
            if (!front || front->focusedWindow == 0)
                return { axerror::noValue, std::nullopt };
            return orNoValue(m_elements.at(front->focusedWindow).focusedField);
        }
        return { axerror::attributeUnsupported, std::nullopt };
    }

    if (e.role == "AXApplication") {
        const Application* app = const_cast<Model*>(this)->applicationByPid(e.pid);
        if (!app)
            return { axerror::invalidUIElement, std::nullopt };
        if (name == "AXWindows" || name == "AXChildren")
            return { axerror::success, refs(app->windows) };
        if (name == "AXMainWindow")
            return orNoValue(app->mainWindow);
        if (name == "AXFocusedWindow")
            return orNoValue(app->focusedWindow);
        if (name == "AXFocusedUIElement")
            return orNoValue(app->focusedWindow ? m_elements.at(app->focusedWindow).focusedField : 0);
        if (name == "AXFrontmost")
            return { axerror::success, CFValue(m_frontmost == app->key) };
        if (name == "AXHidden")
            return { axerror::success, CFValue(false) };
        if (name == "AXTitle" && !e.find("AXTitle")) {
            if (!app->localizedName)
                return { axerror::noValue, std::nullopt };
            return { axerror::success, CFValue(*app->localizedName) };
        }
    } else {
        if (name == "AXChildren")
            return { axerror::success, refs(e.children) };
        if (name == "AXParent")
            return orNoValue(e.parent);
        if (e.role == "AXWindow") {
            const Application* app = const_cast<Model*>(this)->applicationByPid(e.pid);
            if (name == "AXMain")
                return { axerror::success, CFValue(app && app->mainWindow == e.token) };
            if (name == "AXFocused")
                return { axerror::success, CFValue(app && app->focusedWindow == e.token) };
        } else if (name == "AXWindow" || name == "AXTopLevelUIElement") {
            if (Token w = windowOf(e))
                return orNoValue(w);
        }
        if (e.focusable && name == "AXFocused") {
            Token w = windowOf(e);
            return { axerror::success, CFValue(w != 0 && m_elements.at(w).focusedField == e.token) };
        }
    }
    if (auto slot = e.find(name)) {
        if (!*slot)
            return { axerror::noValue, std::nullopt };
        return { axerror::success, **slot };
    }
    return { axerror::attributeUnsupported, std::nullopt };
}

std::vector<std::string> Model::attributeNames(const Element& e) const
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
        else if (windowOf(e))
            names.insert(names.end(), { "AXWindow", "AXTopLevelUIElement" });
        if (e.focusable)
            names.push_back("AXFocused");
    }
    for (const auto& [name, value] : e.attributes)
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    return names;
}

AXErrorCode Model::writeAttribute(Element& e, const std::string& name, const CFValue& value)
{
    auto [readCode, current] = readAttribute(e, name);
    if (readCode == axerror::attributeUnsupported)
        return readCode;
    bool computedSettable = (e.role == "AXWindow" && name == "AXMain") || (e.focusable && name == "AXFocused");
    if (!computedSettable && std::find(e.settable.begin(), e.settable.end(), name) == e.settable.end())
        return axerror::failure;

    if (name == "AXPosition" || name == "AXSize") {
        auto boxed = value.get<platform::AXValue>();
        bool right = boxed && (name == "AXPosition" ? std::holds_alternative<platform::CGPoint>(*boxed) : std::holds_alternative<platform::CGSize>(*boxed));
        if (!right)
            return axerror::illegalArgument;
    }
    if (name == "AXFocused" && e.focusable) {
        auto flag = value.get<bool>();
        if (!flag)
            return axerror::illegalArgument;
        if (*flag)
            if (Token w = windowOf(e))
                m_elements[w].focusedField = e.token;
        return axerror::success;
    }
    if (name == "AXMain" && e.role == "AXWindow") {
        auto flag = value.get<bool>();
        if (!flag)
            return axerror::illegalArgument;
        if (*flag)
            if (Application* app = applicationByPid(e.pid))
                app->mainWindow = e.token;
        return axerror::success;
    }
    e.set(name, value);
    log({ { "type", "setAttribute" }, { "element", e.key.empty() ? json(e.token) : json(e.key) }, { "attribute", name }, { "value", wire::encode(value) } });
    if (name == "AXValue")
        m_broadcasts.push_back(json { { "event", "ax" }, { "pid", e.pid }, { "element", wire::encodeElement(ref(e.token)) }, { "notification", "AXValueChanged" } });
    return axerror::success;
}

AXErrorCode Model::perform(Element& e, const std::string& action, bool throughAccessibility)
{
    if (std::find(e.actions.begin(), e.actions.end(), action) == e.actions.end())
        return axerror::actionUnsupported;
    if (throughAccessibility && action == "AXPress" && e.refuseAXPress) {
        log({ { "type", "actionRefused" }, { "action", action }, { "element", e.key.empty() ? json(e.token) : json(e.key) } });
        return *e.refuseAXPress;
    }
    log({ { "type", "action" }, { "action", action }, { "element", e.key.empty() ? json(e.token) : json(e.key) },
        { "via", throughAccessibility ? "accessibility" : "input" } });
    if (action == "AXPress" && (e.press == "confirm" || e.press == "cancel")) {
        if (Token w = windowOf(e))
            closeDialog(m_elements[w], e.press == "confirm");
    } else if (action == "AXRaise" && e.role == "AXWindow") {
        if (Application* app = applicationByPid(e.pid)) {
            std::erase(app->windows, e.token);
            app->windows.insert(app->windows.begin(), e.token);
            app->focusedWindow = e.token;
        }
    }
    return axerror::success;
}

void Model::closeDialog(Element& dialog, bool confirmed)
{
    if (auto it = m_behaviors.find(dialog.behavior); it != m_behaviors.end())
        it->second->closing(*this, dialog, confirmed);
    json fields = json::array();
    for (Token f : focusableFields(dialog)) {
        auto value = m_elements[f].find("AXValue");
        fields.push_back(value && *value ? wire::encode(**value) : json(nullptr));
    }
    auto title = valueAs<std::string>(dialog.find("AXTitle"));
    record(m_dialogResults, json { { "title", title ? *title : "" }, { "key", dialog.key }, { "result", confirmed ? "confirmed" : "cancelled" }, { "fields", fields } });
    removeWindow(dialog.token);
}

Token Model::hitTest(const std::vector<Token>& roots, double x, double y) const
{
    std::function<Token(Token)> deepest = [&](Token t) -> Token {
        const Element& e = m_elements.at(t);
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

json Model::axCall(const std::string& op, const json& request, pid_type clientPid)
{
    if (op == "ax.isProcessTrusted") {
        bool isTrusted = trusted(clientPid);
        if (!isTrusted && request.value("prompt", false))
            ++m_prompts[clientPid];
        return json { { "err", 0 }, { "trusted", isTrusted } };
    }
    if (!trusted(clientPid))
        return axReply(axerror::apiDisabled);

    auto elementRef = wire::decodeElement(request.value("el", json()));
    if (!elementRef)
        return axReply(axerror::illegalArgument);
    Element systemWide;
    Element* e = nullptr;
    if (elementRef->isSystemWide) {
        systemWide.role = "AXSystemWide";
        e = &systemWide;
    } else if (elementRef->token == 0) {
        Application* app = applicationByPid(elementRef->pid);
        if (app && !app->terminated)
            e = element(app->element);
    } else {
        e = element(elementRef->token);
        if (e && (e->pid != elementRef->pid || !applicationByPid(e->pid) || applicationByPid(e->pid)->terminated))
            e = nullptr;
    }
    if (!e)
        return axReply(axerror::invalidUIElement);

    std::string attribute = request.value("attr", "");
    if (op == "ax.copyAttributeNames") {
        CFArray names;
        for (auto& n : attributeNames(*e))
            names.emplace_back(n);
        return axReply(CFValue(std::move(names)));
    }
    if (op == "ax.copyAttributeValue") {
        auto [code, value] = readAttribute(*e, attribute);
        return code ? axReply(code) : axReply(*value);
    }
    if (op == "ax.copyAttributeValues" || op == "ax.getAttributeValueCount") {
        auto [code, value] = readAttribute(*e, attribute);
        if (code)
            return axReply(code);
        auto array = value->get<CFArray>();
        if (op == "ax.getAttributeValueCount") {
            if (!array)
                return axReply(axerror::illegalArgument);
            return json { { "err", 0 }, { "count", array->size() } };
        }
        auto index = request.value("index", std::int64_t(0));
        auto maxValues = request.value("max", std::int64_t(0));
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
    if (op == "ax.copyMultipleAttributeValues") {
        auto options = request.value("options", std::uint32_t(0));
        CFArray values;
        for (const auto& name : request.value("attrs", json::array())) {
            auto [code, value] = readAttribute(*e, name.get<std::string>());
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
    if (op == "ax.isAttributeSettable") {
        auto [code, value] = readAttribute(*e, attribute);
        if (code == axerror::attributeUnsupported)
            return axReply(code);
        bool settable = std::find(e->settable.begin(), e->settable.end(), attribute) != e->settable.end()
            || (e->role == "AXWindow" && attribute == "AXMain") || (e->focusable && attribute == "AXFocused");
        return json { { "err", 0 }, { "settable", settable } };
    }
    if (op == "ax.setAttributeValue") {
        if (e->role == "AXSystemWide")
            return axReply(axerror::attributeUnsupported);
        auto value = wire::decode(request.value("value", json()));
        if (!value)
            return axReply(axerror::illegalArgument);
        return axReply(writeAttribute(*e, attribute, *value));
    }
    if (op == "ax.copyParameterizedAttributeNames")
        return axReply(CFValue(CFArray {}));
    if (op == "ax.copyParameterizedAttributeValue")
        return axReply(axerror::parameterizedAttributeUnsupported);
    if (op == "ax.copyActionNames") {
        CFArray names;
        for (auto& n : e->actions)
            names.emplace_back(n);
        return axReply(CFValue(std::move(names)));
    }
    if (op == "ax.copyActionDescription") {
        auto action = request.value("action", "");
        if (std::find(e->actions.begin(), e->actions.end(), action) == e->actions.end())
            return axReply(axerror::actionUnsupported);
        return axReply(CFValue(actionDescription(action)));
    }
    if (op == "ax.performAction") {
        if (e->role == "AXSystemWide")
            return axReply(axerror::actionUnsupported);
        return axReply(perform(*e, request.value("action", ""), true));
    }
    if (op == "ax.copyElementAtPosition") {
        double x = request.value("x", 0.0), y = request.value("y", 0.0);
        std::vector<Token> roots;
        if (e->role == "AXSystemWide") {
            if (Application* front = frontmostApplication())
                roots = front->windows;
            for (auto& app : m_applications)
                if (app.running && &app != frontmostApplication())
                    roots.insert(roots.end(), app.windows.begin(), app.windows.end());
        } else if (e->role == "AXApplication") {
            roots = applicationByPid(e->pid)->windows;
        } else {
            roots = { e->token };
        }
        Token hit = hitTest(roots, x, y);
        if (!hit)
            return axReply(axerror::noValue);
        return axReply(CFValue(ref(hit)));
    }
    return json { { "err", axerror::illegalArgument }, { "error", "unknown accessibility call " + op } };
}

json Model::runningApplications() const
{
    json list = json::array();
    for (const auto& app : m_applications) {
        if (!app.running)
            continue;
        list.push_back(json {
            { "bundleIdentifier", app.bundleIdentifier ? json(*app.bundleIdentifier) : json(nullptr) },
            { "pid", app.pid },
            { "localizedName", app.localizedName ? json(*app.localizedName) : json(nullptr) },
            { "terminated", app.terminated },
            { "activationPolicy", app.activationPolicy },
        });
    }
    return list;
}

void Model::broadcastNotification(const std::string& center, const std::string& name)
{
    log({ { "type", "notification" }, { "center", center }, { "name", name } });
    m_broadcasts.push_back(json { { "event", "notification" }, { "center", center }, { "name", name } });
}

std::optional<FaultRule> Model::takeFault(const std::string& op, const json& request, pid_type clientPid)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        FaultRule& rule = *it;
        bool opMatches = rule.op == "*" || rule.op == op
            || (rule.op.size() > 1 && rule.op.back() == '*' && op.compare(0, rule.op.size() - 1, rule.op, 0, rule.op.size() - 1) == 0);
        if (!opMatches)
            continue;
        if (rule.attribute && request.value("attr", "") != *rule.attribute)
            continue;
        if (rule.action && request.value("action", "") != *rule.action)
            continue;
        if (rule.client && *rule.client != clientPid)
            continue;
        FaultRule taken = rule;
        if (rule.remaining > 0 && --rule.remaining == 0)
            m_faults.erase(it);
        log({ { "type", "fault" }, { "op", op }, { "delayMs", taken.delayMs }, { "noReply", taken.noReply }, { "error", taken.error ? json(*taken.error) : json(nullptr) } });
        return taken;
    }
    return std::nullopt;
}

json Model::handle(const std::string& op, const json& request, pid_type clientPid)
{
    advanceTransport();
    advanceLaunches();
    if (op.rfind("ax.", 0) == 0)
        return axCall(op, request, clientPid);
    if (op == "input.keyboard") {
        keyboard(request);
        return json::object();
    }
    if (op == "input.mouse") {
        mouse(request);
        return json::object();
    }
    if (op == "input.cursor")
        return json { { "x", m_cursor.x }, { "y", m_cursor.y } };
    if (op == "input.warp") {
        m_cursor = { request.value("x", 0.0), request.value("y", 0.0) };
        return json::object();
    }
    if (op == "logic.runStoredAction")
        return runStoredAction(request.value("code", std::uint32_t(0)));
    if (op == "script.sendAppleEvent") {
        // FIXME: no Apple Event has a handler yet; events are recorded and refused.
        record(m_appleEvents, request);
        Application* target = nullptr;
        for (auto& app : m_applications)
            if (app.running && app.bundleIdentifier == request.value("target", ""))
                target = &app;
        return json { { "status", target ? -1708 : platform::osstatus::procNotFound } };
    }
    if (op == "script.automationPermission")
        return automationPermission(request);
    if (op == "workspace.openApplication")
        return openApplication(request);
    if (op == "app.setActivationPolicy" || op == "app.activate")
        return clientApplication(op, request, clientPid);
    if (op == "workspace.runningApplications")
        return json { { "applications", runningApplications() } };
    if (op == "workspace.openURL") {
        record(m_openedURLs, request.value("url", ""));
        log({ { "type", "openURL" }, { "url", request.value("url", "") } });
        openSettingsPane(request.value("url", ""));
        return json { { "ok", true } };
    }
    if (op == "workspace.urlForApplication") {
        Application* app = application(request.value("bundleIdentifier", ""));
        if (!app || app->bundlePath.empty() || app->bundleIdentifier != request.value("bundleIdentifier", ""))
            return json { { "url", nullptr } };
        return json { { "url", wire::encode(CFValue(URL::fileURLWithPath(app->bundlePath))) } };
    }
    if (op == "workspace.launchApplication") {
        auto url = URL::parse(request.value("url", ""));
        for (auto& app : m_applications) {
            if (url && !app.bundlePath.empty() && standardizePath(url->path()) == standardizePath(app.bundlePath)) {
                if (!app.running || app.terminated)
                    launch(app);
                m_frontmost = app.key;
                log({ { "type", "launch" }, { "app", app.key }, { "pid", app.pid } });
                return json { { "ok", true } };
            }
        }
        return json { { "ok", false } };
    }
    if (op == "desktop.session")
        return json { { "session", m_session.is_null() ? json(nullptr) : m_session } };
    if (op == "desktop.screens")
        return json { { "screens", m_screens } };
    if (op == "desktop.pasteboard")
        return json { { "items", m_pasteboard } };
    if (op == "desktop.setPasteboard") {
        m_pasteboard = request.value("items", json::array());
        return json::object();
    }
    return json { { "error", "unknown op " + op } };
}

} // namespace mq::sim
