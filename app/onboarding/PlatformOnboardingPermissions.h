// The onboarding window's permission checks over the platform seam: the same
// checks the helper's permission requests use, on Linux answered by logicsim.
#pragma once

#include "permissions/OnboardingPermissions.h"
#include "platform/Log.h"
#include "platform/Platform.h"

namespace mq::permissions {

class PlatformOnboardingPermissions final : public OnboardingPermissions {
public:
    explicit PlatformOnboardingPermissions(platform::Platform platform);

    bool isGranted(PermissionKind kind) override;
    PermissionStatus request(PermissionKind kind) override;
    void openSettingsPane(std::string_view address) override;

private:
    platform::Platform m_platform;
    log::Logger m_log { "helper.onboarding" };
};

} // namespace mq::permissions
