// An application's top-level accessibility element, and the running applications'
// elements by bundle identifier.
#pragma once

#include "ax/UIElement.h"
#include "platform/Workspace.h"

#include <optional>
#include <string_view>
#include <vector>

namespace mq::ax {

class Application : public UIElement {
public:
    /// The application element of process `pid` (AXUIElementCreateApplication).
    Application(platform::Accessibility& accessibility, platform::pid_type pid);

    /// The element of one running application; nothing when it has terminated or
    /// its process id is below 0.
    static std::optional<Application> fromRunningApplication(platform::Accessibility& accessibility,
        const platform::RunningApplication& application);

    /// One Application per running application whose bundle identifier equals
    /// `bundleIdentifier` exactly (letter case counts), in the workspace's order;
    /// terminated applications and process ids below 0 are skipped. Never fails.
    static std::vector<Application> allForBundleID(platform::Workspace& workspace, platform::Accessibility& accessibility,
        std::string_view bundleIdentifier);

    /// As allForBundleID, over every running application whose activation policy
    /// is not `prohibited`.
    static std::vector<Application> all(platform::Workspace& workspace, platform::Accessibility& accessibility);

    /// The AXWindows value as new UIElements. -25212, -25205, or a value that is
    /// not a list of elements give an absent value; other codes fail.
    Result<std::optional<std::vector<UIElement>>> windows() const;
};

} // namespace mq::ax
