#include "logic/InputGuard.h"

#include "ax/Application.h"
#include "ax/ElementQueries.h"
#include "ax/SystemWideElement.h"
#include "logic/LogicApplication.h"
#include "logic/ScreenGeometry.h"

#include <algorithm>

namespace mq::logic {

namespace {

/// How many parents a hit element may be below its window.
constexpr int kMaxHitDepth = 32;

std::string notAnswering(const ax::AXError& error)
{
    if (error.code() == platform::axerror::cannotComplete)
        return "Logic does not answer";
    return "Logic cannot be reached (" + std::to_string(error.code()) + ")";
}

/// Logic's application element with its reads bounded, once Logic is known to be
/// frontmost; otherwise why not.
Expected<ax::Application, std::string> frontmostLogic(platform::Platform& platform)
{
    std::optional<platform::RunningApplication> running = findLogicRunningApplication(platform);
    if (!running || running->isTerminated)
        return unexpected(std::string("Logic is not running"));
    ax::Application application(platform.accessibility, running->pid);
    if (ax::Result<void> bounded = application.setMessagingTimeout(InputGuard::kReadTimeoutSeconds); !bounded)
        return unexpected(notAnswering(bounded.error()));
    ax::Result<std::optional<bool>> frontmost = application.attribute<bool>(ax::Attribute::frontmost);
    if (!frontmost)
        return unexpected(notAnswering(frontmost.error()));
    if (!frontmost->value_or(false))
        return unexpected(std::string("Logic is not the frontmost application"));
    return application;
}

/// Frontmost Logic and its windows, as each check starts from them.
struct FrontLogic {
    ax::Application application;
    std::vector<ax::UIElement> windows;
};

Expected<FrontLogic, std::string> frontLogicWithWindows(platform::Platform& platform)
{
    ax::Application logic = MQ_TRY(frontmostLogic(platform));
    ax::Result<std::optional<std::vector<ax::UIElement>>> windows = logic.windows();
    if (!windows)
        return unexpected(notAnswering(windows.error()));
    return FrontLogic { logic, windows->value_or(std::vector<ax::UIElement> {}) };
}

bool readsModal(const ax::UIElement& window)
{
    // A window whose modality cannot be read is passed over, as the dialog wait does.
    return ax::attributeOrNothing<bool>(window, ax::Attribute::modal).value_or(false);
}

std::optional<ax::UIElement> firstModal(const std::vector<ax::UIElement>& windows)
{
    for (const ax::UIElement& window : windows) {
        (void)window.setMessagingTimeout(InputGuard::kReadTimeoutSeconds);
        if (readsModal(window))
            return window;
    }
    return std::nullopt;
}

std::string modalInFront(const ax::UIElement& window) { return "Logic shows " + describeWindow(window) + " in front"; }

} // namespace

std::string describeWindow(const ax::UIElement& window)
{
    std::string title = ax::stringOrNothing(window, ax::Attribute::title).value_or("?");
    std::string role = ax::stringOrNothing(window, ax::Attribute::role).value_or("?");
    std::string subrole = ax::stringOrNothing(window, ax::Attribute::subrole).value_or("?");
    return "\"" + title + "\" (" + role + "/" + subrole + ")";
}

InputGuard::InputGuard(platform::Platform& platform)
    : m_platform(platform)
{
}

std::optional<std::string> InputGuard::whyLogicNotInFront() const
{
    Expected<ax::Application, std::string> logic = frontmostLogic(m_platform);
    return logic ? std::nullopt : std::optional(logic.error());
}

std::optional<std::string> InputGuard::whyDialogNotInFront(const ax::UIElement& dialog) const
{
    Expected<FrontLogic, std::string> front = frontLogicWithWindows(m_platform);
    if (!front)
        return front.error();
    const std::vector<ax::UIElement>& windows = front->windows;
    if (std::find(windows.begin(), windows.end(), dialog) == windows.end())
        return std::string("the dialog is no longer open");
    std::optional<ax::UIElement> modal = firstModal(windows);
    if (!modal)
        return std::string("the dialog is no longer modal");
    if (*modal != dialog)
        return modalInFront(*modal);
    return std::nullopt;
}

std::optional<std::string> InputGuard::whyNoTextFieldFocused() const
{
    Expected<FrontLogic, std::string> front = frontLogicWithWindows(m_platform);
    if (!front)
        return front.error();
    const std::vector<ax::UIElement>& windows = front->windows;
    if (std::optional<ax::UIElement> modal = firstModal(windows))
        return modalInFront(*modal);
    ax::Result<std::optional<ax::UIElement>> focused = front->application.attribute<ax::UIElement>(ax::Attribute::focusedUIElement);
    if (!focused)
        return notAnswering(focused.error());
    if (!*focused || !ax::hasRole(**focused, ax::Role::textField))
        return std::string("no name field of Logic has the keyboard focus");
    return std::nullopt;
}

std::optional<std::string> InputGuard::whyPointNotOnWindow(const ax::UIElement& window, platform::CGPoint point) const
{
    Expected<FrontLogic, std::string> front = frontLogicWithWindows(m_platform);
    if (!front)
        return front.error();
    const std::vector<ax::UIElement>& windows = front->windows;
    if (std::find(windows.begin(), windows.end(), window) == windows.end())
        return std::string("the window is no longer open");
    if (std::optional<ax::UIElement> modal = firstModal(windows); modal && *modal != window)
        return modalInFront(*modal);
    std::optional<platform::CGRect> frame = ax::attributeOrNothing<platform::CGRect>(window, ax::Attribute::frame);
    if (!frame || !rectContainsPoint(*frame, point))
        return std::string("the point lies outside the window");

    ax::SystemWideElement desktop = ax::SystemWideElement::shared(m_platform.accessibility);
    ax::Result<std::optional<ax::UIElement>> hit = desktop.elementAtPosition(static_cast<float>(point.x), static_cast<float>(point.y));
    if (!hit || !*hit)
        return std::string("nothing can be found at the point");
    ax::Result<platform::pid_type> owner = (*hit)->pid();
    ax::Result<platform::pid_type> logicPid = front->application.pid();
    if (!owner || !logicPid || *owner != *logicPid)
        return std::string("another application's window is in front of it at the point");
    std::optional<ax::UIElement> element = *hit;
    for (int depth = 0; element && depth < kMaxHitDepth; ++depth) {
        if (*element == window)
            return std::nullopt;
        element = ax::attributeOrNothing<ax::UIElement>(*element, ax::Attribute::parent);
    }
    return std::string("another window of Logic is in front of it at the point");
}

std::optional<std::string> InputGuard::whyNotReadyForOperation() const
{
    // A Logic that is not running or not reachable is the operation's own
    // failure: its first wait reports it with its usual message.
    if (!logicApplicationElement(m_platform))
        return std::nullopt;
    if (std::optional<std::string> why = whyLogicNotInFront())
        return *why + "; nothing was sent";
    if (std::optional<std::string> open = openModalWindow())
        return "Logic shows " + *open + "; nothing was typed";
    return std::nullopt;
}

std::optional<std::string> InputGuard::openModalWindow() const
{
    std::optional<ax::Application> application = logicApplicationElement(m_platform);
    if (!application)
        return std::nullopt;
    (void)application->setMessagingTimeout(kReadTimeoutSeconds);
    std::vector<ax::UIElement> windows = ax::windowsOrNone(*application);
    std::optional<ax::UIElement> modal = firstModal(windows);
    return modal ? std::optional(describeWindow(*modal)) : std::nullopt;
}

} // namespace mq::logic
