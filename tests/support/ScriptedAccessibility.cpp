#include "tests/support/ScriptedAccessibility.h"

#include "platform/Dispatch.h"

#include <algorithm>
#include <stdexcept>

namespace mq::test {

using namespace platform::axerror;
using platform::AXElementRef;
using platform::AXErrorCode;
using platform::CFArray;
using platform::CFValue;

std::string_view callName(AXCall call)
{
    switch (call) {
    case AXCall::createApplication: return "createApplication";
    case AXCall::createSystemWide: return "createSystemWide";
    case AXCall::copyAttributeNames: return "copyAttributeNames";
    case AXCall::copyAttributeValue: return "copyAttributeValue";
    case AXCall::copyAttributeValues: return "copyAttributeValues";
    case AXCall::getAttributeValueCount: return "getAttributeValueCount";
    case AXCall::copyMultipleAttributeValues: return "copyMultipleAttributeValues";
    case AXCall::isAttributeSettable: return "isAttributeSettable";
    case AXCall::setAttributeValue: return "setAttributeValue";
    case AXCall::copyParameterizedAttributeNames: return "copyParameterizedAttributeNames";
    case AXCall::copyParameterizedAttributeValue: return "copyParameterizedAttributeValue";
    case AXCall::copyActionNames: return "copyActionNames";
    case AXCall::copyActionDescription: return "copyActionDescription";
    case AXCall::performAction: return "performAction";
    case AXCall::getPid: return "getPid";
    case AXCall::copyElementAtPosition: return "copyElementAtPosition";
    case AXCall::setMessagingTimeout: return "setMessagingTimeout";
    case AXCall::isProcessTrusted: return "isProcessTrusted";
    case AXCall::observerCreate: return "observerCreate";
    case AXCall::observerAddNotification: return "observerAddNotification";
    case AXCall::observerRemoveNotification: return "observerRemoveNotification";
    case AXCall::observerSchedule: return "observerSchedule";
    case AXCall::observerRelease: return "observerRelease";
    }
    return "?";
}

std::optional<CFValue>* ScriptedAccessibility::Node::find(std::string_view name)
{
    for (auto& [key, value] : attributes)
        if (key == name)
            return &value;
    return nullptr;
}

// Building the tree.

AXElementRef ScriptedAccessibility::addApplication(platform::pid_type pid)
{
    std::lock_guard lock(m_mutex);
    m_liveProcesses.insert(pid);
    AXElementRef application { pid, 0, false };
    Node& node = m_nodes[keyOf(application)];
    if (!node.find("AXRole"))
        node.attributes.emplace_back("AXRole", CFValue("AXApplication"));
    return application;
}

AXElementRef ScriptedAccessibility::addElement(platform::pid_type pid)
{
    std::lock_guard lock(m_mutex);
    AXElementRef element { pid, m_nextToken++, false };
    m_nodes[keyOf(element)];
    return element;
}

AXElementRef ScriptedAccessibility::addChild(const AXElementRef& parent, const std::string& role)
{
    std::lock_guard lock(m_mutex);
    AXElementRef child = addElement(parent.pid);
    setAttribute(child, "AXRole", role);
    setAttribute(child, "AXParent", parent);
    appendToAttribute(parent, "AXChildren", child);
    return child;
}

AXElementRef ScriptedAccessibility::addWindow(const AXElementRef& application, const std::string& title, const std::string& subrole,
    std::optional<bool> modal)
{
    std::lock_guard lock(m_mutex);
    AXElementRef window = addChild(application, "AXWindow");
    setAttribute(window, "AXTitle", title);
    setAttribute(window, "AXSubrole", subrole);
    if (modal)
        setAttribute(window, "AXModal", *modal);
    appendToAttribute(application, "AXWindows", window);
    return window;
}

void ScriptedAccessibility::setAttribute(const AXElementRef& element, const std::string& name, CFValue value)
{
    std::lock_guard lock(m_mutex);
    Node& node = nodeLocked(element);
    if (std::optional<CFValue>* existing = node.find(name))
        *existing = std::move(value);
    else
        node.attributes.emplace_back(name, std::move(value));
}

void ScriptedAccessibility::setAttributeWithoutValue(const AXElementRef& element, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    Node& node = nodeLocked(element);
    if (std::optional<CFValue>* existing = node.find(name))
        existing->reset();
    else
        node.attributes.emplace_back(name, std::nullopt);
}

void ScriptedAccessibility::removeAttribute(const AXElementRef& element, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    auto& attributes = nodeLocked(element).attributes;
    std::erase_if(attributes, [&](const auto& entry) { return entry.first == name; });
}

void ScriptedAccessibility::appendToAttribute(const AXElementRef& element, const std::string& name, CFValue value)
{
    std::lock_guard lock(m_mutex);
    Node& node = nodeLocked(element);
    std::optional<CFValue>* existing = node.find(name);
    if (!existing || !*existing || !(*existing)->is<CFArray>()) {
        setAttribute(element, name, CFArray {});
        existing = node.find(name);
    }
    std::get<CFArray>((*existing)->storage).push_back(std::move(value));
}

std::optional<CFValue> ScriptedAccessibility::storedAttribute(const AXElementRef& element, const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_nodes.find(keyOf(element));
    if (found == m_nodes.end())
        return std::nullopt;
    std::optional<CFValue>* value = const_cast<Node&>(found->second).find(name);
    return value ? *value : std::nullopt;
}

void ScriptedAccessibility::setSettable(const AXElementRef& element, const std::string& name, bool settable)
{
    std::lock_guard lock(m_mutex);
    Node& node = nodeLocked(element);
    if (settable)
        node.settable.insert(name);
    else
        node.settable.erase(name);
}

void ScriptedAccessibility::setParameterizedAttribute(const AXElementRef& element, const std::string& name,
    std::function<CFValue(const CFValue&)> answer)
{
    std::lock_guard lock(m_mutex);
    nodeLocked(element).parameterized.emplace_back(name, std::move(answer));
}

void ScriptedAccessibility::addAction(const AXElementRef& element, const std::string& action, std::optional<std::string> description,
    AXErrorCode result, std::function<void()> effect)
{
    std::lock_guard lock(m_mutex);
    nodeLocked(element).actions.push_back(ActionEntry { action, std::move(description), result, std::move(effect) });
}

void ScriptedAccessibility::setElementAtPosition(std::optional<AXElementRef> element)
{
    std::lock_guard lock(m_mutex);
    m_elementAtPosition = element;
}

void ScriptedAccessibility::quit(platform::pid_type pid)
{
    std::lock_guard lock(m_mutex);
    m_liveProcesses.erase(pid);
}

void ScriptedAccessibility::destroy(const AXElementRef& element)
{
    std::lock_guard lock(m_mutex);
    m_nodes.erase(keyOf(element));
}

void ScriptedAccessibility::setTrusted(bool trusted)
{
    std::lock_guard lock(m_mutex);
    m_trusted = trusted;
}

void ScriptedAccessibility::failCall(AXCall call, AXErrorCode code, std::optional<AXElementRef> element, std::optional<std::string> name,
    int times)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back(Fault { call, code, element, std::move(name), times });
}

void ScriptedAccessibility::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

// Observation.

std::vector<RecordedAXCall> ScriptedAccessibility::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::size_t ScriptedAccessibility::count(AXCall call, std::optional<std::string> name) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(m_calls.begin(), m_calls.end(),
        [&](const RecordedAXCall& recorded) { return recorded.call == call && (!name || recorded.name == *name); }));
}

void ScriptedAccessibility::clearCalls()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

void ScriptedAccessibility::setCallHook(std::function<void(const RecordedAXCall&)> hook)
{
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

float ScriptedAccessibility::messagingTimeoutOf(const AXElementRef& element) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_timeouts.find(keyOf(element));
    return found == m_timeouts.end() ? 0.0f : found->second;
}

std::vector<bool> ScriptedAccessibility::trustChecks() const
{
    std::lock_guard lock(m_mutex);
    return m_trustChecks;
}

std::size_t ScriptedAccessibility::postNotification(const AXElementRef& element, const std::string& notification,
    const platform::CFDictionary& info)
{
    std::lock_guard lock(m_mutex);
    std::size_t delivered = 0;
    for (auto& [token, observer] : m_observers) {
        if (!observer.queue || !observer.registrations.contains({ keyOf(element), notification }))
            continue;
        observer.queue->async([callback = observer.callback, handle = platform::AXObserverRef { token }, element, notification, info] {
            callback(handle, element, notification, info);
        });
        ++delivered;
    }
    return delivered;
}

bool ScriptedAccessibility::postNotificationTo(platform::AXObserverRef observer, const AXElementRef& element,
    const std::string& notification, const platform::CFDictionary& info)
{
    std::lock_guard lock(m_mutex);
    auto found = m_observers.find(observer.token);
    if (found == m_observers.end() || !found->second.queue)
        return false;
    found->second.queue->async([callback = found->second.callback, observer, element, notification, info] {
        callback(observer, element, notification, info);
    });
    return true;
}

std::size_t ScriptedAccessibility::registrationCount(platform::AXObserverRef observer) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_observers.find(observer.token);
    return found == m_observers.end() ? 0 : found->second.registrations.size();
}

bool ScriptedAccessibility::isScheduled(platform::AXObserverRef observer) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_observers.find(observer.token);
    return found != m_observers.end() && found->second.queue;
}

// Internals.

ScriptedAccessibility::Node& ScriptedAccessibility::nodeLocked(const AXElementRef& element)
{
    auto found = m_nodes.find(keyOf(element));
    if (found == m_nodes.end())
        throw std::logic_error("ScriptedAccessibility: no such element");
    return found->second;
}

std::optional<AXErrorCode> ScriptedAccessibility::faultLocked(AXCall call, const AXElementRef& element, std::string_view name)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->call != call || (it->element && *it->element != element) || (it->name && *it->name != name))
            continue;
        AXErrorCode code = it->code;
        if (it->remaining > 0 && --it->remaining == 0)
            m_faults.erase(it);
        return code;
    }
    return std::nullopt;
}

std::optional<AXErrorCode> ScriptedAccessibility::admitLocked(AXCall call, const AXElementRef& element, std::string_view name)
{
    if (std::optional<AXErrorCode> fault = faultLocked(call, element, name))
        return fault;
    if (!m_trusted)
        return apiDisabled;
    if (element.isSystemWide)
        return std::nullopt;
    if (!m_liveProcesses.contains(element.pid) || !m_nodes.contains(keyOf(element)))
        return invalidUIElement;
    return std::nullopt;
}

void ScriptedAccessibility::recordLocked(AXCall call, const AXElementRef& element, std::string_view name, CFValue argument)
{
    m_calls.push_back(RecordedAXCall { call, element, std::string(name), std::move(argument) });
}

void ScriptedAccessibility::afterCall()
{
    std::function<void(const RecordedAXCall&)> hook;
    RecordedAXCall last;
    {
        std::lock_guard lock(m_mutex);
        if (!m_hook || m_calls.empty())
            return;
        hook = m_hook;
        last = m_calls.back();
    }
    hook(last);
}

// platform::Accessibility.

AXElementRef ScriptedAccessibility::createApplication(platform::pid_type pid)
{
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::createApplication, AXElementRef { pid, 0, false }, {}, static_cast<std::int64_t>(pid));
    }
    afterCall();
    return AXElementRef { pid, 0, false };
}

AXElementRef ScriptedAccessibility::createSystemWide()
{
    AXElementRef systemWide { 0, 0, true };
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::createSystemWide, systemWide, {}, {});
        m_nodes[keyOf(systemWide)];
    }
    afterCall();
    return systemWide;
}

AXErrorCode ScriptedAccessibility::copyAttributeNames(const AXElementRef& element, CFArray& names)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyAttributeNames, element, {}, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyAttributeNames, element, {})) {
            code = *refused;
        } else {
            names.clear();
            for (const auto& [name, value] : nodeLocked(element).attributes)
                names.emplace_back(name);
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyAttributeValue(const AXElementRef& element, std::string_view attribute, CFValue& value)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyAttributeValue, element, attribute, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyAttributeValue, element, attribute)) {
            code = *refused;
        } else if (std::optional<CFValue>* stored = nodeLocked(element).find(attribute); !stored) {
            code = attributeUnsupported;
        } else if (!*stored) {
            code = noValue;
        } else {
            value = **stored;
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyAttributeValues(const AXElementRef& element, std::string_view attribute, std::int64_t index,
    std::int64_t maxValues, CFArray& values)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyAttributeValues, element, attribute, CFArray { index, maxValues });
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyAttributeValues, element, attribute)) {
            code = *refused;
        } else if (std::optional<CFValue>* stored = nodeLocked(element).find(attribute); !stored) {
            code = attributeUnsupported;
        } else if (!*stored) {
            code = noValue;
        } else if (const CFArray* list = (*stored)->get<CFArray>();
                   !list || index < 0 || maxValues < 0 || index > static_cast<std::int64_t>(list->size())) {
            code = illegalArgument;
        } else {
            auto begin = list->begin() + index;
            auto end = begin + std::min<std::int64_t>(maxValues, static_cast<std::int64_t>(list->size()) - index);
            values.assign(begin, end);
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::getAttributeValueCount(const AXElementRef& element, std::string_view attribute, std::int64_t& count)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::getAttributeValueCount, element, attribute, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::getAttributeValueCount, element, attribute)) {
            code = *refused;
        } else if (std::optional<CFValue>* stored = nodeLocked(element).find(attribute); !stored) {
            code = attributeUnsupported;
        } else if (!*stored) {
            code = noValue;
        } else if (const CFArray* list = (*stored)->get<CFArray>(); !list) {
            code = illegalArgument;
        } else {
            count = static_cast<std::int64_t>(list->size());
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyMultipleAttributeValues(const AXElementRef& element, const std::vector<std::string>& attributes,
    std::uint32_t options, CFArray& values)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        CFArray names(attributes.begin(), attributes.end());
        names.emplace_back(static_cast<std::int64_t>(options));
        recordLocked(AXCall::copyMultipleAttributeValues, element, {}, std::move(names));
        // A fault given with a name answers that entry; one without, the call.
        std::optional<AXErrorCode> whole;
        bool wholeCallFault = std::any_of(m_faults.begin(), m_faults.end(), [&](const Fault& fault) {
            return fault.call == AXCall::copyMultipleAttributeValues && !fault.name && (!fault.element || *fault.element == element);
        });
        if (wholeCallFault)
            whole = faultLocked(AXCall::copyMultipleAttributeValues, element, {});
        if (!whole && !m_trusted)
            whole = apiDisabled;
        if (!whole && !element.isSystemWide && (!m_liveProcesses.contains(element.pid) || !m_nodes.contains(keyOf(element))))
            whole = invalidUIElement;
        if (whole) {
            code = *whole;
        } else {
            values.clear();
            Node& node = nodeLocked(element);
            for (const std::string& name : attributes) {
                if (std::optional<AXErrorCode> entryFault = faultLocked(AXCall::copyMultipleAttributeValues, element, name))
                    values.emplace_back(platform::AXValue(platform::AXValueError { *entryFault }));
                else if (std::optional<CFValue>* stored = node.find(name); !stored)
                    values.emplace_back(platform::AXValue(platform::AXValueError { attributeUnsupported }));
                else if (!*stored)
                    values.emplace_back(platform::CFNull {});
                else
                    values.push_back(**stored);
            }
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::isAttributeSettable(const AXElementRef& element, std::string_view attribute, bool& settable)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::isAttributeSettable, element, attribute, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::isAttributeSettable, element, attribute))
            code = *refused;
        else if (Node& node = nodeLocked(element); !node.find(attribute))
            code = attributeUnsupported;
        else
            settable = node.settable.contains(std::string(attribute));
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::setAttributeValue(const AXElementRef& element, std::string_view attribute, const CFValue& value)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::setAttributeValue, element, attribute, value);
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::setAttributeValue, element, attribute))
            code = *refused;
        else if (Node& node = nodeLocked(element); !node.find(attribute))
            code = attributeUnsupported;
        else if (!node.settable.contains(std::string(attribute)))
            code = illegalArgument;
        else
            *node.find(attribute) = value;
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyParameterizedAttributeNames(const AXElementRef& element, CFArray& names)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyParameterizedAttributeNames, element, {}, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyParameterizedAttributeNames, element, {})) {
            code = *refused;
        } else {
            names.clear();
            for (const auto& [name, answer] : nodeLocked(element).parameterized)
                names.emplace_back(name);
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyParameterizedAttributeValue(const AXElementRef& element, std::string_view attribute,
    const CFValue& parameter, CFValue& value)
{
    AXErrorCode code = attributeUnsupported;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyParameterizedAttributeValue, element, attribute, parameter);
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyParameterizedAttributeValue, element, attribute)) {
            code = *refused;
        } else {
            for (const auto& [name, answer] : nodeLocked(element).parameterized) {
                if (name == attribute) {
                    value = answer(parameter);
                    code = success;
                    break;
                }
            }
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyActionNames(const AXElementRef& element, CFArray& names)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyActionNames, element, {}, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyActionNames, element, {})) {
            code = *refused;
        } else {
            names.clear();
            for (const ActionEntry& action : nodeLocked(element).actions)
                names.emplace_back(action.name);
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyActionDescription(const AXElementRef& element, std::string_view action, std::string& description)
{
    AXErrorCode code = actionUnsupported;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyActionDescription, element, action, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyActionDescription, element, action)) {
            code = *refused;
        } else {
            for (const ActionEntry& entry : nodeLocked(element).actions) {
                if (entry.name != action)
                    continue;
                code = entry.description ? success : noValue;
                if (entry.description)
                    description = *entry.description;
                break;
            }
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::performAction(const AXElementRef& element, std::string_view action)
{
    AXErrorCode code = actionUnsupported;
    std::function<void()> effect;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::performAction, element, action, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::performAction, element, action)) {
            code = *refused;
        } else {
            for (const ActionEntry& entry : nodeLocked(element).actions) {
                if (entry.name != action)
                    continue;
                code = entry.result;
                if (code == success)
                    effect = entry.effect;
                break;
            }
        }
    }
    if (effect)
        effect();
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::getPid(const AXElementRef& element, platform::pid_type& pid)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::getPid, element, {}, {});
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::getPid, element, {}))
            code = *refused;
        else
            pid = element.pid;
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::copyElementAtPosition(const AXElementRef& application, float x, float y, AXElementRef& element)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::copyElementAtPosition, application, {}, platform::CGPoint { x, y });
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::copyElementAtPosition, application, {}))
            code = *refused;
        else if (!m_elementAtPosition)
            code = noValue;
        else
            element = *m_elementAtPosition;
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::setMessagingTimeout(const AXElementRef& element, float seconds)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::setMessagingTimeout, element, {}, static_cast<double>(seconds));
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::setMessagingTimeout, element, {}))
            code = *refused;
        else
            m_timeouts[keyOf(element)] = seconds;
    }
    afterCall();
    return code;
}

bool ScriptedAccessibility::isProcessTrustedWithOptions(bool prompt)
{
    bool trusted = false;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::isProcessTrusted, {}, {}, prompt);
        m_trustChecks.push_back(prompt);
        trusted = m_trusted;
    }
    afterCall();
    return trusted;
}

AXErrorCode ScriptedAccessibility::observerCreate(platform::pid_type pid, platform::AXObserverCallback callback,
    platform::AXObserverRef& observer)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        AXElementRef application { pid, 0, false };
        recordLocked(AXCall::observerCreate, application, {}, {});
        if (std::optional<AXErrorCode> fault = faultLocked(AXCall::observerCreate, application, {})) {
            code = *fault;
        } else if (!m_liveProcesses.contains(pid)) {
            code = invalidUIElement;
        } else {
            observer = platform::AXObserverRef { m_nextObserver++ };
            m_observers.emplace(observer.token, ObserverEntry { pid, std::move(callback), {}, nullptr });
        }
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::observerAddNotification(platform::AXObserverRef observer, const AXElementRef& element,
    std::string_view notification)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::observerAddNotification, element, notification, static_cast<std::int64_t>(observer.token));
        auto found = m_observers.find(observer.token);
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::observerAddNotification, element, notification))
            code = *refused;
        else if (found == m_observers.end())
            code = invalidUIElementObserver;
        else if (!found->second.registrations.emplace(keyOf(element), std::string(notification)).second)
            code = notificationAlreadyRegistered;
    }
    afterCall();
    return code;
}

AXErrorCode ScriptedAccessibility::observerRemoveNotification(platform::AXObserverRef observer, const AXElementRef& element,
    std::string_view notification)
{
    AXErrorCode code = success;
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::observerRemoveNotification, element, notification, static_cast<std::int64_t>(observer.token));
        auto found = m_observers.find(observer.token);
        if (std::optional<AXErrorCode> refused = admitLocked(AXCall::observerRemoveNotification, element, notification))
            code = *refused;
        else if (found == m_observers.end())
            code = invalidUIElementObserver;
        else if (found->second.registrations.erase({ keyOf(element), std::string(notification) }) == 0)
            code = notificationNotRegistered;
    }
    afterCall();
    return code;
}

void ScriptedAccessibility::observerSchedule(platform::AXObserverRef observer, DispatchQueue* queue)
{
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::observerSchedule, {}, {}, queue != nullptr);
        if (auto found = m_observers.find(observer.token); found != m_observers.end())
            found->second.queue = queue;
    }
    afterCall();
}

void ScriptedAccessibility::observerRelease(platform::AXObserverRef observer)
{
    {
        std::lock_guard lock(m_mutex);
        recordLocked(AXCall::observerRelease, {}, {}, static_cast<std::int64_t>(observer.token));
        m_observers.erase(observer.token);
    }
    afterCall();
}

} // namespace mq::test
