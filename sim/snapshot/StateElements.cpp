#include "sim/snapshot/StateElements.h"

namespace mq::sim::elements {

using nlohmann::json;

namespace {

/// The member `name` of `object` when `is` holds for it, else `none`.
const json& memberIf(const json& object, const char* name, bool (json::*is)() const noexcept, const json& none)
{
    if (!object.is_object())
        return none;
    auto it = object.find(name);
    return it != object.end() && ((*it).*is)() ? *it : none;
}

} // namespace

const json& arrayMember(const json& object, const char* name)
{
    static const json none = json::array();
    return memberIf(object, name, &json::is_array, none);
}

const json& objectMember(const json& object, const char* name)
{
    static const json none = json::object();
    return memberIf(object, name, &json::is_object, none);
}

const json& attributes(const json& element) { return objectMember(element, "attributes"); }

const json& children(const json& element) { return arrayMember(element, "children"); }

std::string role(const json& element) { return element.value("role", ""); }

std::optional<QRectF> frameOf(const json& element)
{
    const json& a = attributes(element);
    auto position = a.find("AXPosition");
    auto size = a.find("AXSize");
    if (position == a.end() || size == a.end() || !position->is_object() || !size->is_object())
        return std::nullopt;
    const json& p = arrayMember(*position, "point");
    const json& s = arrayMember(*size, "size");
    if (!p.is_array() || !s.is_array() || p.size() != 2 || s.size() != 2 || !p[0].is_number() || !p[1].is_number() || !s[0].is_number()
        || !s[1].is_number())
        return std::nullopt;
    QRectF frame(p[0].get<double>(), p[1].get<double>(), s[0].get<double>(), s[1].get<double>());
    if (frame.width() <= 0 || frame.height() <= 0)
        return std::nullopt;
    return frame;
}

QString text(const json& element, const char* attribute)
{
    const json& a = attributes(element);
    auto it = a.find(attribute);
    if (it == a.end())
        return {};
    if (it->is_string())
        return QString::fromStdString(it->get<std::string>());
    if (it->is_number())
        return QString::fromStdString(it->dump());
    return {};
}

QString labelOf(const json& element)
{
    for (const char* name : { "AXTitle", "AXValue", "AXDescription" })
        if (QString value = text(element, name); !value.isEmpty())
            return value;
    return {};
}

const json* findByKey(const json& element, const std::string& key)
{
    if (element.value("key", "") == key)
        return &element;
    for (const json& child : children(element))
        if (const json* found = findByKey(child, key))
            return found;
    return nullptr;
}

const json* findByDescription(const json& element, const std::string& roleName, const std::string& description)
{
    if (role(element) == roleName && text(element, "AXDescription").toStdString() == description)
        return &element;
    for (const json& child : children(element))
        if (const json* found = findByDescription(child, roleName, description))
            return found;
    return nullptr;
}

} // namespace mq::sim::elements
