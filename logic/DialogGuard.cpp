#include "logic/DialogGuard.h"

#include "ax/Application.h"
#include "ax/ReadOrNothing.h"

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
    try {
        m_dialog.setMessagingTimeout(kReadTimeoutSeconds);
    } catch (const ax::AXError&) {
        // The checks find out why the dialog cannot be reached.
    }
}

std::optional<std::string> DialogGuard::whyNotInFront() const
{
    platform::pid_type pid = -1;
    try {
        pid = m_dialog.pid();
    } catch (const ax::AXError& error) {
        return notAnswering(error);
    }

    std::vector<platform::RunningApplication> running = m_platform.workspace.runningApplications();
    bool alive = std::any_of(running.begin(), running.end(),
        [pid](const platform::RunningApplication& application) { return application.pid == pid && !application.isTerminated; });
    if (!alive)
        return "Logic is no longer running";

    ax::Application application(m_platform.accessibility, pid);
    try {
        application.setMessagingTimeout(kReadTimeoutSeconds);
        if (!application.attribute<bool>(ax::Attribute::frontmost).value_or(false))
            return "Logic is not the frontmost application";
        std::optional<std::vector<ax::UIElement>> windows = application.windows();
        if (!windows || std::find(windows->begin(), windows->end(), m_dialog) == windows->end())
            return "the dialog is no longer open";
        for (const ax::UIElement& window : *windows) {
            window.setMessagingTimeout(kReadTimeoutSeconds);
            if (!ax::readOrNothing<bool>(window, ax::Attribute::modal).value_or(false))
                continue;
            if (window == m_dialog)
                return std::nullopt;
            return "another dialog is in front of it";
        }
        return "the dialog is no longer modal";
    } catch (const ax::AXError& error) {
        return notAnswering(error);
    }
}

} // namespace mq::logic
