#include "logic/DialogWait.h"

#include "ax/Observer.h"
#include "logic/LogicApplication.h"
#include "logic/ServiceLog.h"
#include "platform/Dispatch.h"

#include <algorithm>
#include <chrono>

namespace mq::logic {

namespace {

std::optional<ax::UIElement> firstModalWindow(const ax::Application& application)
{
    std::optional<std::vector<ax::UIElement>> windows = application.windows().valueOr(std::nullopt);
    if (!windows)
        return std::nullopt;
    for (const ax::UIElement& window : *windows)
        if (window.attribute<bool>(ax::Attribute::modal).valueOr(std::nullopt) == true)
            return window;
    return std::nullopt;
}

/// Logic's notifications that a window may have become modal: a new window, or
/// another window taking the focus.
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

std::optional<ax::UIElement> waitForLogicModalDialog(platform::Platform& platform, std::string_view label, double timeoutSeconds,
    double pollIntervalSeconds)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application) {
        serviceLog().error("waitForLogicModalDialog ({}): Logic Pro not found via AX (not running, or Accessibility permission denied)", label);
        return std::nullopt;
    }

    using Clock = std::chrono::steady_clock;
    // A NaN or negative time-out looks at nothing, like 0.
    Clock::time_point deadline = Clock::now() + boundedSeconds(timeoutSeconds);
    Clock::duration pollInterval = boundedSeconds(pollIntervalSeconds);
    // Between looks the wait sleeps the poll interval, but wakes as soon as Logic
    // reports a new or newly focused window, so that a dialog is seen when it
    // appears rather than up to one interval later. The observer is made before
    // the first look: a dialog that appears after that look is reported.
    CallingThreadRunLoop loop("com.quillmoor.marquee.helper.dialogwait");
    std::unique_ptr<ax::Observer> observer = Clock::now() < deadline ? observeWindowChanges(*application, loop) : nullptr;
    while (Clock::now() < deadline) {
        if (std::optional<ax::UIElement> dialog = firstModalWindow(*application))
            return dialog;
        loop.runUntil(std::min(Clock::now() + pollInterval, deadline));
    }

    serviceLog().error("waitForLogicModalDialog ({}) timed out — Logic windows snapshot: {}", label, logicWindowsSnapshot(platform));
    return std::nullopt;
}

} // namespace mq::logic
