#include "platform/macos/MacAccessibility.h"

#include "platform/Dispatch.h"
#include "platform/macos/CFValueConversion.h"

#include "platform/macos/ProcessState.h"

#include <ApplicationServices/ApplicationServices.h>

namespace mq::platform::macos {

struct MacAccessibility::ObserverEntry {
    AXElementTable* elements { nullptr };
    AXObserverRef token;
    CFHolder<::AXObserverRef> observer;
    AXObserverCallback callback;
    /// The run loop the source was added to, and where its callbacks are sent.
    CFHolder<CFRunLoopRef> runLoop;
    DispatchQueue* queue { nullptr };
};

namespace {

CFArray toArray(CFArrayRef names, AXElementTable& elements)
{
    auto converted = fromCF(names, elements);
    auto* array = converted.get<CFArray>();
    return array ? *array : CFArray {};
}

// The observer's C callback: runs on the run loop the source was added to.
void observerTrampoline(::AXObserverRef, AXUIElementRef element, CFStringRef notification, CFDictionaryRef info, void* refcon)
{
    auto* entry = static_cast<MacAccessibility::ObserverEntry*>(refcon);
    if (!entry || !entry->callback)
        return;
    AXElementRef source = entry->elements->intern(element);
    std::string name = toUTF8(notification);
    CFDictionary details;
    if (info) {
        auto converted = fromCF(info, *entry->elements);
        if (auto* dictionary = converted.get<CFDictionary>())
            details = *dictionary;
    }
    if (!entry->queue || entry->queue->isCurrent()) {
        entry->callback(entry->token, source, name, details);
        return;
    }
    entry->queue->async([callback = entry->callback, token = entry->token, source, name, details] {
        callback(token, source, name, details);
    });
}

} // namespace

MacAccessibility::MacAccessibility() = default;

template<typename Call>
AXErrorCode MacAccessibility::onElement(const AXElementRef& element, Call call)
{
    auto handle = m_elements.resolve(element);
    if (!handle)
        return kAXErrorInvalidUIElement;
    AXErrorCode status = call(handle.get());
    // A call to a process that has just ended can run into the messaging
    // time-out instead; the seam answers InvalidUIElement for an ended process.
    if (status == kAXErrorCannotComplete && !element.isSystemWide && processHasEnded(element.pid))
        return kAXErrorInvalidUIElement;
    return status;
}

MacAccessibility::~MacAccessibility()
{
    std::lock_guard lock(m_observersMutex);
    for (auto& [token, entry] : m_observers)
        if (entry->runLoop)
            CFRunLoopRemoveSource(entry->runLoop.get(), AXObserverGetRunLoopSource(entry->observer.get()), kCFRunLoopDefaultMode);
}

AXElementRef MacAccessibility::createApplication(pid_type pid)
{
    return m_elements.application(pid);
}

AXElementRef MacAccessibility::createSystemWide()
{
    return m_elements.systemWide();
}

AXErrorCode MacAccessibility::copyAttributeNames(const AXElementRef& element, CFArray& names)
{
    return onElement(element, [&](AXUIElementRef handle) {
        CFHolder<CFArrayRef> raw;
        AXError status = AXUIElementCopyAttributeNames(handle, raw.out());
        if (status == kAXErrorSuccess)
            names = toArray(raw.get(), m_elements);
        return status;
    });
}

AXErrorCode MacAccessibility::copyAttributeValue(const AXElementRef& element, std::string_view attribute, CFValue& value)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(attribute);
        CFHolder<CFTypeRef> raw;
        AXError status = AXUIElementCopyAttributeValue(handle, name.get(), raw.out());
        if (status == kAXErrorSuccess)
            value = fromCF(raw.get(), m_elements);
        return status;
    });
}

AXErrorCode MacAccessibility::copyAttributeValues(const AXElementRef& element, std::string_view attribute, std::int64_t index,
    std::int64_t maxValues, CFArray& values)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(attribute);
        CFHolder<CFArrayRef> raw;
        AXError status = AXUIElementCopyAttributeValues(handle, name.get(), static_cast<CFIndex>(index), static_cast<CFIndex>(maxValues), raw.out());
        if (status == kAXErrorSuccess)
            values = toArray(raw.get(), m_elements);
        return status;
    });
}

AXErrorCode MacAccessibility::getAttributeValueCount(const AXElementRef& element, std::string_view attribute, std::int64_t& count)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(attribute);
        CFIndex raw = 0;
        AXError status = AXUIElementGetAttributeValueCount(handle, name.get(), &raw);
        if (status == kAXErrorSuccess)
            count = raw;
        return status;
    });
}

AXErrorCode MacAccessibility::copyMultipleAttributeValues(const AXElementRef& element, const std::vector<std::string>& attributes,
    std::uint32_t options, CFArray& values)
{
    return onElement(element, [&](AXUIElementRef handle) {
        CFArray names(attributes.begin(), attributes.end());
        auto cfNames = toCF(CFValue(std::move(names)), m_elements);
        CFHolder<CFArrayRef> raw;
        AXError status = AXUIElementCopyMultipleAttributeValues(handle, static_cast<CFArrayRef>(cfNames.get()),
            static_cast<AXCopyMultipleAttributeOptions>(options), raw.out());
        if (status == kAXErrorSuccess)
            values = toArray(raw.get(), m_elements);
        return status;
    });
}

AXErrorCode MacAccessibility::isAttributeSettable(const AXElementRef& element, std::string_view attribute, bool& settable)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(attribute);
        Boolean raw = false;
        AXError status = AXUIElementIsAttributeSettable(handle, name.get(), &raw);
        if (status == kAXErrorSuccess)
            settable = raw != 0;
        return status;
    });
}

AXErrorCode MacAccessibility::setAttributeValue(const AXElementRef& element, std::string_view attribute, const CFValue& value)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(attribute);
        auto packed = toCF(value, m_elements);
        return AXUIElementSetAttributeValue(handle, name.get(), packed.get());
    });
}

AXErrorCode MacAccessibility::copyParameterizedAttributeNames(const AXElementRef& element, CFArray& names)
{
    return onElement(element, [&](AXUIElementRef handle) {
        CFHolder<CFArrayRef> raw;
        AXError status = AXUIElementCopyParameterizedAttributeNames(handle, raw.out());
        if (status == kAXErrorSuccess)
            names = toArray(raw.get(), m_elements);
        return status;
    });
}

AXErrorCode MacAccessibility::copyParameterizedAttributeValue(const AXElementRef& element, std::string_view attribute,
    const CFValue& parameter, CFValue& value)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(attribute);
        auto packed = toCF(parameter, m_elements);
        CFHolder<CFTypeRef> raw;
        AXError status = AXUIElementCopyParameterizedAttributeValue(handle, name.get(), packed.get(), raw.out());
        if (status == kAXErrorSuccess)
            value = fromCF(raw.get(), m_elements);
        return status;
    });
}

AXErrorCode MacAccessibility::copyActionNames(const AXElementRef& element, CFArray& names)
{
    return onElement(element, [&](AXUIElementRef handle) {
        CFHolder<CFArrayRef> raw;
        AXError status = AXUIElementCopyActionNames(handle, raw.out());
        if (status == kAXErrorSuccess)
            names = toArray(raw.get(), m_elements);
        return status;
    });
}

AXErrorCode MacAccessibility::copyActionDescription(const AXElementRef& element, std::string_view action, std::string& description)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(action);
        CFHolder<CFStringRef> raw;
        AXError status = AXUIElementCopyActionDescription(handle, name.get(), raw.out());
        if (status == kAXErrorSuccess)
            description = raw ? toUTF8(raw.get()) : std::string();
        return status;
    });
}

AXErrorCode MacAccessibility::performAction(const AXElementRef& element, std::string_view action)
{
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(action);
        return AXUIElementPerformAction(handle, name.get());
    });
}

AXErrorCode MacAccessibility::getPid(const AXElementRef& element, pid_type& pid)
{
    return onElement(element, [&](AXUIElementRef handle) {
        pid_t raw = 0;
        AXError status = AXUIElementGetPid(handle, &raw);
        if (status == kAXErrorSuccess)
            pid = raw;
        return status;
    });
}

AXErrorCode MacAccessibility::copyElementAtPosition(const AXElementRef& application, float x, float y, AXElementRef& element)
{
    return onElement(application, [&](AXUIElementRef handle) {
        CFHolder<AXUIElementRef> raw;
        AXError status = AXUIElementCopyElementAtPosition(handle, x, y, raw.out());
        if (status == kAXErrorSuccess)
            element = m_elements.intern(raw.get());
        return status;
    });
}

AXErrorCode MacAccessibility::setMessagingTimeout(const AXElementRef& element, float seconds)
{
    return onElement(element, [&](AXUIElementRef handle) {
        return AXUIElementSetMessagingTimeout(handle, seconds > 0 ? seconds : 0.0f);
    });
}

bool MacAccessibility::isProcessTrustedWithOptions(bool prompt)
{
    const void* keys[] = { kAXTrustedCheckOptionPrompt };
    const void* values[] = { prompt ? kCFBooleanTrue : kCFBooleanFalse };
    CFHolder<CFDictionaryRef> options(
        CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    return AXIsProcessTrustedWithOptions(options.get()) != 0;
}

AXErrorCode MacAccessibility::observerCreate(pid_type pid, AXObserverCallback callback, AXObserverRef& observer)
{
    auto entry = std::make_shared<ObserverEntry>();
    entry->elements = &m_elements;
    entry->callback = std::move(callback);
    AXError status = AXObserverCreateWithInfoCallback(pid, observerTrampoline, entry->observer.out());
    if (status != kAXErrorSuccess)
        return status;
    std::lock_guard lock(m_observersMutex);
    entry->token = AXObserverRef { m_nextObserverToken++ };
    observer = entry->token;
    m_observers.emplace(observer.token, std::move(entry));
    return kAXErrorSuccess;
}

std::shared_ptr<MacAccessibility::ObserverEntry> MacAccessibility::observerEntry(AXObserverRef observer)
{
    std::lock_guard lock(m_observersMutex);
    auto found = m_observers.find(observer.token);
    return found == m_observers.end() ? nullptr : found->second;
}

AXErrorCode MacAccessibility::observerAddNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification)
{
    auto entry = observerEntry(observer);
    if (!entry)
        return kAXErrorInvalidUIElementObserver;
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(notification);
        return AXObserverAddNotification(entry->observer.get(), handle, name.get(), entry.get());
    });
}

AXErrorCode MacAccessibility::observerRemoveNotification(AXObserverRef observer, const AXElementRef& element, std::string_view notification)
{
    auto entry = observerEntry(observer);
    if (!entry)
        return kAXErrorInvalidUIElementObserver;
    return onElement(element, [&](AXUIElementRef handle) {
        auto name = makeCFString(notification);
        return AXObserverRemoveNotification(entry->observer.get(), handle, name.get());
    });
}

void MacAccessibility::observerSchedule(AXObserverRef observer, DispatchQueue* queue)
{
    auto entry = observerEntry(observer);
    if (!entry)
        return;
    CFRunLoopSourceRef source = AXObserverGetRunLoopSource(entry->observer.get());
    if (entry->runLoop) {
        CFRunLoopRemoveSource(entry->runLoop.get(), source, kCFRunLoopDefaultMode);
        entry->runLoop.reset();
    }
    entry->queue = queue;
    if (!queue)
        return;
    entry->runLoop = CFHolder<CFRunLoopRef>::retained(CFRunLoopGetCurrent());
    CFRunLoopAddSource(entry->runLoop.get(), source, kCFRunLoopDefaultMode);
}

void MacAccessibility::observerRelease(AXObserverRef observer)
{
    std::shared_ptr<ObserverEntry> entry;
    {
        std::lock_guard lock(m_observersMutex);
        auto found = m_observers.find(observer.token);
        if (found == m_observers.end())
            return;
        entry = std::move(found->second);
        m_observers.erase(found);
    }
    if (entry->runLoop)
        CFRunLoopRemoveSource(entry->runLoop.get(), AXObserverGetRunLoopSource(entry->observer.get()), kCFRunLoopDefaultMode);
}

} // namespace mq::platform::macos
