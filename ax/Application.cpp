#include "ax/Application.h"

namespace mq::ax {

Application::Application(platform::Accessibility& accessibility, platform::pid_type pid)
    : UIElement(accessibility, accessibility.createApplication(pid))
{
}

std::optional<Application> Application::fromRunningApplication(platform::Accessibility& accessibility,
    const platform::RunningApplication& application)
{
    if (application.isTerminated || application.pid < 0)
        return std::nullopt;
    return Application(accessibility, application.pid);
}

std::vector<Application> Application::allForBundleID(platform::Workspace& workspace, platform::Accessibility& accessibility,
    std::string_view bundleIdentifier)
{
    std::vector<Application> result;
    for (const platform::RunningApplication& running : workspace.runningApplications()) {
        if (running.bundleIdentifier != bundleIdentifier)
            continue;
        if (std::optional<Application> application = fromRunningApplication(accessibility, running))
            result.push_back(std::move(*application));
    }
    return result;
}

std::vector<Application> Application::all(platform::Workspace& workspace, platform::Accessibility& accessibility)
{
    std::vector<Application> result;
    for (const platform::RunningApplication& running : workspace.runningApplications()) {
        if (running.activationPolicy == platform::ActivationPolicy::prohibited)
            continue;
        if (std::optional<Application> application = fromRunningApplication(accessibility, running))
            result.push_back(std::move(*application));
    }
    return result;
}

Result<std::optional<std::vector<UIElement>>> Application::windows() const
{
    return attribute<std::vector<UIElement>>(Attribute::windows);
}

} // namespace mq::ax
