#include "tests/support/ScriptedWorkspace.h"

#include "platform/Dispatch.h"

namespace mq::test {

void ScriptedWorkspace::setRunningApplications(std::vector<platform::RunningApplication> applications)
{
    std::lock_guard lock(m_mutex);
    m_applications = std::move(applications);
}

void ScriptedWorkspace::addRunningApplication(platform::RunningApplication application)
{
    std::lock_guard lock(m_mutex);
    m_applications.push_back(std::move(application));
}

std::vector<URL> ScriptedWorkspace::openedURLs() const
{
    std::lock_guard lock(m_mutex);
    return m_opened;
}

std::vector<URL> ScriptedWorkspace::launchedApplications() const
{
    std::lock_guard lock(m_mutex);
    return m_launched;
}

void ScriptedWorkspace::setApplicationURL(const std::string& bundleIdentifier, URL location)
{
    std::lock_guard lock(m_mutex);
    m_applicationURLs[bundleIdentifier] = std::move(location);
}

void ScriptedWorkspace::post(platform::NotificationCenterKind center, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    for (const auto& [token, observer] : m_observers)
        if (observer.center == center && observer.name == name)
            observer.queue->async([handler = observer.handler] { handler(); });
}

std::vector<platform::RunningApplication> ScriptedWorkspace::runningApplications()
{
    std::lock_guard lock(m_mutex);
    return m_applications;
}

bool ScriptedWorkspace::openURL(const URL& url)
{
    std::lock_guard lock(m_mutex);
    m_opened.push_back(url);
    return true;
}

std::optional<URL> ScriptedWorkspace::urlForApplication(const std::string& bundleIdentifier)
{
    std::lock_guard lock(m_mutex);
    auto found = m_applicationURLs.find(bundleIdentifier);
    if (found == m_applicationURLs.end())
        return std::nullopt;
    return found->second;
}

bool ScriptedWorkspace::launchApplication(const URL& applicationURL)
{
    std::lock_guard lock(m_mutex);
    m_launched.push_back(applicationURL);
    return true;
}

bool ScriptedWorkspace::openApplication(const URL& applicationURL, const platform::OpenConfiguration& configuration)
{
    std::function<void(const URL&)> handler;
    {
        std::lock_guard lock(m_mutex);
        m_openedApplications.emplace_back(applicationURL, configuration);
        handler = m_onOpenApplication;
    }
    if (handler)
        handler(applicationURL);
    return true;
}

std::vector<std::pair<URL, platform::OpenConfiguration>> ScriptedWorkspace::openedApplications() const
{
    std::lock_guard lock(m_mutex);
    return m_openedApplications;
}

void ScriptedWorkspace::setOnOpenApplication(std::function<void(const URL&)> handler)
{
    std::lock_guard lock(m_mutex);
    m_onOpenApplication = std::move(handler);
}

bool ScriptedWorkspace::setActivationPolicy(platform::ActivationPolicy policy)
{
    std::lock_guard lock(m_mutex);
    m_activationPolicies.push_back(policy);
    return true;
}

std::vector<platform::ActivationPolicy> ScriptedWorkspace::activationPolicies() const
{
    std::lock_guard lock(m_mutex);
    return m_activationPolicies;
}

void ScriptedWorkspace::activateIgnoringOtherApps()
{
    std::lock_guard lock(m_mutex);
    ++m_activations;
}

int ScriptedWorkspace::activations() const
{
    std::lock_guard lock(m_mutex);
    return m_activations;
}

platform::NotificationToken ScriptedWorkspace::addObserver(platform::NotificationCenterKind center, const std::string& name,
    DispatchQueue& queue, std::function<void()> handler)
{
    std::lock_guard lock(m_mutex);
    platform::NotificationToken token = m_nextToken++;
    m_observers.emplace(token, Observer { center, name, &queue, std::move(handler) });
    return token;
}

void ScriptedWorkspace::removeObserver(platform::NotificationToken token)
{
    std::lock_guard lock(m_mutex);
    m_observers.erase(token);
}

} // namespace mq::test
