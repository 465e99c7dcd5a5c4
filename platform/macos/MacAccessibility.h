// The accessibility facility over the macOS Accessibility interface
// (AXUIElement, AXValue, AXObserver, AXIsProcessTrustedWithOptions).
#pragma once

#include "platform/Accessibility.h"
#include "platform/macos/AXElementTable.h"

#include <map>
#include <memory>
#include <mutex>

namespace mq::platform::macos {

class MacAccessibility final : public Accessibility {
public:
    MacAccessibility();
    ~MacAccessibility() override;

    AXElementRef createApplication(pid_type pid) override;
    AXElementRef createSystemWide() override;

    AXErrorCode copyAttributeNames(const AXElementRef& element, CFArray& names) override;
    AXErrorCode copyAttributeValue(const AXElementRef& element, std::string_view attribute, CFValue& value) override;
    AXErrorCode copyAttributeValues(const AXElementRef& element, std::string_view attribute, std::int64_t index,
        std::int64_t maxValues, CFArray& values) override;
    AXErrorCode getAttributeValueCount(const AXElementRef& element, std::string_view attribute, std::int64_t& count) override;
    AXErrorCode copyMultipleAttributeValues(const AXElementRef& element, const std::vector<std::string>& attributes,
        std::uint32_t options, CFArray& values) override;
    AXErrorCode isAttributeSettable(const AXElementRef& element, std::string_view attribute, bool& settable) override;
    AXErrorCode setAttributeValue(const AXElementRef& element, std::string_view attribute, const CFValue& value) override;

    AXErrorCode copyParameterizedAttributeNames(const AXElementRef& element, CFArray& names) override;
    AXErrorCode copyParameterizedAttributeValue(const AXElementRef& element, std::string_view attribute,
        const CFValue& parameter, CFValue& value) override;

    AXErrorCode copyActionNames(const AXElementRef& element, CFArray& names) override;
    AXErrorCode copyActionDescription(const AXElementRef& element, std::string_view action, std::string& description) override;
    AXErrorCode performAction(const AXElementRef& element, std::string_view action) override;

    AXErrorCode getPid(const AXElementRef& element, pid_type& pid) override;
    AXErrorCode copyElementAtPosition(const AXElementRef& application, float x, float y, AXElementRef& element) override;
    AXErrorCode setMessagingTimeout(const AXElementRef& element, float seconds) override;

    bool isProcessTrustedWithOptions(bool prompt) override;

    AXErrorCode observerCreate(pid_type pid, AXObserverCallback callback, AXObserverRef& observer) override;
    AXErrorCode observerAddNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification) override;
    AXErrorCode observerRemoveNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification) override;
    /// Adds the observer's run-loop source to the calling thread's run loop, whose
    /// callbacks then go to `queue`; nullptr takes it off that run loop again.
    void observerSchedule(AXObserverRef observer, DispatchQueue* queue) override;
    void observerRelease(AXObserverRef observer) override;

    struct ObserverEntry;

private:
    /// Runs `call` with the handle behind `element`; InvalidUIElement when there is none.
    template<typename Call>
    AXErrorCode onElement(const AXElementRef& element, Call call);
    std::shared_ptr<ObserverEntry> observerEntry(AXObserverRef observer);

    AXElementTable m_elements;
    std::mutex m_observersMutex;
    std::map<std::uint64_t, std::shared_ptr<ObserverEntry>> m_observers;
    std::uint64_t m_nextObserverToken { 1 };
};

} // namespace mq::platform::macos
