#include "ax/UIElement.h"

#include "ax/SystemWideElement.h"
#include "ax/ValuePacking.h"

#include <cmath>
#include <iostream>

namespace mq::ax {

namespace {

using namespace platform::axerror;

/// The name list of a Copy...Names call: -25212 and -25205 give an empty list,
/// other non-zero codes fail; entries that are not strings are dropped.
Result<std::vector<std::string>> namesFrom(platform::AXErrorCode code, const platform::CFArray& names)
{
    if (code == noValue || code == attributeUnsupported)
        return std::vector<std::string> {};
    if (code != success)
        return failure(code);
    std::vector<std::string> result;
    result.reserve(names.size());
    for (const platform::CFValue& name : names)
        if (const std::string* text = name.get<std::string>())
            result.push_back(*text);
    return result;
}

Result<std::vector<Attribute>> attributesFrom(Result<std::vector<std::string>> read)
{
    std::vector<std::string> names = MQ_TRY(std::move(read));
    std::vector<Attribute> result;
    result.reserve(names.size());
    for (const std::string& name : names) {
        if (std::optional<Attribute> attribute = attributeFromRawValue(name))
            result.push_back(*attribute);
        else
            std::cout << "Unrecognized attribute: " << name << std::endl;
    }
    return result;
}

} // namespace

UIElement::UIElement(platform::Accessibility& accessibility, platform::AXElementRef element)
    : m_state(std::make_shared<State>(&accessibility, element))
{
}

bool UIElement::isProcessTrusted(platform::Accessibility& accessibility, bool withPrompt)
{
    return accessibility.isProcessTrustedWithOptions(withPrompt);
}

float UIElement::globalMessagingTimeout(platform::Accessibility& accessibility)
{
    return SystemWideElement::shared(accessibility).messagingTimeout();
}

Result<void> UIElement::setGlobalMessagingTimeout(platform::Accessibility& accessibility, float seconds)
{
    return SystemWideElement::shared(accessibility).setMessagingTimeout(seconds);
}

Result<std::vector<Attribute>> UIElement::attributes() const
{
    return attributesFrom(attributesAsStrings());
}

Result<std::vector<std::string>> UIElement::attributesAsStrings() const
{
    platform::CFArray names;
    platform::AXErrorCode code = accessibility().copyAttributeNames(element(), names);
    return namesFrom(code, names);
}

Result<bool> UIElement::attributeIsSupported(Attribute attribute) const
{
    return attributeIsSupported(rawValue(attribute));
}

Result<bool> UIElement::attributeIsSupported(std::string_view attribute) const
{
    platform::CFArray values;
    platform::AXErrorCode code = accessibility().copyAttributeValues(element(), attribute, 0, 0, values);
    if (code == attributeUnsupported)
        return false;
    if (code == noValue || code == success)
        return true;
    return failure(code);
}

Result<bool> UIElement::attributeIsSettable(Attribute attribute) const
{
    return attributeIsSettable(rawValue(attribute));
}

Result<bool> UIElement::attributeIsSettable(std::string_view attribute) const
{
    bool settable = false;
    platform::AXErrorCode code = accessibility().isAttributeSettable(element(), attribute, settable);
    if (code == noValue || code == attributeUnsupported)
        return false;
    if (code != success)
        return failure(code);
    return settable;
}

Result<std::optional<Value>> UIElement::attributeValue(std::string_view attribute) const
{
    platform::CFValue raw;
    platform::AXErrorCode code = accessibility().copyAttributeValue(element(), attribute, raw);
    if (code == noValue || code == attributeUnsupported)
        return std::optional<Value> {};
    if (code != success)
        return failure(code);
    return std::optional<Value>(unpackAXValue(raw));
}

Result<void> UIElement::setAttribute(Attribute attribute, const Value& value) const
{
    return setAttribute(rawValue(attribute), value);
}

Result<void> UIElement::setAttribute(std::string_view attribute, const Value& value) const
{
    return resultOf(accessibility().setAttributeValue(element(), attribute, pack(value)));
}

Result<std::vector<std::optional<Value>>> UIElement::fetchMultiAttrValues(const std::vector<std::string>& attributes) const
{
    platform::CFArray raw;
    if (platform::AXErrorCode code = accessibility().copyMultipleAttributeValues(element(), attributes, 0, raw); code != success)
        return failure(code);
    std::vector<std::optional<Value>> result(attributes.size());
    for (std::size_t i = 0; i < attributes.size() && i < raw.size(); ++i) {
        const platform::CFValue& entry = raw[i];
        if (entry.is<platform::CFNull>())
            continue;
        if (const platform::AXValue* boxed = entry.get<platform::AXValue>()) {
            if (const platform::AXValueError* error = std::get_if<platform::AXValueError>(boxed)) {
                if (error->code == attributeUnsupported || error->code == noValue)
                    continue;
                return failure(error->code);
            }
        }
        result[i] = unpackAXValue(entry);
    }
    return result;
}

Result<std::vector<Result<std::optional<Value>>>> UIElement::multipleAttributeEntries(const std::vector<Attribute>& attributes) const
{
    std::vector<std::string> names;
    names.reserve(attributes.size());
    for (Attribute attribute : attributes)
        names.emplace_back(rawValue(attribute));
    platform::CFArray raw;
    if (platform::AXErrorCode code = accessibility().copyMultipleAttributeValues(element(), names, 0, raw); code != success)
        return failure(code);
    std::vector<Result<std::optional<Value>>> entries(attributes.size(), std::optional<Value> {});
    for (std::size_t i = 0; i < attributes.size() && i < raw.size(); ++i) {
        const platform::CFValue& entry = raw[i];
        if (entry.is<platform::CFNull>())
            continue;
        if (const platform::AXValue* boxed = entry.get<platform::AXValue>()) {
            if (const platform::AXValueError* error = std::get_if<platform::AXValueError>(boxed)) {
                if (error->code != attributeUnsupported && error->code != noValue)
                    entries[i] = failure(error->code);
                continue;
            }
        }
        entries[i] = std::optional<Value>(unpackAXValue(entry));
    }
    return entries;
}

namespace {

/// The values of a multiple read keyed by `keys`, leaving out the absent ones.
template<typename Key>
Result<std::map<Key, Value>> keyedValues(const std::vector<Key>& keys, Result<std::vector<std::optional<Value>>> values)
{
    std::vector<std::optional<Value>> read = MQ_TRY(std::move(values));
    std::map<Key, Value> result;
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (read[i])
            result.emplace(keys[i], std::move(*read[i]));
    return result;
}

} // namespace

Result<std::map<Attribute, Value>> UIElement::getMultipleAttributes(const std::vector<Attribute>& attributes) const
{
    std::vector<std::string> names;
    names.reserve(attributes.size());
    for (Attribute attribute : attributes)
        names.emplace_back(rawValue(attribute));
    return keyedValues(attributes, fetchMultiAttrValues(names));
}

Result<std::map<std::string, Value>> UIElement::getMultipleAttributes(const std::vector<std::string>& attributes) const
{
    return keyedValues(attributes, fetchMultiAttrValues(attributes));
}

Result<std::optional<std::vector<Value>>> UIElement::attributeValues(std::string_view attribute, std::int64_t startAtIndex,
    std::int64_t maxValues) const
{
    platform::CFArray raw;
    platform::AXErrorCode code = accessibility().copyAttributeValues(element(), attribute, startAtIndex, maxValues, raw);
    if (code == noValue || code == attributeUnsupported)
        return std::optional<std::vector<Value>> {};
    if (code != success)
        return failure(code);
    std::vector<Value> values;
    values.reserve(raw.size());
    for (const platform::CFValue& entry : raw)
        values.push_back(unpackAXValue(entry));
    return std::optional<std::vector<Value>>(std::move(values));
}

Result<std::optional<std::int64_t>> UIElement::valueCountForAttribute(Attribute attribute) const
{
    return valueCountForAttribute(rawValue(attribute));
}

Result<std::optional<std::int64_t>> UIElement::valueCountForAttribute(std::string_view attribute) const
{
    std::int64_t count = 0;
    platform::AXErrorCode code = accessibility().getAttributeValueCount(element(), attribute, count);
    if (code == attributeUnsupported || code == illegalArgument)
        return std::optional<std::int64_t> {};
    if (code != success)
        return failure(code);
    return std::optional<std::int64_t>(count);
}

Result<std::vector<Attribute>> UIElement::parameterizedAttributes() const
{
    return attributesFrom(parameterizedAttributesAsStrings());
}

Result<std::vector<std::string>> UIElement::parameterizedAttributesAsStrings() const
{
    platform::CFArray names;
    platform::AXErrorCode code = accessibility().copyParameterizedAttributeNames(element(), names);
    return namesFrom(code, names);
}

Result<std::optional<Value>> UIElement::parameterizedAttributeValue(std::string_view attribute, const Value& param) const
{
    platform::CFValue raw;
    platform::AXErrorCode code = accessibility().copyParameterizedAttributeValue(element(), attribute, pack(param), raw);
    if (code == noValue || code == attributeUnsupported)
        return std::optional<Value> {};
    if (code != success)
        return failure(code);
    return std::optional<Value>(unpackAXValue(raw));
}

Value UIElement::unpackAXValue(const platform::CFValue& value) const
{
    return unpack(accessibility(), value);
}

Result<std::vector<Action>> UIElement::actions() const
{
    std::vector<std::string> names = MQ_TRY(actionsAsStrings());
    std::vector<Action> result;
    for (const std::string& name : names)
        if (std::optional<Action> action = actionFromRawValue(name))
            result.push_back(*action);
    return result;
}

Result<std::vector<std::string>> UIElement::actionsAsStrings() const
{
    platform::CFArray names;
    platform::AXErrorCode code = accessibility().copyActionNames(element(), names);
    return namesFrom(code, names);
}

Result<std::optional<std::string>> UIElement::actionDescription(Action action) const
{
    return actionDescription(rawValue(action));
}

Result<std::optional<std::string>> UIElement::actionDescription(std::string_view action) const
{
    std::string description;
    platform::AXErrorCode code = accessibility().copyActionDescription(element(), action, description);
    if (code == actionUnsupported || code == noValue)
        return std::optional<std::string> {};
    if (code != success)
        return failure(code);
    return std::optional<std::string>(std::move(description));
}

Result<void> UIElement::performAction(Action action) const
{
    return performAction(rawValue(action));
}

Result<void> UIElement::performAction(std::string_view action) const
{
    return resultOf(accessibility().performAction(element(), action));
}

Result<platform::pid_type> UIElement::pid() const
{
    platform::pid_type pid = 0;
    if (platform::AXErrorCode code = accessibility().getPid(element(), pid); code != success)
        return failure(code);
    return pid;
}

Result<void> UIElement::setMessagingTimeout(float seconds) const
{
    float stored = seconds > 0 ? seconds : 0.0f; // NaN compares false, so it stores 0.
    platform::AXErrorCode code = accessibility().setMessagingTimeout(element(), stored);
    if (code != success && code != invalidUIElement)
        return failure(code);
    m_state->messagingTimeout.store(stored);
    return {};
}

Result<std::optional<UIElement>> UIElement::elementAtPosition(float x, float y) const
{
    platform::AXElementRef found;
    platform::AXErrorCode code = accessibility().copyElementAtPosition(element(), x, y, found);
    if (code == noValue)
        return std::optional<UIElement> {};
    if (code != success)
        return failure(code);
    return std::optional<UIElement>(UIElement(accessibility(), found));
}

std::string UIElement::debugDescription() const
{
    const platform::AXElementRef& ref = element();
    if (ref.isSystemWide)
        return "UIElement(system-wide)";
    if (ref.token == 0)
        return "UIElement(application " + std::to_string(ref.pid) + ")";
    return "UIElement(pid " + std::to_string(ref.pid) + ", element " + std::to_string(ref.token) + ")";
}

} // namespace mq::ax
