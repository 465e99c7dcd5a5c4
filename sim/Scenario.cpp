// Building the world from a scenario, editing the tree, and the state report.
#include "platform/linux/LogicSimWire.h"
#include "sim/Model.h"

#include "platform/Accessibility.h"
#include "platform/Scripting.h"

#include <cmath>
#include <stdexcept>

namespace mq::sim {

namespace wire = platform::wire;

const std::optional<CFValue>* Element::find(std::string_view name) const
{
    for (const auto& [n, v] : attributes)
        if (n == name)
            return &v;
    return nullptr;
}

void Element::set(const std::string& name, std::optional<CFValue> value)
{
    for (auto& [n, v] : attributes)
        if (n == name) {
            v = std::move(value);
            return;
        }
    attributes.emplace_back(name, std::move(value));
}

bool Element::erase(std::string_view name)
{
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        if (it->first == name) {
            attributes.erase(it);
            return true;
        }
    return false;
}

namespace {

[[noreturn]] void malformed(const std::string& why)
{
    throw std::runtime_error("scenario: " + why);
}

// Scenario shorthands for common attributes.
const std::pair<const char*, const char*> kShorthands[] = {
    { "subrole", "AXSubrole" },
    { "title", "AXTitle" },
    { "description", "AXDescription" },
    { "help", "AXHelp" },
    { "value", "AXValue" },
    { "valueDescription", "AXValueDescription" },
    { "identifier", "AXIdentifier" },
    { "document", "AXDocument" },
    { "modal", "AXModal" },
    { "enabled", "AXEnabled" },
    { "position", "AXPosition" },
    { "size", "AXSize" },
};

std::optional<CFValue> decodeScenarioValue(const std::string& attribute, const json& value)
{
    // Positions and sizes may be written as plain [x, y] pairs.
    if (value.is_array() && value.size() == 2 && value[0].is_number() && value[1].is_number()) {
        if (attribute == "AXPosition")
            return CFValue(platform::AXValue(platform::CGPoint { value[0].get<double>(), value[1].get<double>() }));
        if (attribute == "AXSize")
            return CFValue(platform::AXValue(platform::CGSize { value[0].get<double>(), value[1].get<double>() }));
    }
    auto decoded = wire::decode(value);
    if (!decoded)
        malformed("value of " + attribute + " is not a valid encoding: " + value.dump());
    return decoded;
}

} // namespace

Token Model::addElement(const json& definition, pid_type pid, Token parent, std::vector<std::pair<Token, json>>& references)
{
    if (!definition.is_object())
        malformed("an element must be an object");
    if (!definition.contains("role") || !definition["role"].is_string())
        malformed("an element needs a role: " + definition.dump().substr(0, 200));
    Element e;
    e.token = m_nextToken++;
    e.pid = pid;
    e.parent = parent;
    e.role = definition["role"].get<std::string>();
    e.key = definition.value("key", "");

    // Defaults by role, before the scenario's own attributes so that those win.
    if (e.role == "AXWindow") {
        e.set("AXTitle", CFValue(""));
        e.set("AXSubrole", CFValue("AXStandardWindow"));
        e.set("AXModal", CFValue(false));
        e.set("AXMinimized", CFValue(false));
        e.set("AXPosition", CFValue(platform::AXValue(platform::CGPoint { 0, 25 })));
        e.set("AXSize", CFValue(platform::AXValue(platform::CGSize { 800, 600 })));
        e.actions = { "AXRaise" };
        e.settable = { "AXPosition", "AXSize", "AXMain", "AXMinimized" };
    } else if (e.role == "AXButton") {
        e.set("AXTitle", CFValue(""));
        e.actions = { "AXPress" };
    } else if (e.role == "AXTextField") {
        e.set("AXValue", CFValue(""));
        e.settable = { "AXValue", "AXFocused" };
        e.focusable = true;
    } else if (e.role == "AXSlider") {
        e.actions = { "AXIncrement", "AXDecrement" };
        e.settable = { "AXValue" };
    }
    e.set("AXEnabled", CFValue(true));

    for (const auto& [shorthand, attribute] : kShorthands)
        if (auto it = definition.find(shorthand); it != definition.end())
            e.set(attribute, it->is_null() ? std::nullopt : decodeScenarioValue(attribute, *it));
    if (auto it = definition.find("attributes"); it != definition.end()) {
        if (!it->is_object())
            malformed("attributes must be an object");
        for (const auto& [name, value] : it->items()) {
            if (value.is_object() && value.contains("ref")) {
                e.set(name, std::nullopt);
                references.emplace_back(e.token, json { { "attribute", name }, { "ref", value["ref"] } });
            } else {
                e.set(name, value.is_null() ? std::nullopt : decodeScenarioValue(name, value));
            }
        }
    }
    for (const char* name : { "unsupported" })
        if (auto it = definition.find(name); it != definition.end())
            for (const auto& attribute : *it)
                e.erase(attribute.get<std::string>());
    if (auto it = definition.find("actions"); it != definition.end())
        e.actions = it->get<std::vector<std::string>>();
    if (auto it = definition.find("settable"); it != definition.end())
        e.settable = it->get<std::vector<std::string>>();
    e.press = definition.value("press", "");
    if (auto it = definition.find("refuseAXPress"); it != definition.end()) {
        if (it->is_boolean() && it->get<bool>())
            e.refuseAXPress = platform::axerror::failure;
        else if (it->is_number_integer())
            e.refuseAXPress = it->get<AXErrorCode>();
    }
    e.focusable = definition.value("focusable", e.focusable);
    e.behavior = definition.value("behavior", "");
    for (const char* name : { "defaultButton", "cancelButton" })
        if (auto it = definition.find(name); it != definition.end())
            references.emplace_back(e.token, json { { "attribute", std::string("AX") + char(std::toupper(name[0])) + (name + 1) }, { "ref", *it } });
    if (definition.value("focused", false) && parent != 0)
        references.emplace_back(e.token, json { { "focus", true } });

    Token token = e.token;
    if (!e.key.empty())
        m_keys[e.key] = token;
    m_elements.emplace(token, std::move(e));
    if (auto it = definition.find("children"); it != definition.end()) {
        if (!it->is_array())
            malformed("children must be an array");
        for (const auto& child : *it) {
            Token c = addElement(child, pid, token, references);
            m_elements[token].children.push_back(c);
        }
    }
    return token;
}

void Model::resolveReferences(std::vector<std::pair<Token, json>>& references)
{
    for (auto& [token, what] : references) {
        Element* e = element(token);
        if (!e)
            continue;
        if (what.contains("focus")) {
            if (Token window = windowOf(*e); window != 0)
                m_elements[window].focusedField = token;
            continue;
        }
        auto key = what["ref"].get<std::string>();
        Element* target = elementByKey(key);
        if (!target)
            malformed("reference to unknown element key '" + key + "'");
        e->set(what["attribute"].get<std::string>(), CFValue(ref(target->token)));
    }
    references.clear();
}

Token Model::addWindow(Application& app, const json& definition, bool front)
{
    std::vector<std::pair<Token, json>> references;
    Token window = addElement(definition, app.pid, app.element, references);
    if (m_elements[window].role != "AXWindow")
        malformed("a window needs role AXWindow");
    if (front)
        app.windows.insert(app.windows.begin(), window);
    else
        app.windows.push_back(window);
    resolveReferences(references);
    Element& w = m_elements[window];
    // A new dialog takes the keyboard focus; its first field is focused unless
    // the scenario says otherwise.
    auto modal = w.find("AXModal");
    bool isModal = modal && *modal && (*modal)->get<bool>() && *(*modal)->get<bool>();
    if (isModal && front) {
        app.focusedWindow = window;
        if (w.focusedField == 0) {
            auto fields = focusableFields(w);
            if (!fields.empty())
                w.focusedField = fields.front();
        }
    }
    if (definition.value("main", false))
        app.mainWindow = window;
    if (definition.value("focusedWindow", false))
        app.focusedWindow = window;
    m_broadcasts.push_back(json { { "event", "ax" }, { "pid", app.pid }, { "element", wire::encodeElement(ref(window)) }, { "notification", "AXWindowCreated" } });
    return window;
}

void Model::removeSubtree(Token token)
{
    auto it = m_elements.find(token);
    if (it == m_elements.end())
        return;
    auto children = it->second.children;
    if (!it->second.key.empty()) {
        auto k = m_keys.find(it->second.key);
        if (k != m_keys.end() && k->second == token)
            m_keys.erase(k);
    }
    m_elements.erase(it);
    for (Token child : children)
        removeSubtree(child);
}

void Model::removeWindow(Token window)
{
    Element* w = element(window);
    if (!w)
        return;
    Application* app = applicationByPid(w->pid);
    if (app) {
        std::erase(app->windows, window);
        auto firstStandard = [&]() -> Token {
            for (Token t : app->windows) {
                auto subrole = m_elements[t].find("AXSubrole");
                if (subrole && *subrole && (*subrole)->get<std::string>() && *(*subrole)->get<std::string>() == "AXStandardWindow")
                    return t;
            }
            return 0;
        };
        if (app->mainWindow == window)
            app->mainWindow = firstStandard();
        if (app->focusedWindow == window)
            app->focusedWindow = app->mainWindow ? app->mainWindow : (app->windows.empty() ? 0 : app->windows.front());
        m_broadcasts.push_back(json { { "event", "ax" }, { "pid", app->pid }, { "element", wire::encodeElement(ref(window)) }, { "notification", "AXUIElementDestroyed" } });
    }
    removeSubtree(window);
}

json Model::launch(Application& app, std::optional<pid_type> pid)
{
    // A launch is a new process: a new pid and a fresh set of windows from the
    // scenario, with new element identities.
    for (Token w : std::vector<Token>(app.windows))
        removeSubtree(w);
    removeSubtree(app.element);
    app.windows.clear();
    app.mainWindow = app.focusedWindow = 0;
    app.pid = pid ? *pid : m_nextPid++;
    app.terminated = false;
    app.running = true;

    Element appElement;
    appElement.token = m_nextToken++;
    appElement.pid = app.pid;
    appElement.role = "AXApplication";
    appElement.key = app.key;
    appElement.actions = {};
    app.element = appElement.token;
    m_elements.emplace(appElement.token, std::move(appElement));
    if (!app.key.empty())
        m_keys[app.key] = app.element;

    if (auto it = app.definition.find("windows"); it != app.definition.end()) {
        for (const auto& window : *it)
            addWindow(app, window, false);
    }
    for (const char* which : { "mainWindow", "focusedWindow" }) {
        if (auto it = app.definition.find(which); it != app.definition.end() && it->is_string()) {
            Element* w = elementByKey(it->get<std::string>());
            if (!w)
                malformed(std::string(which) + " names unknown window '" + it->get<std::string>() + "'");
            (std::string(which) == "mainWindow" ? app.mainWindow : app.focusedWindow) = w->token;
        }
    }
    return json { { "pid", app.pid } };
}

void Model::quit(Application& app)
{
    for (Token w : std::vector<Token>(app.windows))
        removeSubtree(w);
    removeSubtree(app.element);
    app.windows.clear();
    app.mainWindow = app.focusedWindow = 0;
    app.element = 0;
    app.running = false;
    if (m_frontmost == app.key)
        m_frontmost.clear();
}

void Model::load(const json& scenario)
{
    if (!scenario.is_object())
        malformed("the scenario must be a JSON object");
    // Build into a fresh model first so that a malformed scenario leaves the old world.
    Model fresh;
    fresh.m_nextToken = m_nextToken; // identities never repeat across loads
    fresh.m_nextPid = m_nextPid;
    fresh.m_scenario = scenario;
    fresh.m_trustedByDefault = scenario.value("accessibilityTrusted", true);
    if (auto it = scenario.find("automation"); it != scenario.end()) {
        for (const auto& [target, state] : it->items())
            fresh.m_automation[target] = state.is_number_integer() ? std::to_string(state.get<int>()) : state.get<std::string>();
    }
    fresh.m_automationAnswer = scenario.value("automationPromptAnswer", "allow");
    fresh.m_session = scenario.value("session", json { { "CGSSessionScreenIsLocked", false }, { "kCGSSessionOnConsoleKey", true }, { "kCGSessionLoginDoneKey", true } });
    fresh.m_screens = scenario.value("screens", json::array({ json { { "frame", { 0, 0, 1920, 1080 } }, { "visibleFrame", { 0, 0, 1920, 1055 } } } }));
    fresh.m_transport = scenario.value("transport", json { { "frameRate", 25 }, { "playheadSeconds", 3600.0 }, { "playing", false } });
    if (auto it = scenario.find("cursor"); it != scenario.end())
        fresh.m_cursor = { (*it)[0].get<double>(), (*it)[1].get<double>() };
    for (const auto& definition : scenario.value("applications", json::array())) {
        Application app;
        app.definition = definition;
        app.key = definition.value("key", "");
        if (auto it = definition.find("bundleIdentifier"); it != definition.end() && it->is_string())
            app.bundleIdentifier = it->get<std::string>();
        if (auto it = definition.find("localizedName"); it != definition.end() && it->is_string())
            app.localizedName = it->get<std::string>();
        app.activationPolicy = definition.value("activationPolicy", "regular");
        app.bundlePath = definition.value("bundlePath", "");
        if (app.key.empty())
            app.key = app.bundleIdentifier.value_or("app" + std::to_string(fresh.m_applications.size()));
        fresh.m_applications.push_back(std::move(app));
    }
    for (auto& app : fresh.m_applications) {
        if (!app.definition.value("running", true)) {
            app.running = false;
            continue;
        }
        if (auto it = app.definition.find("pid"); it != app.definition.end()) {
            // A fixed pid (negative ones model processes the workspace lists without one).
            fresh.launch(app, it->get<pid_type>());
        } else {
            fresh.launch(app);
        }
        app.terminated = app.definition.value("terminated", false);
    }
    fresh.m_frontmost = scenario.value("frontmost", "");
    fresh.m_language = scenario.value("language", "en");
    fresh.applyDisplayLanguage(fresh.m_language);
    fresh.updateDisplayFromPlayhead();

    // Keep what belongs to the server rather than the world. Prompts still shown
    // end as timed out, so that no asker waits for an answer that cannot come.
    fresh.m_behaviors = std::move(m_behaviors);
    fresh.m_nextTicket = m_nextTicket;
    fresh.m_answeredRequests = std::move(m_answeredRequests);
    for (const auto& prompt : m_pendingPrompts)
        fresh.m_answeredRequests.push_back({ prompt.ticket, json { { "status", platform::osstatus::errAETimeout } } });
    *this = std::move(fresh);
}

void Model::reset()
{
    json scenario = m_scenario;
    load(scenario);
    m_faults.clear();
}

} // namespace mq::sim
