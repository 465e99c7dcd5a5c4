#include "logic/LogicApplication.h"

#include "ax/ElementQueries.h"

namespace mq::logic {

std::optional<platform::RunningApplication> findLogicRunningApplication(platform::Platform& platform)
{
    std::vector<platform::RunningApplication> running = platform.workspace.runningApplications();
    for (std::string_view bundleIdentifier : kLogicBundleIdentifiers)
        for (const platform::RunningApplication& application : running)
            if (application.bundleIdentifier == bundleIdentifier)
                return application;
    return std::nullopt;
}

std::optional<ax::Application> logicApplicationElement(platform::Platform& platform)
{
    std::optional<platform::RunningApplication> logic = findLogicRunningApplication(platform);
    std::string bundleIdentifier = logic && logic->bundleIdentifier ? *logic->bundleIdentifier : std::string(kLogicBundleIdentifiers[0]);
    std::vector<ax::Application> applications = ax::Application::allForBundleID(platform.workspace, platform.accessibility, bundleIdentifier);
    if (applications.empty())
        return std::nullopt;
    // Denied Accessibility permission answers every read with APIDisabled; treat it
    // like a missing Logic, as the callers' messages say.
    if (!ax::UIElement::isProcessTrusted(platform.accessibility, false))
        return std::nullopt;
    return applications.front();
}

std::vector<ax::UIElement> logicWindows(platform::Platform& platform)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application)
        return {};
    return ax::windowsOrNone(*application);
}

std::optional<std::vector<ax::UIElement>> readLogicWindows(platform::Platform& platform)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application)
        return std::vector<ax::UIElement> {};
    ax::Result<std::optional<std::vector<ax::UIElement>>> windows = application->windows();
    if (!windows)
        return std::nullopt;
    return windows->value_or(std::vector<ax::UIElement> {});
}

std::string logicWindowsSnapshot(platform::Platform& platform)
{
    std::optional<ax::Application> application = logicApplicationElement(platform);
    if (!application)
        return "snapshot-error: Logic not reachable via AX";
    std::optional<std::vector<ax::UIElement>> windows = ax::windowsOrNothing(*application);
    if (!windows)
        return "snapshot-error: cannot read windows";

    std::string line = "count=" + std::to_string(windows->size());
    for (const ax::UIElement& window : *windows) {
        std::optional<bool> modal = ax::attributeOrNothing<bool>(window, ax::Attribute::modal);
        line += " | title=" + ax::stringOrNothing(window, ax::Attribute::title).value_or("?");
        line += " subrole=" + ax::stringOrNothing(window, ax::Attribute::subrole).value_or("?");
        line += " modal=";
        line += modal ? (*modal ? "true" : "false") : "?";
    }
    return line;
}

} // namespace mq::logic
