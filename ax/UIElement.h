// An accessibility element of another application (AXUIElement) and every read,
// write and action on it.
//
// Nothing here throws. Every call answers an ax::Result: status codes that mean
// "the element has no such value" give a success holding an absent value (an empty
// optional, false or an empty list), and every other non-zero code gives a failure
// carrying that code. Each operation states its codes.
#pragma once

#include "ax/AXError.h"
#include "ax/Action.h"
#include "ax/Attribute.h"
#include "ax/Result.h"
#include "platform/Accessibility.h"

#include <atomic>
#include <concepts>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::ax {

struct Value;

/// A handle to one accessibility element.
///
/// UIElement has reference semantics: copies share one object (the element handle
/// and its messaging time-out), as copies of a reference-counted object would. Two
/// UIElements are equal exactly when their element handles are equal, so a new
/// UIElement made for the same interface element equals an older one. The backend
/// (`platform::Accessibility`) must outlive every element made from it.
class UIElement {
public:
    /// Wraps `element` of `accessibility`. The messaging time-out starts at 0
    /// (the system default).
    UIElement(platform::Accessibility& accessibility, platform::AXElementRef element);

    platform::AXElementRef element() const { return m_state->element; }
    platform::Accessibility& accessibility() const { return *m_state->accessibility; }

    /// AXIsProcessTrustedWithOptions: whether this process may use accessibility;
    /// with `withPrompt` the system asks the user when it may not. Never fails.
    static bool isProcessTrusted(platform::Accessibility& accessibility, bool withPrompt);

    /// The messaging time-out of the backend's shared system-wide element, which
    /// applies to every element without one of its own.
    static float globalMessagingTimeout(platform::Accessibility& accessibility);
    /// As setMessagingTimeout, on that shared element.
    static Result<void> setGlobalMessagingTimeout(platform::Accessibility& accessibility, float seconds);

    /// The attribute names as cases. A name without a case is skipped, and the line
    /// "Unrecognized attribute: <name>" is written to standard output.
    Result<std::vector<Attribute>> attributes() const;
    /// The attribute names; -25212 and -25205 give an empty list, other codes fail.
    /// Entries that are not strings are dropped.
    Result<std::vector<std::string>> attributesAsStrings() const;

    /// False exactly when the element reports -25205 for the attribute; -25212 and
    /// success give true; other codes fail.
    Result<bool> attributeIsSupported(Attribute attribute) const;
    Result<bool> attributeIsSupported(std::string_view attribute) const;

    /// Whether the attribute can be written; -25212 and -25205 give false, other
    /// codes fail.
    Result<bool> attributeIsSettable(Attribute attribute) const;
    Result<bool> attributeIsSettable(std::string_view attribute) const;

    /// The unpacked value when it is a `T` (see Value.h for what converts).
    /// -25212, -25205, or a value of another type, give an absent value; other
    /// codes fail.
    template<typename T>
    Result<std::optional<T>> attribute(Attribute attribute) const;
    template<typename T>
    Result<std::optional<T>> attribute(std::string_view attribute) const;

    /// Writes `value`, packed (see ValuePacking.h). Every non-zero code fails.
    Result<void> setAttribute(Attribute attribute, const Value& value) const;
    Result<void> setAttribute(std::string_view attribute, const Value& value) const;

    /// All attributes in one call. Each name maps to its unpacked value; names whose
    /// value is the null placeholder or an accessibility error -25205 or -25212 are
    /// left out. A failed call, or an entry holding any other error, fails with it.
    template<std::same_as<Attribute>... Attributes>
    Result<std::map<Attribute, Value>> getMultipleAttributes(Attributes... attributes) const;
    Result<std::map<Attribute, Value>> getMultipleAttributes(const std::vector<Attribute>& attributes) const;
    Result<std::map<std::string, Value>> getMultipleAttributes(const std::vector<std::string>& attributes) const;
    /// All attributes in one call, each entry on its own, in order: the unpacked
    /// value; absent for the null placeholder, -25205 and -25212; the entry's own
    /// failure for any other error, which leaves the other entries standing. A
    /// failed call fails with its code.
    Result<std::vector<Result<std::optional<Value>>>> multipleAttributeEntries(const std::vector<Attribute>& attributes) const;

    /// The attribute read as by attribute(): absent when absent; a value that is
    /// not a list fails with -25201 (IllegalArgument); otherwise the entries cast to
    /// `T` (absent when an entry is not a `T`).
    template<typename T>
    Result<std::optional<std::vector<T>>> arrayAttribute(Attribute attribute) const;
    template<typename T>
    Result<std::optional<std::vector<T>>> arrayAttribute(std::string_view attribute) const;

    /// Up to `maxValues` entries of a list attribute from `startAtIndex`;
    /// -25212 and -25205 give an absent value, other codes fail; entries cast to `T`.
    template<typename T>
    Result<std::optional<std::vector<T>>> valuesForAttribute(Attribute attribute, std::int64_t startAtIndex,
        std::int64_t maxValues) const;
    template<typename T>
    Result<std::optional<std::vector<T>>> valuesForAttribute(std::string_view attribute, std::int64_t startAtIndex,
        std::int64_t maxValues) const;

    /// The number of entries of a list attribute; -25205 and -25201 give an absent
    /// value, other codes fail.
    Result<std::optional<std::int64_t>> valueCountForAttribute(Attribute attribute) const;
    Result<std::optional<std::int64_t>> valueCountForAttribute(std::string_view attribute) const;

    /// As attributes() and attributesAsStrings(), for parameterized attributes.
    Result<std::vector<Attribute>> parameterizedAttributes() const;
    Result<std::vector<std::string>> parameterizedAttributesAsStrings() const;

    /// The value of a parameterized attribute for `param` (packed); -25212 and
    /// -25205 give an absent value, other codes fail; the value is unpacked and cast.
    template<typename T>
    Result<std::optional<T>> parameterizedAttribute(Attribute attribute, const Value& param) const;
    template<typename T>
    Result<std::optional<T>> parameterizedAttribute(std::string_view attribute, const Value& param) const;

    /// The action names as cases; names without a case are skipped silently.
    Result<std::vector<Action>> actions() const;
    /// The action names; -25212 and -25205 give an empty list, other codes fail.
    Result<std::vector<std::string>> actionsAsStrings() const;

    /// The action's description; -25206 and -25212 give an absent value, other
    /// codes fail.
    Result<std::optional<std::string>> actionDescription(Action action) const;
    Result<std::optional<std::string>> actionDescription(std::string_view action) const;

    /// Performs the action. Every non-zero code fails.
    Result<void> performAction(Action action) const;
    Result<void> performAction(std::string_view action) const;

    /// The process id of the element's application. Every non-zero code fails.
    Result<platform::pid_type> pid() const;

    /// Seconds that calls on this element may take; 0 is the system default.
    float messagingTimeout() const { return m_state->messagingTimeout.load(); }
    /// Stores `seconds` (0 for 0 or below, and for NaN) and applies it to the
    /// element. -25202 (the element is gone) is ignored; other codes fail and
    /// leave the stored value unchanged.
    Result<void> setMessagingTimeout(float seconds) const;

    /// The element at screen point (x, y) within this element's application;
    /// -25212 gives an absent value, other codes fail.
    Result<std::optional<UIElement>> elementAtPosition(float x, float y) const;

    /// A text form for diagnostics: "UIElement(pid 412, element 7)",
    /// "UIElement(application 412)" or "UIElement(system-wide)".
    std::string debugDescription() const;

    friend bool operator==(const UIElement& a, const UIElement& b) { return a.element() == b.element(); }

private:
    struct State {
        platform::Accessibility* accessibility;
        platform::AXElementRef element;
        std::atomic<float> messagingTimeout { 0 };
    };

    /// The raw attribute value, unpacked; absent for -25212 and -25205.
    Result<std::optional<Value>> attributeValue(std::string_view attribute) const;
    Result<std::optional<std::vector<Value>>> attributeValues(std::string_view attribute, std::int64_t startAtIndex,
        std::int64_t maxValues) const;
    Result<std::optional<Value>> parameterizedAttributeValue(std::string_view attribute, const Value& param) const;
    /// One CopyMultipleAttributeValues call: the unpacked value per name, in order
    /// (absent for names left out).
    Result<std::vector<std::optional<Value>>> fetchMultiAttrValues(const std::vector<std::string>& attributes) const;
    Value unpackAXValue(const platform::CFValue& value) const;

    std::shared_ptr<State> m_state;
};

} // namespace mq::ax

// The typed reads need Value complete; Value holds UIElements, so it comes after.
#include "ax/Value.h"
