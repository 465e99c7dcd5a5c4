#include "logic/LogicWindowWait.h"

#include "ax/ElementQueries.h"
#include "ax/Observer.h"
#include "platform/Dispatch.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace mq::logic {

namespace {

/// Logic's notifications that a window may have come or changed: a new window,
/// or another window taking the focus.
constexpr ax::AXNotification kWindowChanges[] { ax::AXNotification::windowCreated, ax::AXNotification::focusedWindowChanged };

/// An observer of `application` whose notifications of kWindowChanges arrive on
/// `loop`; nothing when it cannot be made, and the wait then only polls.
std::unique_ptr<ax::Observer> observeWindowChanges(const ax::Application& application, CallingThreadRunLoop& loop)
{
    // The callback has nothing to do: that a notification arrived ends the
    // loop's wait, and the wait looks at the windows again.
    std::unique_ptr<ax::Observer> observer
        = ax::Observer::create(application, [](ax::Observer&, const ax::UIElement&, ax::AXNotification) {}).valueOr(nullptr);
    if (!observer)
        return nullptr;
    bool registered = false;
    for (ax::AXNotification notification : kWindowChanges)
        registered = observer->addNotification(notification, application).hasValue() || registered;
    if (!registered)
        return nullptr;
    observer->start(loop);
    return observer;
}

std::chrono::steady_clock::duration boundedSeconds(double seconds)
{
    // NaN and negative values are no time at all.
    double bounded = seconds > 0 ? std::min(seconds, 3600.0) : 0.0;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(bounded));
}

} // namespace

std::optional<ax::UIElement> waitForLogicWindow(const ax::Application& logic, const LogicWindowPredicate& predicate, double timeoutSeconds,
    double pollIntervalSeconds)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + boundedSeconds(timeoutSeconds);
    Clock::duration pollInterval = boundedSeconds(pollIntervalSeconds);
    CallingThreadRunLoop loop("com.quillmoor.marquee.helper.windowwait");
    std::unique_ptr<ax::Observer> observer = Clock::now() < deadline ? observeWindowChanges(logic, loop) : nullptr;
    while (Clock::now() < deadline) {
        std::vector<ax::UIElement> windows = ax::windowsOrNone(logic);
        for (const ax::UIElement& window : windows)
            if (predicate(window))
                return window;
        loop.runUntil(std::min(Clock::now() + pollInterval, deadline));
    }
    return std::nullopt;
}

} // namespace mq::logic
