// The control side: commands that change the world, inject faults and report
// the whole state. Used by tests, demos and people; never by the helper.
#include "sim/Model.h"
#include "sim/DisplayWords.h"
#include "sim/GoToPositionDialog.h"

#include "platform/Accessibility.h"

#include "platform/linux/LogicSimWire.h"

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace mq::sim {

namespace wire = platform::wire;

namespace {

std::string argString(const json& args, const char* name)
{
    auto it = args.find(name);
    if (it == args.end() || !it->is_string())
        throw std::runtime_error(std::string("missing string argument \"") + name + "\"");
    return it->get<std::string>();
}

json id(const Element& e) { return e.key.empty() ? json(e.token) : json(e.key); }

} // namespace

void Model::applyDisplayLanguage(const std::string& language)
{
    const DisplayWords* words = displayWords(language);
    if (!words)
        throw std::runtime_error("unknown display language '" + language + "' (en, de, es, fr, ja, ko, zh)");
    m_language = language;
    if (Element* bar = elementByKey("control-bar"))
        bar->set("AXDescription", CFValue(words->controlBar));
    // A display whose layout was chosen is built again in the new words; the
    // scenario's own display only has its four time fields renamed.
    if (m_transport.contains("controlBarDisplay")) {
        rebuildTimeDisplay();
        return;
    }
    if (Element* display = elementByKey("smpte-display")) {
        size_t index = 0;
        for (Token t : slidersOnScreen(*display))
            if (index < 4)
                m_elements[t].set("AXDescription", CFValue(words->fields[index++]));
    }
}

Token Model::buildLargeWindow(Application& app, int count, int fanout, const std::string& key)
{
    // A window of `count` elements in all (the window included): groups of
    // `fanout` children, filled breadth first, leaves are static texts.
    if (count < 1 || fanout < 1)
        throw std::runtime_error("elements and fanout must be positive");
    json window { { "role", "AXWindow" }, { "key", key }, { "title", "Large Window" }, { "subrole", "AXStandardWindow" }, { "children", json::array() } };
    std::vector<json*> queue { &window };
    int made = 1;
    for (size_t i = 0; i < queue.size() && made < count; ++i) {
        json& parent = *queue[i];
        parent["children"] = json::array();
        for (int c = 0; c < fanout && made < count; ++c, ++made)
            parent["children"].push_back(json { { "role", "AXStaticText" }, { "value", "item " + std::to_string(made) } });
        for (auto& child : parent["children"]) {
            child["role"] = "AXGroup";
            queue.push_back(&child);
        }
    }
    // Leaves without children are texts, not groups.
    std::function<void(json&)> fix = [&](json& e) {
        if (e.contains("children") && !e["children"].empty()) {
            for (auto& c : e["children"])
                fix(c);
        } else if (e["role"] == "AXGroup") {
            e["role"] = "AXStaticText";
        }
    };
    fix(window);
    return addWindow(app, window, false);
}

json Model::elementJson(const Element& e, int depth) const
{
    json attributes = json::object();
    for (const auto& [name, value] : e.attributes)
        attributes[name] = value ? wire::encode(*value) : json(nullptr);
    json out { { "id", e.token }, { "role", e.role }, { "attributes", attributes } };
    if (!e.key.empty())
        out["key"] = e.key;
    if (!e.actions.empty())
        out["actions"] = e.actions;
    if (e.refuseAXPress)
        out["refuseAXPress"] = *e.refuseAXPress;
    if (e.role == "AXWindow")
        out["focusedField"] = e.focusedField ? id(m_elements.at(e.focusedField)) : json(nullptr);
    if (!e.children.empty()) {
        json children = json::array();
        if (depth > 0)
            for (Token c : e.children)
                children.push_back(elementJson(m_elements.at(c), depth - 1));
        else
            children = e.children.size();
        out["children"] = children;
    }
    return out;
}

json Model::applicationJson(const Application& app) const
{
    json windows = json::array();
    for (Token w : app.windows)
        windows.push_back(elementJson(m_elements.at(w), 64));
    auto windowId = [&](Token t) { return t ? id(m_elements.at(t)) : json(nullptr); };
    return json {
        { "key", app.key },
        { "bundleIdentifier", app.bundleIdentifier ? json(*app.bundleIdentifier) : json(nullptr) },
        { "localizedName", app.localizedName ? json(*app.localizedName) : json(nullptr) },
        { "pid", app.pid },
        { "running", app.running },
        { "terminated", app.terminated },
        { "activationPolicy", app.activationPolicy },
        { "mainWindow", windowId(app.mainWindow) },
        { "focusedWindow", windowId(app.focusedWindow) },
        { "windows", windows },
    };
}

json Model::stateJson() const
{
    json applications = json::array();
    for (const auto& app : m_applications)
        applications.push_back(applicationJson(app));
    json trust = json::object(), prompts = json::object();
    for (auto [pid, flag] : m_trust)
        trust[std::to_string(pid)] = flag;
    for (auto [pid, count] : m_prompts)
        prompts[std::to_string(pid)] = count;
    json faults = json::array();
    for (const auto& f : m_faults)
        faults.push_back(json { { "op", f.op }, { "attribute", f.attribute ? json(*f.attribute) : json(nullptr) },
            { "action", f.action ? json(*f.action) : json(nullptr) }, { "delayMs", f.delayMs }, { "noReply", f.noReply },
            { "error", f.error ? json(*f.error) : json(nullptr) }, { "remaining", f.remaining } });
    return json {
        { "applications", applications },
        { "frontmost", m_frontmost.empty() ? json(nullptr) : json(m_frontmost) },
        { "accessibility", { { "trustedByDefault", m_trustedByDefault }, { "trust", trust }, { "prompts", prompts } } },
        { "automation", m_automation },
        { "pendingPrompts", promptState()["pendingPrompts"] },
        { "helperClients", promptState()["helperClients"] },
        { "settings", promptState()["settings"] },
        { "transport", m_transport },
        { "logic", m_logic },
        { "language", m_language },
        { "cursor", { m_cursor.x, m_cursor.y } },
        { "keyEvents", m_keyEvents },
        { "mouseEvents", m_mouseEvents },
        { "dialogResults", m_dialogResults },
        { "events", m_events },
        { "scripts", m_scripts },
        { "appleEvents", m_appleEvents },
        { "openedURLs", m_openedURLs },
        { "pasteboard", m_pasteboard },
        { "session", m_session },
        { "screens", m_screens },
        { "faults", faults },
    };
}

json Model::control(const std::string& command, const json& args)
{
    auto app = [&]() -> Application& {
        auto name = args.value("app", "logic");
        Application* a = application(name);
        if (!a)
            throw std::runtime_error("no application '" + name + "'");
        return *a;
    };
    auto elementArg = [&](const char* name) -> Element& {
        auto key = argString(args, name);
        Element* e = elementByKey(key);
        if (!e)
            throw std::runtime_error("no element '" + key + "'");
        return *e;
    };

    advanceTransport();
    advanceLaunches();
    if (std::optional<json> reply = transportControl(command, args))
        return *reply;
    if (std::optional<json> reply = promptControl(command, args))
        return *reply;
    if (command == "ping")
        return json { { "ok", true } };
    if (command == "open-dialog") {
        auto name = argString(args, "dialog");
        if (name != "goToPosition")
            throw std::runtime_error("no dialog '" + name + "'");
        Token dialog = openGoToPositionDialog(*this);
        if (!dialog)
            throw std::runtime_error("Logic is not running");
        return json { { "ok", true }, { "key", element(dialog)->key } };
    }
    if (command == "state")
        return stateJson();
    if (command == "reset") {
        reset();
        return json { { "ok", true } };
    }
    if (command == "load") {
        if (args.contains("file")) {
            std::ifstream in(argString(args, "file"));
            if (!in)
                throw std::runtime_error("cannot read " + argString(args, "file"));
            load(json::parse(in));
        } else {
            load(args.at("scenario"));
        }
        m_faults.clear();
        return json { { "ok", true } };
    }
    if (command == "quit") {
        Application& a = app();
        pid_type pid = a.pid;
        quit(a);
        log({ { "type", "quit" }, { "app", a.key }, { "pid", pid } });
        broadcastNotification("workspace", "NSWorkspaceDidTerminateApplicationNotification");
        return json { { "ok", true }, { "pid", pid } };
    }
    if (command == "launch") {
        Application& a = app();
        json result = launch(a);
        if (args.value("frontmost", true))
            m_frontmost = a.key;
        log({ { "type", "launch" }, { "app", a.key }, { "pid", a.pid } });
        return result;
    }
    if (command == "add-app") {
        json definition = args.at("application");
        Application a;
        a.definition = definition;
        a.key = definition.value("key", definition.value("bundleIdentifier", "app" + std::to_string(m_applications.size())));
        if (application(a.key))
            throw std::runtime_error("an application '" + a.key + "' exists already");
        if (definition.contains("bundleIdentifier") && definition["bundleIdentifier"].is_string())
            a.bundleIdentifier = definition["bundleIdentifier"].get<std::string>();
        if (definition.contains("localizedName") && definition["localizedName"].is_string())
            a.localizedName = definition["localizedName"].get<std::string>();
        a.activationPolicy = definition.value("activationPolicy", "regular");
        a.bundlePath = definition.value("bundlePath", "");
        m_applications.push_back(std::move(a));
        Application& added = m_applications.back();
        if (definition.value("running", true))
            launch(added, definition.contains("pid") ? std::optional<pid_type>(definition["pid"].get<pid_type>()) : std::nullopt);
        added.terminated = definition.value("terminated", false);
        return json { { "pid", added.pid } };
    }
    if (command == "set-app") {
        Application& a = app();
        if (args.contains("terminated"))
            a.terminated = args["terminated"].get<bool>();
        if (args.contains("localizedName"))
            a.localizedName = args["localizedName"].is_null() ? std::nullopt : std::optional<std::string>(args["localizedName"].get<std::string>());
        if (args.contains("bundleIdentifier"))
            a.bundleIdentifier = args["bundleIdentifier"].is_null() ? std::nullopt : std::optional<std::string>(args["bundleIdentifier"].get<std::string>());
        if (args.contains("activationPolicy"))
            a.activationPolicy = args["activationPolicy"].get<std::string>();
        if (args.contains("launchDelaySeconds"))
            a.definition["launchDelaySeconds"] = args["launchDelaySeconds"].get<double>();
        return json { { "ok", true } };
    }
    if (command == "frontmost") {
        m_frontmost = app().key;
        return json { { "ok", true } };
    }
    if (command == "add-window") {
        Application& a = app();
        if (!a.running)
            throw std::runtime_error("application '" + a.key + "' is not running");
        Token t = addWindow(a, args.at("window"), args.value("front", true));
        return json { { "element", t } };
    }
    if (command == "remove-window") {
        removeWindow(elementArg("window").token);
        return json { { "ok", true } };
    }
    if (command == "close-dialog") {
        closeDialog(elementArg("window"), args.value("confirmed", false));
        return json { { "ok", true } };
    }
    if (command == "set-attribute") {
        Element& e = elementArg("element");
        auto attribute = argString(args, "attribute");
        if (args.value("remove", false)) {
            e.erase(attribute);
        } else {
            const json& value = args.at("value");
            if (value.is_object() && value.contains("ref")) {
                Element* target = elementByKey(value["ref"].get<std::string>());
                if (!target)
                    throw std::runtime_error("no element '" + value["ref"].get<std::string>() + "'");
                e.set(attribute, CFValue(ref(target->token)));
            } else if (value.is_null()) {
                e.set(attribute, std::nullopt);
            } else {
                auto decoded = wire::decode(value);
                if (attribute == "AXPosition" && value.is_array() && value.size() == 2)
                    decoded = CFValue(platform::AXValue(platform::CGPoint { value[0].get<double>(), value[1].get<double>() }));
                if (attribute == "AXSize" && value.is_array() && value.size() == 2)
                    decoded = CFValue(platform::AXValue(platform::CGSize { value[0].get<double>(), value[1].get<double>() }));
                if (!decoded)
                    throw std::runtime_error("not a valid value: " + value.dump());
                e.set(attribute, *decoded);
            }
        }
        return json { { "ok", true } };
    }
    if (command == "set-element") {
        Element& e = elementArg("element");
        if (args.contains("refuseAXPress")) {
            const json& refuse = args["refuseAXPress"];
            if (refuse.is_boolean())
                e.refuseAXPress = refuse.get<bool>() ? std::optional<AXErrorCode>(platform::axerror::failure) : std::nullopt;
            else
                e.refuseAXPress = refuse.get<AXErrorCode>();
        }
        if (args.contains("press"))
            e.press = args["press"].get<std::string>();
        if (args.contains("actions"))
            e.actions = args["actions"].get<std::vector<std::string>>();
        if (args.contains("settable"))
            e.settable = args["settable"].get<std::vector<std::string>>();
        return json { { "ok", true } };
    }
    if (command == "set-main-window" || command == "set-focused-window") {
        Application& a = app();
        Token t = args.contains("window") && !args["window"].is_null() ? elementArg("window").token : 0;
        (command == "set-main-window" ? a.mainWindow : a.focusedWindow) = t;
        return json { { "ok", true } };
    }
    if (command == "focus") {
        Element& field = elementArg("element");
        Token w = windowOf(field);
        if (!w || !field.focusable)
            throw std::runtime_error("element is not a focusable field in a window");
        m_elements[w].focusedField = field.token;
        return json { { "ok", true } };
    }
    if (command == "press") {
        Element& e = elementArg("element");
        return json { { "err", perform(e, "AXPress", false) } };
    }
    if (command == "set-trust") {
        bool flag = args.at("trusted").get<bool>();
        if (args.contains("pid"))
            m_trust[args["pid"].get<pid_type>()] = flag;
        else {
            m_trustedByDefault = flag;
            m_trust.clear();
        }
        return json { { "ok", true } };
    }
    if (command == "set-automation") {
        if (args.contains("bundleIdentifier")) {
            // A state is "allowed", "denied", "ask", or any status the system could answer.
            const json& state = args.at("state");
            m_automation[argString(args, "bundleIdentifier")] = state.is_number_integer() ? std::to_string(state.get<int>()) : argString(args, "state");
        }
        if (args.contains("promptAnswer"))
            m_automationAnswer = argString(args, "promptAnswer");
        return json { { "ok", true } };
    }
    if (command == "set-display") {
        Element* display = elementByKey("smpte-display");
        if (!display)
            throw std::runtime_error("the scenario has no element 'smpte-display'");
        m_transport["displayFollowsPlayhead"] = false;
        std::vector<Token> sliders = slidersOnScreen(*display);
        for (const char* field : { "values", "descriptions" }) {
            if (!args.contains(field))
                continue;
            const json& list = args[field];
            for (size_t i = 0; i < list.size() && i < sliders.size(); ++i)
                m_elements[sliders[i]].set(std::string(field) == "values" ? "AXValueDescription" : "AXDescription",
                    list[i].is_null() ? std::nullopt : std::optional<CFValue>(CFValue(list[i].get<std::string>())));
        }
        return json { { "ok", true } };
    }
    if (command == "set-language") {
        applyDisplayLanguage(argString(args, "language"));
        return json { { "ok", true } };
    }
    if (command == "fault") {
        FaultRule rule;
        rule.op = args.value("op", "*");
        if (args.contains("attribute"))
            rule.attribute = argString(args, "attribute");
        if (args.contains("action"))
            rule.action = argString(args, "action");
        if (args.contains("client"))
            rule.client = args["client"].get<pid_type>();
        rule.delayMs = args.value("delayMs", 0);
        rule.noReply = args.value("noReply", false);
        if (args.contains("error"))
            rule.error = args["error"].get<std::int32_t>();
        rule.remaining = args.value("count", -1);
        if (rule.delayMs < 0 || rule.remaining == 0)
            throw std::runtime_error("delayMs must be >= 0 and count > 0 (or -1)");
        m_faults.push_back(rule);
        return json { { "ok", true }, { "faults", m_faults.size() } };
    }
    if (command == "clear-faults") {
        m_faults.clear();
        return json { { "ok", true } };
    }
    if (command == "build-large-window") {
        Token t = buildLargeWindow(app(), args.value("elements", 6000), args.value("fanout", 8), args.value("key", "large-window"));
        return json { { "element", t } };
    }
    if (command == "notify") {
        broadcastNotification(args.value("center", "workspace"), argString(args, "name"));
        return json { { "ok", true } };
    }
    if (command == "set-session") {
        m_session = args.at("session");
        return json { { "ok", true } };
    }
    if (command == "set-screens") {
        m_screens = args.at("screens");
        return json { { "ok", true } };
    }
    if (command == "set-logic") {
        // Merges into Logic's document state (markers, tracks, chosenColor...).
        m_logic.merge_patch(args);
        return json { { "ok", true } };
    }
    if (command == "set-cursor") {
        m_cursor = { args.at("x").get<double>(), args.at("y").get<double>() };
        return json { { "ok", true } };
    }
    throw std::runtime_error("unknown control command '" + command + "'");
}

} // namespace mq::sim
