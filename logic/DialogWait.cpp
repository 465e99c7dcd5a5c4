#include "logic/DialogWait.h"

#include "ax/ElementQueries.h"
#include "logic/LogicApplication.h"
#include "logic/LogicWindowWait.h"
#include "logic/ServiceLog.h"

namespace mq::logic {

bool isModalWindow(const ax::UIElement& window)
{
    return ax::attributeOrNothing<bool>(window, ax::Attribute::modal) == true;
}

std::optional<ax::UIElement> waitForLogicModalDialog(platform::Platform& platform, std::string_view label, double timeoutSeconds,
    double pollIntervalSeconds, std::string* seenInstead)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application) {
        serviceLog().error("waitForLogicModalDialog ({}): Logic Pro not found via AX (not running, or Accessibility permission denied)", label);
        if (seenInstead)
            *seenInstead = "Logic Pro not found via AX (not running, or Accessibility permission denied)";
        return std::nullopt;
    }

    if (std::optional<ax::UIElement> dialog = waitForLogicWindow(*application, isModalWindow, timeoutSeconds, pollIntervalSeconds))
        return dialog;

    std::string snapshot = logicWindowsSnapshot(platform);
    serviceLog().error("waitForLogicModalDialog ({}) timed out — Logic windows snapshot: {}", label, snapshot);
    if (seenInstead)
        *seenInstead = "no modal window; Logic's windows: " + snapshot;
    return std::nullopt;
}

} // namespace mq::logic
