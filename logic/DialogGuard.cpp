#include "logic/DialogGuard.h"

#include "ax/Application.h"
#include "ax/Value.h"

#include <algorithm>

namespace mq::logic {

namespace {

std::string notAnswering(const ax::AXError& error)
{
    if (error.code() == platform::axerror::cannotComplete)
        return "Logic does not answer";
    return "Logic cannot be reached (" + std::to_string(error.code()) + ")";
}

} // namespace

DialogGuard::DialogGuard(platform::Platform& platform, ax::UIElement dialog)
    : m_platform(platform)
    , m_dialog(std::move(dialog))
{
    // A failure here is left to the checks, which find out why the dialog cannot be reached.
    (void)m_dialog.setMessagingTimeout(kReadTimeoutSeconds);
}

std::optional<std::string> DialogGuard::whyNotInFront() const
{
    ax::Result<platform::pid_type> pid = m_dialog.pid();
    if (!pid)
        return notAnswering(pid.error());

    std::vector<platform::RunningApplication> running = m_platform.workspace.runningApplications();
    bool alive = std::any_of(running.begin(), running.end(),
        [pid = *pid](const platform::RunningApplication& application) { return application.pid == pid && !application.isTerminated; });
    if (!alive)
        return "Logic is no longer running";

    ax::Application application(m_platform.accessibility, *pid);
    if (ax::Result<void> bounded = application.setMessagingTimeout(kReadTimeoutSeconds); !bounded)
        return notAnswering(bounded.error());
    ax::Result<std::optional<bool>> frontmost = application.attribute<bool>(ax::Attribute::frontmost);
    if (!frontmost)
        return notAnswering(frontmost.error());
    if (!frontmost->value_or(false))
        return "Logic is not the frontmost application";
    ax::Result<std::optional<std::vector<ax::UIElement>>> windows = application.windows();
    if (!windows)
        return notAnswering(windows.error());
    const std::optional<std::vector<ax::UIElement>>& shown = *windows;
    if (!shown || std::find(shown->begin(), shown->end(), m_dialog) == shown->end())
        return "the dialog is no longer open";
    for (const ax::UIElement& window : *shown) {
        if (ax::Result<void> bounded = window.setMessagingTimeout(kReadTimeoutSeconds); !bounded)
            return notAnswering(bounded.error());
        // A window whose modality cannot be read is passed over, as the dialog wait does.
        if (!window.attribute<bool>(ax::Attribute::modal).valueOr(std::nullopt).value_or(false))
            continue;
        if (window == m_dialog)
            return std::nullopt;
        return "another dialog is in front of it";
    }
    return "the dialog is no longer modal";
}

} // namespace mq::logic
