#include "sim/ElementTree.h"

#include "platform/Accessibility.h"
#include "platform/linux/LogicSimWire.h"

#include <cctype>
#include <functional>
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

std::optional<std::string> Element::string(std::string_view name) const
{
    auto slot = find(name);
    if (!slot || !*slot)
        return std::nullopt;
    auto text = (*slot)->get<std::string>();
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

bool Element::flag(std::string_view name) const
{
    auto slot = find(name);
    if (!slot || !*slot)
        return false;
    auto value = (*slot)->get<bool>();
    return value && *value;
}

json Element::name() const { return key.empty() ? json(token) : json(key); }

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

// The attributes, actions and settable names every element of a role starts with.
void applyRoleDefaults(Element& e)
{
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
}

// The scenario's own attributes, over the role's defaults.
void applyAttributes(Element& e, const json& definition, std::vector<PendingReference>& references)
{
    for (const auto& [shorthand, attribute] : kShorthands)
        if (auto it = definition.find(shorthand); it != definition.end())
            e.set(attribute, it->is_null() ? std::nullopt : decodeScenarioValue(attribute, *it));
    if (auto it = definition.find("attributes"); it != definition.end()) {
        if (!it->is_object())
            malformed("attributes must be an object");
        for (const auto& [name, value] : it->items()) {
            if (value.is_object() && value.contains("ref")) {
                e.set(name, std::nullopt);
                references.push_back({ e.token, name, value["ref"].get<std::string>() });
            } else {
                e.set(name, value.is_null() ? std::nullopt : decodeScenarioValue(name, value));
            }
        }
    }
    if (auto it = definition.find("unsupported"); it != definition.end())
        for (const auto& attribute : *it)
            e.erase(attribute.get<std::string>());
}

void applyBehaviour(Element& e, const json& definition, Token parent, std::vector<PendingReference>& references)
{
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
    e.hidesOnDeactivate = definition.value("hidesOnDeactivate", true);
    if (auto it = definition.find("defaultButton"); it != definition.end())
        references.push_back({ e.token, "AXDefaultButton", it->get<std::string>() });
    if (auto it = definition.find("cancelButton"); it != definition.end())
        references.push_back({ e.token, "AXCancelButton", it->get<std::string>() });
    if (definition.value("focused", false) && parent != 0)
        references.push_back({ e.token, "", "" });
}

} // namespace

Element* ElementTree::find(Token token)
{
    auto it = m_elements.find(token);
    return it == m_elements.end() ? nullptr : &it->second;
}

const Element* ElementTree::find(Token token) const
{
    auto it = m_elements.find(token);
    return it == m_elements.end() ? nullptr : &it->second;
}

Element* ElementTree::byKey(const std::string& key)
{
    auto it = m_keys.find(key);
    return it == m_keys.end() ? nullptr : find(it->second);
}

const Element* ElementTree::byKey(const std::string& key) const
{
    auto it = m_keys.find(key);
    return it == m_keys.end() ? nullptr : find(it->second);
}

Token ElementTree::build(const json& definition, pid_type pid, Token parent)
{
    std::vector<PendingReference> references;
    Token token = add(definition, pid, parent, references);
    resolve(references);
    return token;
}

Token ElementTree::addBare(const std::string& role, const std::string& key, pid_type pid, Token parent)
{
    Element e;
    e.token = m_nextToken++;
    e.pid = pid;
    e.parent = parent;
    e.role = role;
    e.key = key;
    if (role != "AXApplication")
        applyRoleDefaults(e);
    Token token = e.token;
    if (!key.empty())
        m_keys[key] = token;
    m_elements.emplace(token, std::move(e));
    return token;
}

Token ElementTree::add(const json& definition, pid_type pid, Token parent, std::vector<PendingReference>& references)
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
    applyRoleDefaults(e);
    applyAttributes(e, definition, references);
    applyBehaviour(e, definition, parent, references);

    Token token = e.token;
    if (!e.key.empty())
        m_keys[e.key] = token;
    m_elements.emplace(token, std::move(e));
    if (auto it = definition.find("children"); it != definition.end()) {
        if (!it->is_array())
            malformed("children must be an array");
        for (const auto& child : *it) {
            Token c = add(child, pid, token, references);
            m_elements.at(token).children.push_back(c);
        }
    }
    return token;
}

void ElementTree::resolve(std::vector<PendingReference>& references)
{
    for (const auto& reference : references) {
        Element* e = find(reference.element);
        if (!e)
            continue;
        if (reference.attribute.empty()) {
            if (Token window = windowOf(*e); window != 0)
                m_elements.at(window).focusedField = reference.element;
            continue;
        }
        Element* target = byKey(reference.targetKey);
        if (!target)
            malformed("reference to unknown element key '" + reference.targetKey + "'");
        e->set(reference.attribute, CFValue(ref(target->token)));
    }
    references.clear();
}

void ElementTree::removeSubtree(Token token)
{
    auto it = m_elements.find(token);
    if (it == m_elements.end())
        return;
    auto children = std::move(it->second.children);
    if (!it->second.key.empty()) {
        auto k = m_keys.find(it->second.key);
        if (k != m_keys.end() && k->second == token)
            m_keys.erase(k);
    }
    m_elements.erase(it);
    for (Token child : children)
        removeSubtree(child);
}

void ElementTree::removeChildren(Token token)
{
    Element* e = find(token);
    if (!e)
        return;
    for (Token child : std::exchange(e->children, {}))
        removeSubtree(child);
}

Token ElementTree::windowOf(const Element& e) const
{
    const Element* current = &e;
    while (current) {
        if (current->role == "AXWindow" || current->isDialogSheet())
            return current->token;
        current = find(current->parent);
    }
    return 0;
}

std::vector<Token> ElementTree::focusableFields(const Element& window) const
{
    std::vector<Token> fields;
    std::function<void(const Element&)> visit = [&](const Element& e) {
        if (e.focusable && e.token != window.token)
            fields.push_back(e.token);
        for (Token child : e.children)
            if (const Element* c = find(child))
                visit(*c);
    };
    visit(window);
    return fields;
}

json ElementTree::definitionOf(const Element& element) const
{
    json definition { { "role", element.role } };
    if (!element.key.empty())
        definition["key"] = element.key;
    json attributes = json::object();
    for (const auto& [name, value] : element.attributes)
        attributes[name] = value ? wire::encode(*value) : json(nullptr);
    definition["attributes"] = attributes;
    definition["actions"] = element.actions;
    definition["settable"] = element.settable;
    if (!element.press.empty())
        definition["press"] = element.press;
    definition["focusable"] = element.focusable;
    json children = json::array();
    for (Token child : element.children)
        children.push_back(definitionOf(at(child)));
    definition["children"] = children;
    return definition;
}

json ElementTree::describe(const Element& e, int depth) const
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
    if (e.role == "AXWindow") {
        const Element* field = find(e.focusedField);
        out["focusedField"] = field ? field->name() : json(nullptr);
    }
    if (!e.children.empty()) {
        json children = json::array();
        if (depth > 0)
            for (Token c : e.children)
                children.push_back(describe(at(c), depth - 1));
        else
            children = e.children.size();
        out["children"] = children;
    }
    return out;
}

platform::AXElementRef ElementTree::ref(Token token) const
{
    const Element* e = find(token);
    if (!e)
        return {};
    return platform::AXElementRef { e->pid, e->role == "AXApplication" ? 0 : token, false };
}

CFValue ElementTree::refs(const std::vector<Token>& tokens) const
{
    platform::CFArray array;
    for (Token t : tokens)
        array.emplace_back(ref(t));
    return CFValue(std::move(array));
}

} // namespace mq::sim
