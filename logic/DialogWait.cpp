#include "logic/DialogWait.h"

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
    double boundedTimeout = timeoutSeconds > 0 ? std::min(timeoutSeconds, 3600.0) : 0.0;
    Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(boundedTimeout));
    while (Clock::now() < deadline) {
        if (std::optional<ax::UIElement> dialog = firstModalWindow(*application))
            return dialog;
        sleepForSeconds(pollIntervalSeconds);
    }

    serviceLog().error("waitForLogicModalDialog ({}) timed out — Logic windows snapshot: {}", label, logicWindowsSnapshot(platform));
    return std::nullopt;
}

} // namespace mq::logic
