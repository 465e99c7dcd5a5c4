#include "permissions/OnboardingFlow.h"

#include "permissions/OnboardingContent.h"

namespace mq::permissions {

OnboardingFlow::OnboardingFlow(OnboardingPermissions& permissions)
    : m_permissions(permissions)
{
}

OnboardingFlow::RowStates OnboardingFlow::refresh(bool windowIsOpen)
{
    RowStates states;
    states.allGranted = true;
    for (std::size_t i = 0; i < kAllPermissionKinds.size(); ++i) {
        states.granted[i] = m_permissions.isGranted(kAllPermissionKinds[i]);
        states.allGranted = states.allGranted && states.granted[i];
    }
    if (states.allGranted && windowIsOpen)
        m_log.info("{}", content::kAllGrantedLogLine);
    return states;
}

void OnboardingFlow::grant(PermissionKind kind)
{
    if (m_permissions.request(kind) == PermissionStatus::denied)
        m_permissions.openSettingsPane(settingsPaneAddress(kind));
}

void OnboardingFlow::openSettings()
{
    for (auto kind : kAllPermissionKinds) {
        if (!m_permissions.isGranted(kind)) {
            m_permissions.openSettingsPane(settingsPaneAddress(kind));
            return;
        }
    }
    m_permissions.openSettingsPane(kAccessibilityPaneAddress);
}

} // namespace mq::permissions
