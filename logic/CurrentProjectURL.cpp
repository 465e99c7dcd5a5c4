#include "logic/CurrentProjectURL.h"

#include "ax/ElementQueries.h"
#include "logic/LogicApplication.h"
#include "logic/ServiceLog.h"

#include <optional>
#include <vector>

namespace mq::logic {

namespace {

/// Main window, focused window, then every window; a window may appear twice. A
/// read that fails adds nothing.
std::vector<ax::UIElement> candidateWindows(const ax::Application& application)
{
    std::vector<ax::UIElement> candidates;
    for (ax::Attribute attribute : { ax::Attribute::mainWindow, ax::Attribute::focusedWindow })
        if (std::optional<ax::UIElement> window = ax::attributeOrNothing<ax::UIElement>(application, attribute))
            candidates.push_back(*window);
    std::vector<ax::UIElement> windows = ax::windowsOrNone(application);
    candidates.insert(candidates.end(), windows.begin(), windows.end());
    return candidates;
}

} // namespace

ServiceResult<URL> currentLogicProjectURL(platform::Platform& platform)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application) {
        serviceLog().error("currentLogicProjectURL: Logic Pro not found via AX (not running, or Accessibility permission denied)");
        return unexpected(makeServiceError(kLogicNotReachableErrorCode, "Logic Pro is not running or Accessibility access is denied."));
    }

    for (const ax::UIElement& window : candidateWindows(*application)) {
        std::optional<std::string> document = ax::attributeOrNothing<std::string>(window, ax::Attribute::document);
        if (!document || document->empty())
            continue;
        std::optional<URL> result;
        if (std::optional<URL> parsed = URL::parse(*document); parsed && parsed->isFileURL())
            result = *parsed;
        else if (document->starts_with('/'))
            result = URL::fileURLWithPath(*document);
        if (!result) {
            serviceLog().error("currentLogicProjectURL: could not parse AXDocument '{}' as file URL", *document);
            continue;
        }
        serviceLog().info("currentLogicProjectURL: {}", result->path());
        return *result;
    }

    serviceLog().info("currentLogicProjectURL: no Logic window exposes AXDocument (no project saved, or none open)");
    return unexpected(makeServiceError(kNoSavedProjectErrorCode, "Logic Pro has no saved project open."));
}

} // namespace mq::logic
