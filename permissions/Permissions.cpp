#include "permissions/Permissions.h"

#include "ax/UIElement.h"
#include "logic/LogicApplication.h"
#include "platform/Dispatch.h"

#include <chrono>
#include <cstdlib>

namespace mq::permissions {

namespace {

constexpr platform::FourCharCode kTypeWildCard = platform::fourCharCode("****");

bool isRunning(platform::Workspace& workspace, const std::string& bundleIdentifier)
{
    for (const auto& application : workspace.runningApplications()) {
        if (!application.isTerminated && application.bundleIdentifier == bundleIdentifier)
            return true;
    }
    return false;
}

URL makeSettingsURL(std::string_view text)
{
    auto url = URL::parse(text);
    // A fixed, well-formed address: failing here is a bug in this file.
    if (!url)
        std::abort();
    return *url;
}

} // namespace

const URL& accessibilitySettingsURL()
{
    static const URL url = makeSettingsURL(kAccessibilityPaneAddress);
    return url;
}

const URL& automationSettingsURL()
{
    static const URL url = makeSettingsURL(kAutomationPaneAddress);
    return url;
}

Permissions::Permissions(platform::Platform& platform)
    : m_platform(platform)
{
}

PermissionStatus Permissions::automationStatus(const std::string& bundleIdentifier, bool askUserIfNeeded)
{
    // The system answers for System Events only while it runs.
    if (bundleIdentifier == kSystemEventsBundleIdentifier)
        ensureTargetRunning(bundleIdentifier, kTargetStartTimeoutSeconds);
    // No address descriptor can be made for an empty identifier.
    if (bundleIdentifier.empty())
        return PermissionStatus::undetermined;

    std::int32_t result = m_platform.scripting.determinePermissionToAutomateTarget(bundleIdentifier, kTypeWildCard, kTypeWildCard,
        askUserIfNeeded);
    switch (result) {
    case platform::osstatus::noErr:
        return PermissionStatus::granted;
    case platform::osstatus::errAEEventWouldRequireUserConsent:
    case platform::osstatus::procNotFound:
        return PermissionStatus::undetermined;
    case platform::osstatus::errAEEventNotPermitted:
        return PermissionStatus::denied;
    default:
        m_log.error("AEDeterminePermissionToAutomateTarget({}) returned {}", bundleIdentifier, result);
        return PermissionStatus::denied;
    }
}

void Permissions::ensureTargetRunning(const std::string& bundleIdentifier, double timeoutSeconds)
{
    auto& workspace = m_platform.workspace;
    if (isRunning(workspace, bundleIdentifier))
        return;
    auto applicationURL = workspace.urlForApplication(bundleIdentifier);
    if (!applicationURL) {
        m_log.error("ensureTargetRunning: no app URL for {}", bundleIdentifier);
        return;
    }
    platform::OpenConfiguration quietly;
    quietly.activates = false;
    quietly.addsToRecentItems = false;
    quietly.createsNewApplicationInstance = false;
    workspace.openApplication(*applicationURL, quietly);

    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    do {
        if (isRunning(workspace, bundleIdentifier))
            return;
        sleepForSeconds(kTargetStartPollSeconds);
    } while (std::chrono::steady_clock::now() < deadline);
    m_log.error("ensureTargetRunning: {} did not start within {:f}s", bundleIdentifier, timeoutSeconds);
}

PermissionStatus Permissions::requestPermission(PermissionKind kind)
{
    if (kind == PermissionKind::accessibility) {
        // The first call shows the system's prompt when this process is not trusted.
        ax::UIElement::isProcessTrusted(m_platform.accessibility, true);
        auto status = isAccessibilityTrusted() ? PermissionStatus::granted : PermissionStatus::denied;
        m_log.info("requested Accessibility → {}", toString(status));
        return status;
    }
    auto target = *targetBundleIdentifier(kind);
    auto status = automationStatus(target, true);
    m_log.info("requested Automation for {} → {}", target, toString(status));
    return status;
}

PermissionStatus Permissions::status(PermissionKind kind)
{
    if (kind == PermissionKind::accessibility)
        return isAccessibilityTrusted() ? PermissionStatus::granted : PermissionStatus::denied;
    return automationStatus(*targetBundleIdentifier(kind), false);
}

bool Permissions::isAccessibilityTrusted()
{
    return ax::UIElement::isProcessTrusted(m_platform.accessibility, false);
}

std::optional<std::string> Permissions::targetBundleIdentifier(PermissionKind kind)
{
    switch (kind) {
    case PermissionKind::accessibility:
        return std::nullopt;
    case PermissionKind::automationLogic: {
        auto logic = logic::findLogicRunningApplication(m_platform);
        if (logic && logic->bundleIdentifier && !logic->bundleIdentifier->empty())
            return *logic->bundleIdentifier;
        return std::string(kDefaultLogicBundleIdentifier);
    }
    case PermissionKind::automationSystemEvents:
        return std::string(kSystemEventsBundleIdentifier);
    }
    return std::nullopt;
}

bool Permissions::openSettingsPane(PermissionKind kind)
{
    return m_platform.workspace.openURL(kind == PermissionKind::accessibility ? accessibilitySettingsURL() : automationSettingsURL());
}

} // namespace mq::permissions
