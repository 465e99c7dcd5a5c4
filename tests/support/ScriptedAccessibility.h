// An in-process accessibility backend for component tests: a tree of elements with
// attributes and actions that a test builds, status codes injected per call,
// every call recorded, and notifications posted to observers on demand.
#pragma once

#include "platform/Accessibility.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace mq::test {

/// The calls of platform::Accessibility, for recording and fault injection.
enum class AXCall : std::uint8_t {
    createApplication,
    createSystemWide,
    copyAttributeNames,
    copyAttributeValue,
    copyAttributeValues,
    getAttributeValueCount,
    copyMultipleAttributeValues,
    isAttributeSettable,
    setAttributeValue,
    copyParameterizedAttributeNames,
    copyParameterizedAttributeValue,
    copyActionNames,
    copyActionDescription,
    performAction,
    getPid,
    copyElementAtPosition,
    setMessagingTimeout,
    isProcessTrusted,
    observerCreate,
    observerAddNotification,
    observerRemoveNotification,
    observerSchedule,
    observerRelease,
};

std::string_view callName(AXCall call);

/// One call as the backend saw it. `name` is the attribute, action or notification
/// name (empty when the call has none); `argument` is the written value, the
/// parameter, the index and count of copyAttributeValues, the point of
/// copyElementAtPosition, the time-out or the prompt flag.
struct RecordedAXCall {
    AXCall call;
    platform::AXElementRef element;
    std::string name;
    platform::CFValue argument;
};

/// Behaviour, in this order for every element call: an injected fault that matches
/// answers with its code; an untrusted caller gets -25211 (APIDisabled); an element
/// that does not exist, or whose process was never added or has quit, gives -25202
/// (InvalidUIElement). Then:
/// - an attribute the element does not have gives -25205; one it has without a
///   value (setAttributeWithoutValue) gives -25212;
/// - copyAttributeValues and getAttributeValueCount give -25201 for an attribute
///   that does not hold a list, and for an index outside it;
/// - copyMultipleAttributeValues gives, per name, the value, CFNull for an attribute
///   without a value, or AXValueError(-25205) for one the element does not have;
///   a fault injected with a name answers that entry with AXValueError(code), a
///   fault without a name the whole call;
/// - setAttributeValue gives -25205 for a missing attribute and -25201 for one that
///   is not settable, else stores the value;
/// - an action the element does not list gives -25206 (and -25206 for its
///   description); a listed action without a description gives -25212 for it.
class ScriptedAccessibility final : public platform::Accessibility {
public:
    ScriptedAccessibility() = default;
    ~ScriptedAccessibility() override = default;

    // Building the tree.

    /// The application element of `pid` (token 0), with AXRole "AXApplication".
    platform::AXElementRef addApplication(platform::pid_type pid);
    /// A new element of `pid`'s application without attributes.
    platform::AXElementRef addElement(platform::pid_type pid);
    /// A new element with AXRole `role` and AXParent `parent`, appended to the
    /// parent's AXChildren.
    platform::AXElementRef addChild(const platform::AXElementRef& parent, const std::string& role);
    /// A new window of `application`: AXRole "AXWindow", AXTitle, AXSubrole and
    /// AXModal (left out when not given), appended to the application's AXWindows
    /// and AXChildren.
    platform::AXElementRef addWindow(const platform::AXElementRef& application, const std::string& title,
        const std::string& subrole = "AXStandardWindow", std::optional<bool> modal = false);

    void setAttribute(const platform::AXElementRef& element, const std::string& name, platform::CFValue value);
    /// The element has the attribute, with no value now (-25212).
    void setAttributeWithoutValue(const platform::AXElementRef& element, const std::string& name);
    void removeAttribute(const platform::AXElementRef& element, const std::string& name);
    /// Appends `value` to the list attribute `name` (creating it).
    void appendToAttribute(const platform::AXElementRef& element, const std::string& name, platform::CFValue value);
    /// The stored value; nothing when absent or without a value.
    std::optional<platform::CFValue> storedAttribute(const platform::AXElementRef& element, const std::string& name) const;
    void setSettable(const platform::AXElementRef& element, const std::string& name, bool settable);

    /// A parameterized attribute answered by `answer` for each parameter.
    void setParameterizedAttribute(const platform::AXElementRef& element, const std::string& name,
        std::function<platform::CFValue(const platform::CFValue& parameter)> answer);

    /// Adds `action` to the element's actions. `result` is the code that performing
    /// it gives (0 by default); `effect` runs when it succeeds (outside the lock).
    void addAction(const platform::AXElementRef& element, const std::string& action, std::optional<std::string> description = {},
        platform::AXErrorCode result = 0, std::function<void()> effect = {});

    /// What copyElementAtPosition answers; nothing gives -25212.
    void setElementAtPosition(std::optional<platform::AXElementRef> element);

    /// The process has quit: its elements give -25202 from now on.
    void quit(platform::pid_type pid);
    /// The element is gone (a closed window): it gives -25202 from now on.
    void destroy(const platform::AXElementRef& element);
    /// Whether this process is trusted for accessibility (true at first).
    void setTrusted(bool trusted);

    // Faults.

    /// Calls of kind `call` answer `code`, when they match `element` and `name`
    /// (any when not given), `times` times (every time when negative).
    void failCall(AXCall call, platform::AXErrorCode code, std::optional<platform::AXElementRef> element = {},
        std::optional<std::string> name = {}, int times = -1);
    void clearFaults();

    // Observation.

    std::vector<RecordedAXCall> calls() const;
    /// The number of calls of kind `call` (with `name`, when given).
    std::size_t count(AXCall call, std::optional<std::string> name = {}) const;
    void clearCalls();
    /// Runs after every recorded call, outside the backend's lock; may change the tree.
    void setCallHook(std::function<void(const RecordedAXCall&)> hook);
    /// The time-out last set for `element` (0 when none was).
    float messagingTimeoutOf(const platform::AXElementRef& element) const;
    /// The prompt flags of every trust check, in order.
    std::vector<bool> trustChecks() const;

    /// Queues `notification` for `element` to every observer that registered it and
    /// is scheduled. Returns how many observers it was queued for.
    std::size_t postNotification(const platform::AXElementRef& element, const std::string& notification,
        const platform::CFDictionary& info = {});
    /// Queues `notification` to `observer` whether or not it registered it (a
    /// notification the platform delivers unasked).
    bool postNotificationTo(platform::AXObserverRef observer, const platform::AXElementRef& element, const std::string& notification,
        const platform::CFDictionary& info = {});
    /// Registered (element, notification) pairs of `observer`.
    std::size_t registrationCount(platform::AXObserverRef observer) const;
    bool isScheduled(platform::AXObserverRef observer) const;

    // platform::Accessibility.
    platform::AXElementRef createApplication(platform::pid_type pid) override;
    platform::AXElementRef createSystemWide() override;
    platform::AXErrorCode copyAttributeNames(const platform::AXElementRef& element, platform::CFArray& names) override;
    platform::AXErrorCode copyAttributeValue(const platform::AXElementRef& element, std::string_view attribute,
        platform::CFValue& value) override;
    platform::AXErrorCode copyAttributeValues(const platform::AXElementRef& element, std::string_view attribute, std::int64_t index,
        std::int64_t maxValues, platform::CFArray& values) override;
    platform::AXErrorCode getAttributeValueCount(const platform::AXElementRef& element, std::string_view attribute,
        std::int64_t& count) override;
    platform::AXErrorCode copyMultipleAttributeValues(const platform::AXElementRef& element, const std::vector<std::string>& attributes,
        std::uint32_t options, platform::CFArray& values) override;
    platform::AXErrorCode isAttributeSettable(const platform::AXElementRef& element, std::string_view attribute, bool& settable) override;
    platform::AXErrorCode setAttributeValue(const platform::AXElementRef& element, std::string_view attribute,
        const platform::CFValue& value) override;
    platform::AXErrorCode copyParameterizedAttributeNames(const platform::AXElementRef& element, platform::CFArray& names) override;
    platform::AXErrorCode copyParameterizedAttributeValue(const platform::AXElementRef& element, std::string_view attribute,
        const platform::CFValue& parameter, platform::CFValue& value) override;
    platform::AXErrorCode copyActionNames(const platform::AXElementRef& element, platform::CFArray& names) override;
    platform::AXErrorCode copyActionDescription(const platform::AXElementRef& element, std::string_view action,
        std::string& description) override;
    platform::AXErrorCode performAction(const platform::AXElementRef& element, std::string_view action) override;
    platform::AXErrorCode getPid(const platform::AXElementRef& element, platform::pid_type& pid) override;
    platform::AXErrorCode copyElementAtPosition(const platform::AXElementRef& application, float x, float y,
        platform::AXElementRef& element) override;
    platform::AXErrorCode setMessagingTimeout(const platform::AXElementRef& element, float seconds) override;
    bool isProcessTrustedWithOptions(bool prompt) override;
    platform::AXErrorCode observerCreate(platform::pid_type pid, platform::AXObserverCallback callback,
        platform::AXObserverRef& observer) override;
    platform::AXErrorCode observerAddNotification(platform::AXObserverRef observer, const platform::AXElementRef& element,
        std::string_view notification) override;
    platform::AXErrorCode observerRemoveNotification(platform::AXObserverRef observer, const platform::AXElementRef& element,
        std::string_view notification) override;
    void observerSchedule(platform::AXObserverRef observer, DispatchQueue* queue) override;
    void observerRelease(platform::AXObserverRef observer) override;

private:
    using Key = std::tuple<platform::pid_type, std::uint64_t, bool>;
    static Key keyOf(const platform::AXElementRef& element) { return { element.pid, element.token, element.isSystemWide }; }

    struct ActionEntry {
        std::string name;
        std::optional<std::string> description;
        platform::AXErrorCode result { 0 };
        std::function<void()> effect;
    };
    struct Node {
        std::vector<std::pair<std::string, std::optional<platform::CFValue>>> attributes;
        std::set<std::string> settable;
        std::vector<std::pair<std::string, std::function<platform::CFValue(const platform::CFValue&)>>> parameterized;
        std::vector<ActionEntry> actions;

        std::optional<platform::CFValue>* find(std::string_view name);
    };
    struct Fault {
        AXCall call;
        platform::AXErrorCode code;
        std::optional<platform::AXElementRef> element;
        std::optional<std::string> name;
        int remaining;
    };
    struct ObserverEntry {
        platform::pid_type pid;
        platform::AXObserverCallback callback;
        std::set<std::pair<Key, std::string>> registrations;
        DispatchQueue* queue { nullptr };
    };

    // Each takes the lock's holder's word that m_mutex is held.
    Node& nodeLocked(const platform::AXElementRef& element);
    std::optional<platform::AXErrorCode> faultLocked(AXCall call, const platform::AXElementRef& element, std::string_view name);
    /// The fault, trust and validity checks shared by every element call.
    std::optional<platform::AXErrorCode> admitLocked(AXCall call, const platform::AXElementRef& element, std::string_view name);
    void recordLocked(AXCall call, const platform::AXElementRef& element, std::string_view name, platform::CFValue argument);
    /// Runs the hook for the last recorded call, after the lock is released.
    void afterCall();

    mutable std::recursive_mutex m_mutex;
    std::map<Key, Node> m_nodes;
    std::set<platform::pid_type> m_liveProcesses;
    std::uint64_t m_nextToken { 1 };
    bool m_trusted { true };
    std::vector<bool> m_trustChecks;
    std::optional<platform::AXElementRef> m_elementAtPosition;
    std::vector<Fault> m_faults;
    std::vector<RecordedAXCall> m_calls;
    std::function<void(const RecordedAXCall&)> m_hook;
    std::map<Key, float> m_timeouts;
    std::map<std::uint64_t, ObserverEntry> m_observers;
    std::uint64_t m_nextObserver { 1 };
};

} // namespace mq::test
