// The accessibility facility of the platform seam, in the shape of the platform's
// C calls (AXUIElementCopyAttributeValue and friends). Every call returns the
// platform's AXError status code; out-parameters are written only on success.
//
// Implementations bound every call by the element's messaging time-out (the
// system default of 6 s when none is set): a target that does not answer gives
// -25204 (CannotComplete), an element of a process that is gone -25202
// (InvalidUIElement), and an untrusted caller -25211 (APIDisabled).
#pragma once

#include "platform/CoreTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mq {
class DispatchQueue;
}

namespace mq::platform {

namespace axerror {
inline constexpr AXErrorCode success = 0;
inline constexpr AXErrorCode failure = -25200;
inline constexpr AXErrorCode illegalArgument = -25201;
inline constexpr AXErrorCode invalidUIElement = -25202;
inline constexpr AXErrorCode invalidUIElementObserver = -25203;
inline constexpr AXErrorCode cannotComplete = -25204;
inline constexpr AXErrorCode attributeUnsupported = -25205;
inline constexpr AXErrorCode actionUnsupported = -25206;
inline constexpr AXErrorCode notificationUnsupported = -25207;
inline constexpr AXErrorCode notImplemented = -25208;
inline constexpr AXErrorCode notificationAlreadyRegistered = -25209;
inline constexpr AXErrorCode notificationNotRegistered = -25210;
inline constexpr AXErrorCode apiDisabled = -25211;
inline constexpr AXErrorCode noValue = -25212;
inline constexpr AXErrorCode parameterizedAttributeUnsupported = -25213;
inline constexpr AXErrorCode notEnoughPrecision = -25214;
} // namespace axerror

/// The system default messaging time-out, in seconds.
inline constexpr float kDefaultMessagingTimeoutSeconds = 6.0f;

/// An AXObserverRef.
struct AXObserverRef {
    std::uint64_t token { 0 };
    friend bool operator==(const AXObserverRef&, const AXObserverRef&) = default;
};

/// Called with the observer, the element, the notification name and its info
/// dictionary (empty for observers made without the info callback).
using AXObserverCallback = std::function<void(AXObserverRef, AXElementRef, const std::string& notification, const CFDictionary& info)>;

class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Element handles.
    virtual AXElementRef createApplication(pid_type pid) = 0;
    virtual AXElementRef createSystemWide() = 0;

    // Attributes.
    virtual AXErrorCode copyAttributeNames(const AXElementRef& element, CFArray& names) = 0;
    virtual AXErrorCode copyAttributeValue(const AXElementRef& element, std::string_view attribute, CFValue& value) = 0;
    virtual AXErrorCode copyAttributeValues(const AXElementRef& element, std::string_view attribute, std::int64_t index,
        std::int64_t maxValues, CFArray& values)
        = 0;
    virtual AXErrorCode getAttributeValueCount(const AXElementRef& element, std::string_view attribute, std::int64_t& count) = 0;
    /// One value per name, in order: the value, CFNull, or an AXValueError for that name.
    virtual AXErrorCode copyMultipleAttributeValues(const AXElementRef& element, const std::vector<std::string>& attributes,
        std::uint32_t options, CFArray& values)
        = 0;
    virtual AXErrorCode isAttributeSettable(const AXElementRef& element, std::string_view attribute, bool& settable) = 0;
    virtual AXErrorCode setAttributeValue(const AXElementRef& element, std::string_view attribute, const CFValue& value) = 0;

    // Parameterized attributes.
    virtual AXErrorCode copyParameterizedAttributeNames(const AXElementRef& element, CFArray& names) = 0;
    virtual AXErrorCode copyParameterizedAttributeValue(const AXElementRef& element, std::string_view attribute,
        const CFValue& parameter, CFValue& value)
        = 0;

    // Actions.
    virtual AXErrorCode copyActionNames(const AXElementRef& element, CFArray& names) = 0;
    virtual AXErrorCode copyActionDescription(const AXElementRef& element, std::string_view action, std::string& description) = 0;
    virtual AXErrorCode performAction(const AXElementRef& element, std::string_view action) = 0;

    // Miscellaneous.
    virtual AXErrorCode getPid(const AXElementRef& element, pid_type& pid) = 0;
    virtual AXErrorCode copyElementAtPosition(const AXElementRef& application, float x, float y, AXElementRef& element) = 0;
    /// Sets the time-out for calls on `element`; on the system-wide element it sets
    /// the default for every element. 0 restores the system default.
    virtual AXErrorCode setMessagingTimeout(const AXElementRef& element, float seconds) = 0;

    /// AXIsProcessTrustedWithOptions: whether this process may use accessibility;
    /// with `prompt` the system asks the user when it may not.
    virtual bool isProcessTrustedWithOptions(bool prompt) = 0;

    // Observers (AXObserverCreate and friends). Callbacks arrive on the run loop
    // that the observer was scheduled on.
    virtual AXErrorCode observerCreate(pid_type pid, AXObserverCallback callback, AXObserverRef& observer) = 0;
    virtual AXErrorCode observerAddNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification) = 0;
    virtual AXErrorCode observerRemoveNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification) = 0;
    /// Delivers the observer's callbacks on `queue` (the run loop that started it);
    /// nullptr stops delivery.
    virtual void observerSchedule(AXObserverRef observer, DispatchQueue* queue) = 0;
    virtual void observerRelease(AXObserverRef observer) = 0;
};

} // namespace mq::platform
