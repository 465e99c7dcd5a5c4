#include "app/onboarding/PlatformOnboardingPermissions.h"

#include "ax/UIElement.h"
#include "platform/URL.h"

namespace mq::permissions {

PlatformOnboardingPermissions::PlatformOnboardingPermissions(platform::Platform platform)
    : m_platform(platform)
{
}

bool PlatformOnboardingPermissions::isGranted(PermissionKind kind)
{
    if (kind == PermissionKind::accessibility)
        return ax::UIElement::isProcessTrusted(m_platform.accessibility, false);
    // FIXME: read the Automation status through the permission checks
    // (automationStatus of the kind's target, without asking) once they are built.
    // Until then an Automation permission never shows as granted.
    m_log.error("isGranted: the Automation status check is not built yet");
    return false;
}

PermissionStatus PlatformOnboardingPermissions::request(PermissionKind)
{
    // FIXME: ask through requestPermission once the permission checks are built.
    // Until then nothing is asked and no pane opens.
    m_log.error("request: asking for a permission is not built yet");
    return PermissionStatus::undetermined;
}

void PlatformOnboardingPermissions::openSettingsPane(std::string_view address)
{
    auto url = URL::parse(address);
    if (!url || !m_platform.workspace.openURL(*url))
        m_log.error("openSettingsPane: could not open {}", address);
}

} // namespace mq::permissions
