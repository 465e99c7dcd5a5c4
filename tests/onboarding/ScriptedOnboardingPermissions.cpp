#include "tests/onboarding/ScriptedOnboardingPermissions.h"

namespace mq::test {

using permissions::PermissionKind;
using permissions::PermissionStatus;

void ScriptedOnboardingPermissions::grantAll()
{
    for (auto kind : permissions::kAllPermissionKinds)
        m_granted[kind] = true;
}

bool ScriptedOnboardingPermissions::isGranted(PermissionKind kind)
{
    ++m_statusReads;
    return m_granted[kind];
}

PermissionStatus ScriptedOnboardingPermissions::request(PermissionKind kind)
{
    m_requests.push_back(kind);
    if (m_granted[kind])
        return PermissionStatus::granted;
    switch (m_answers[kind]) {
    case Answer::allow:
        m_prompts.push_back(kind);
        m_granted[kind] = true;
        return PermissionStatus::granted;
    case Answer::refuse:
        m_prompts.push_back(kind);
        return PermissionStatus::denied;
    case Answer::refusedBefore:
        return PermissionStatus::denied;
    }
    return PermissionStatus::undetermined;
}

void ScriptedOnboardingPermissions::openSettingsPane(std::string_view address)
{
    m_openedPanes.emplace_back(address);
}

} // namespace mq::test
