#include "logic/OpenMovieDialog.h"

#include "ax/ElementQueries.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicApplication.h"
#include "logic/LogicWindowWait.h"
#include "logic/PasteboardSnapshot.h"
#include "logic/ServiceLog.h"

namespace mq::logic {

bool enterPathInOpenDialog(platform::Platform& platform, std::string_view path)
{
    PasteboardSnapshot saved = PasteboardSnapshot::take(platform.desktop);
    putPlainTextOnPasteboard(platform.desktop, path);
    bool ran = sendGoToFolder(platform);
    saved.restore(platform.desktop);
    return ran;
}

std::optional<ax::UIElement> waitForLogicOpenMovieDialog(platform::Platform& platform, std::string_view label, double timeoutSeconds,
    double pollIntervalSeconds)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application) {
        serviceLog().error("waitForLogicModalDialog ({}): Logic Pro not found via AX (not running, or Accessibility permission denied)", label);
        return std::nullopt;
    }
    auto window = waitForLogicWindow(*application, [](const ax::UIElement& candidate) {
        return ax::childrenOrNone(candidate).size() == 6 && ax::stringOrNothing(candidate, ax::Attribute::subrole) == "AXFloatingWindow";
    }, timeoutSeconds, pollIntervalSeconds);
    if (!window)
        serviceLog().error("waitForLogicOpenMovieDialog ({}) timed out — Logic windows snapshot: {}", label, logicWindowsSnapshot(platform));
    return window;
}

std::optional<ax::UIElement> waitForLogicMovieWindow(platform::Platform& platform, std::string_view movieName, double timeoutSeconds,
    double pollIntervalSeconds)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application) {
        serviceLog().error("waitForLogicMovieWindow: Logic Pro not found via AX (not running, or Accessibility permission denied)");
        return std::nullopt;
    }
    auto window = waitForLogicWindow(*application, [&](const ax::UIElement& candidate) {
        if (ax::stringOrNothing(candidate, ax::Attribute::subrole) != "AXDialog")
            return false;
        auto title = ax::stringOrNothing(candidate, ax::Attribute::title);
        return title && title->find(movieName) != std::string::npos;
    }, timeoutSeconds, pollIntervalSeconds);
    if (!window)
        serviceLog().error("waitForLogicMovieWindow timed out waiting for '{}' — Logic windows snapshot: {}", movieName,
            logicWindowsSnapshot(platform));
    return window;
}

void answerMovieOptions(const ax::UIElement& optionsWindow)
{
    std::vector<ax::UIElement> children = ax::childrenOrNone(optionsWindow);
    if (children.size() < 4)
        return;
    if (ax::attributeOrNothing<std::int64_t>(children[1], ax::Attribute::value) == 1)
        (void)children[1].performAction(ax::Action::press);
    (void)children[3].performAction(ax::Action::press);
}

} // namespace mq::logic
