// The workspace facility over NSWorkspace, NSRunningApplication, NSApplication
// and the workspace and distributed notification centres.
//
// Which application is in front is never taken from here: the helper asks the
// application's accessibility element (AXFrontmost), which the window server
// answers at the moment it is asked. NSWorkspace's frontmostApplication is only
// brought up to date by the main run loop and would be stale on the threads that
// drive Logic.
#pragma once

#include "platform/Workspace.h"

#include <map>
#include <memory>
#include <mutex>

namespace mq::platform::macos {

class MacWorkspace final : public Workspace {
public:
    MacWorkspace();
    ~MacWorkspace() override;

    std::vector<RunningApplication> runningApplications() override;
    bool openURL(const URL& url) override;
    std::optional<URL> urlForApplication(const std::string& bundleIdentifier) override;
    bool launchApplication(const URL& applicationURL) override;
    bool openApplication(const URL& applicationURL, const OpenConfiguration& configuration) override;
    bool setActivationPolicy(ActivationPolicy policy) override;
    void activateIgnoringOtherApps() override;
    NotificationToken addObserver(NotificationCenterKind center, const std::string& name, DispatchQueue& queue,
        std::function<void()> handler) override;
    void removeObserver(NotificationToken token) override;

    struct Observation;

private:
    std::mutex m_mutex;
    std::map<NotificationToken, std::unique_ptr<Observation>> m_observations;
    NotificationToken m_nextToken { 1 };
};

} // namespace mq::platform::macos
