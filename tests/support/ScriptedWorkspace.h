// An in-process workspace backend for component tests: the running applications
// are whatever the test sets; opened URLs and launches are recorded.
#pragma once

#include "platform/Workspace.h"

#include <map>
#include <mutex>
#include <vector>

namespace mq::test {

class ScriptedWorkspace final : public platform::Workspace {
public:
    void setRunningApplications(std::vector<platform::RunningApplication> applications);
    void addRunningApplication(platform::RunningApplication application);
    std::vector<URL> openedURLs() const;
    std::vector<URL> launchedApplications() const;
    /// The applications opened with a configuration, in order.
    std::vector<std::pair<URL, platform::OpenConfiguration>> openedApplications() const;
    /// Called (outside the lock) each time an application is opened with a
    /// configuration, e.g. to make it run after a while.
    void setOnOpenApplication(std::function<void(const URL&)> handler);
    /// The activation policies set on this process, in order.
    std::vector<platform::ActivationPolicy> activationPolicies() const;
    /// How often this process was activated ignoring other applications.
    int activations() const;
    void setApplicationURL(const std::string& bundleIdentifier, URL location);
    /// Posts `name` to the observers of `center`, on their queues.
    void post(platform::NotificationCenterKind center, const std::string& name);

    std::vector<platform::RunningApplication> runningApplications() override;
    bool openURL(const URL& url) override;
    std::optional<URL> urlForApplication(const std::string& bundleIdentifier) override;
    bool launchApplication(const URL& applicationURL) override;
    bool openApplication(const URL& applicationURL, const platform::OpenConfiguration& configuration) override;
    bool setActivationPolicy(platform::ActivationPolicy policy) override;
    void activateIgnoringOtherApps() override;
    platform::NotificationToken addObserver(platform::NotificationCenterKind center, const std::string& name, DispatchQueue& queue,
        std::function<void()> handler) override;
    void removeObserver(platform::NotificationToken token) override;

private:
    struct Observer {
        platform::NotificationCenterKind center;
        std::string name;
        DispatchQueue* queue;
        std::function<void()> handler;
    };

    mutable std::mutex m_mutex;
    std::vector<platform::RunningApplication> m_applications;
    std::vector<URL> m_opened;
    std::vector<URL> m_launched;
    std::vector<std::pair<URL, platform::OpenConfiguration>> m_openedApplications;
    std::function<void(const URL&)> m_onOpenApplication;
    std::vector<platform::ActivationPolicy> m_activationPolicies;
    int m_activations { 0 };
    std::map<std::string, URL> m_applicationURLs;
    std::map<platform::NotificationToken, Observer> m_observers;
    platform::NotificationToken m_nextToken { 1 };
};

} // namespace mq::test
