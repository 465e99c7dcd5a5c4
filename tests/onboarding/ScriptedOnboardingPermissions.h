// A scripted set of permission checks for the onboarding window's tests: the
// test says which permissions are granted and what a request answers, and reads
// back what the window asked for.
#pragma once

#include "permissions/OnboardingPermissions.h"

#include <map>
#include <string>
#include <vector>

namespace mq::test {

class ScriptedOnboardingPermissions final : public permissions::OnboardingPermissions {
public:
    /// What the user does when a request for a kind comes.
    enum class Answer {
        allow,         ///< the prompt is shown and the user allows: granted from then on
        refuse,        ///< the prompt is shown and the user refuses: denied
        refusedBefore, ///< refused earlier: no prompt, denied
    };

    void setGranted(permissions::PermissionKind kind, bool granted) { m_granted[kind] = granted; }
    void grantAll();
    void setAnswer(permissions::PermissionKind kind, Answer answer) { m_answers[kind] = answer; }

    bool isGranted(permissions::PermissionKind kind) override;
    permissions::PermissionStatus request(permissions::PermissionKind kind) override;
    void openSettingsPane(std::string_view address) override;

    int statusReads() const { return m_statusReads; }
    const std::vector<permissions::PermissionKind>& requests() const { return m_requests; }
    /// The kinds for which a consent prompt was shown.
    const std::vector<permissions::PermissionKind>& prompts() const { return m_prompts; }
    const std::vector<std::string>& openedPanes() const { return m_openedPanes; }

private:
    std::map<permissions::PermissionKind, bool> m_granted;
    std::map<permissions::PermissionKind, Answer> m_answers;
    int m_statusReads { 0 };
    std::vector<permissions::PermissionKind> m_requests;
    std::vector<permissions::PermissionKind> m_prompts;
    std::vector<std::string> m_openedPanes;
};

} // namespace mq::test
