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
    double pollIntervalSeconds)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application) {
        serviceLog().error("waitForLogicModalDialog ({}): Logic Pro not found via AX (not running, or Accessibility permission denied)", label);
        return std::nullopt;
    }

    if (std::optional<ax::UIElement> dialog = waitForLogicWindow(*application, isModalWindow, timeoutSeconds, pollIntervalSeconds))
        return dialog;

    serviceLog().error("waitForLogicModalDialog ({}) timed out — Logic windows snapshot: {}", label, logicWindowsSnapshot(platform));
    return std::nullopt;
}

} // namespace mq::logic
