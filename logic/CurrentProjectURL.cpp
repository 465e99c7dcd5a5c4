#include "logic/CurrentProjectURL.h"

#include "logic/LogicApplication.h"
#include "logic/ServiceLog.h"

#include <optional>
#include <vector>

namespace mq::logic {

namespace {

void addWindow(std::vector<ax::UIElement>& candidates, const ax::Application& application, ax::Attribute attribute)
{
    try {
        if (std::optional<ax::UIElement> window = application.attribute<ax::UIElement>(attribute))
            candidates.push_back(*window);
    } catch (const ax::AXError&) {
    }
}

/// Main window, focused window, then every window; a window may appear twice.
std::vector<ax::UIElement> candidateWindows(const ax::Application& application)
{
    std::vector<ax::UIElement> candidates;
    addWindow(candidates, application, ax::Attribute::mainWindow);
    addWindow(candidates, application, ax::Attribute::focusedWindow);
    try {
        if (std::optional<std::vector<ax::UIElement>> windows = application.windows())
            candidates.insert(candidates.end(), windows->begin(), windows->end());
    } catch (const ax::AXError&) {
    }
    return candidates;
}

std::optional<std::string> documentOf(const ax::UIElement& window)
{
    try {
        return window.attribute<std::string>(ax::Attribute::document);
    } catch (const ax::AXError&) {
        return std::nullopt;
    }
}

} // namespace

std::variant<URL, ServiceError> currentLogicProjectURL(platform::Platform& platform)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application) {
        serviceLog().error("currentLogicProjectURL: Logic Pro not found via AX (not running, or Accessibility permission denied)");
        return makeServiceError(kLogicNotReachableErrorCode, "Logic Pro is not running or Accessibility access is denied.");
    }

    for (const ax::UIElement& window : candidateWindows(*application)) {
        std::optional<std::string> document = documentOf(window);
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
    return makeServiceError(kNoSavedProjectErrorCode, "Logic Pro has no saved project open.");
}

} // namespace mq::logic
