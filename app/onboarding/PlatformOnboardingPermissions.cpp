#include "app/onboarding/PlatformOnboardingPermissions.h"

#include "marquee/URL.h"

namespace mq::permissions {

PlatformOnboardingPermissions::PlatformOnboardingPermissions(platform::Platform platform)
    : m_platform(platform)
{
}

bool PlatformOnboardingPermissions::isGranted(PermissionKind kind)
{
    return m_permissions.status(kind) == PermissionStatus::granted;
}

PermissionStatus PlatformOnboardingPermissions::request(PermissionKind kind)
{
    return m_permissions.requestPermission(kind);
}

void PlatformOnboardingPermissions::openSettingsPane(std::string_view address)
{
    auto url = URL::parse(address);
    if (!url || !m_platform.workspace.openURL(*url))
        m_log.error("openSettingsPane: could not open {}", address);
}

} // namespace mq::permissions
