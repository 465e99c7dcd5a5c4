#include "ax/Observer.h"

#include "ax/ValuePacking.h"

#include <iostream>

namespace mq::ax {

// What the platform callback reaches: it holds the core weakly, so a callback that
// arrives after the observer is gone does nothing.
struct Observer::Core {
    Callback callback;
    CallbackWithInfo callbackWithInfo;
    Observer* owner { nullptr };
};

Observer::Observer(platform::Accessibility& accessibility, platform::pid_type pid)
    : m_accessibility(&accessibility)
    , m_pid(pid)
{
}

Result<std::unique_ptr<Observer>> Observer::create(const Application& application, Callback callback)
{
    auto core = std::make_shared<Core>();
    core->callback = std::move(callback);
    return make(application, std::move(core));
}

Result<std::unique_ptr<Observer>> Observer::createWithInfo(const Application& application, CallbackWithInfo callback)
{
    auto core = std::make_shared<Core>();
    core->callbackWithInfo = std::move(callback);
    return make(application, std::move(core));
}

Result<std::unique_ptr<Observer>> Observer::make(const Application& application, std::shared_ptr<Core> core)
{
    platform::Accessibility& accessibility = application.accessibility();
    platform::pid_type pid = 0;
    platform::AXErrorCode code = accessibility.getPid(application.element(), pid);
    if (code == platform::axerror::invalidUIElement)
        return std::unique_ptr<Observer> {};
    if (code != platform::axerror::success)
        return failure(code);

    std::weak_ptr<Core> weakCore = core;
    auto deliver = [weakCore, &accessibility](platform::AXObserverRef, platform::AXElementRef element, const std::string& name,
                       const platform::CFDictionary& info) {
        std::shared_ptr<Core> target = weakCore.lock();
        if (!target || !target->owner)
            return;
        std::optional<AXNotification> notification = notificationFromRawValue(name);
        if (!notification) {
            std::cout << "Unknown AX notification " << name << " received" << std::endl;
            return;
        }
        UIElement source(accessibility, element);
        if (target->callbackWithInfo) {
            Value unpacked = unpack(accessibility, platform::CFValue(info));
            target->callbackWithInfo(*target->owner, source, *notification, *unpacked.get<ValueDictionary>());
        } else if (target->callback) {
            target->callback(*target->owner, source, *notification);
        }
    };

    platform::AXObserverRef handle;
    code = accessibility.observerCreate(pid, std::move(deliver), handle);
    if (code == platform::axerror::invalidUIElement)
        return std::unique_ptr<Observer> {};
    if (code != platform::axerror::success)
        return failure(code);

    std::unique_ptr<Observer> observer(new Observer(accessibility, pid));
    observer->m_axObserver = handle;
    core->owner = observer.get();
    observer->m_core = std::move(core);
    return observer;
}

Observer::~Observer()
{
    m_core->owner = nullptr;
    m_accessibility->observerSchedule(m_axObserver, nullptr);
    m_accessibility->observerRelease(m_axObserver);
}

const Application& Observer::application()
{
    if (!m_application)
        m_application.emplace(*m_accessibility, m_pid);
    return *m_application;
}

void Observer::start(DispatchQueue& runLoop)
{
    m_accessibility->observerSchedule(m_axObserver, &runLoop);
}

void Observer::stop()
{
    m_accessibility->observerSchedule(m_axObserver, nullptr);
}

Result<void> Observer::addNotification(AXNotification notification, const UIElement& element)
{
    return resultOf(m_accessibility->observerAddNotification(m_axObserver, element.element(), rawValue(notification)));
}

Result<void> Observer::removeNotification(AXNotification notification, const UIElement& element)
{
    return resultOf(m_accessibility->observerRemoveNotification(m_axObserver, element.element(), rawValue(notification)));
}

} // namespace mq::ax
