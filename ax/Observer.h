// Accessibility notifications of one application (AXObserver).
#pragma once

#include "ax/AXNotification.h"
#include "ax/Application.h"

#include <functional>
#include <memory>
#include <optional>

namespace mq {
class DispatchQueue;
}

namespace mq::ax {

/// Delivers the notifications registered with addNotification to a callback, on
/// the queue given to start(). Not copyable; destroy it on the queue it delivers
/// on. A notification name without an AXNotification case is written to standard
/// output as "Unknown AX notification <name> received" and not delivered.
class Observer {
public:
    using Callback = std::function<void(Observer& observer, const UIElement& element, AXNotification notification)>;
    using CallbackWithInfo
        = std::function<void(Observer& observer, const UIElement& element, AXNotification notification, const ValueDictionary& info)>;

    /// An observer of `application`'s process (AXObserverCreate). A null observer
    /// when the application's element is invalid (-25202); other codes fail.
    static Result<std::unique_ptr<Observer>> create(const Application& application, Callback callback);
    /// The same, with the notification's info dictionary (AXObserverCreateWithInfoCallback).
    static Result<std::unique_ptr<Observer>> createWithInfo(const Application& application, CallbackWithInfo callback);

    ~Observer();
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    platform::pid_type pid() const { return m_pid; }
    platform::AXObserverRef axObserver() const { return m_axObserver; }
    /// The Application for pid(), made on first use.
    const Application& application();

    /// Starts delivery on `runLoop`; stop() ends it.
    void start(DispatchQueue& runLoop);
    void stop();

    /// Registers or removes `notification` for `element`. Every non-zero code fails.
    Result<void> addNotification(AXNotification notification, const UIElement& element);
    Result<void> removeNotification(AXNotification notification, const UIElement& element);

private:
    struct Core;
    Observer(platform::Accessibility& accessibility, platform::pid_type pid);
    static Result<std::unique_ptr<Observer>> make(const Application& application, std::shared_ptr<Core> core);

    platform::Accessibility* m_accessibility;
    platform::pid_type m_pid;
    platform::AXObserverRef m_axObserver;
    std::shared_ptr<Core> m_core;
    std::optional<Application> m_application;
};

} // namespace mq::ax
