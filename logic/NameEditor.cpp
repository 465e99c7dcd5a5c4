#include "logic/NameEditor.h"

#include "ax/ElementQueries.h"
#include "logic/DialogWait.h"
#include "logic/InputGuard.h"
#include "logic/LogicApplication.h"
#include "logic/LogicWindowWait.h"

namespace mq::logic {

namespace {

/// Whether Logic's focused element is a text field of `window`.
bool holdsFocusedTextField(const ax::Application& logic, const ax::UIElement& window)
{
    std::optional<ax::UIElement> focused = ax::attributeOrNothing<ax::UIElement>(logic, ax::Attribute::focusedUIElement);
    if (!focused || !ax::hasRole(*focused, ax::Role::textField))
        return false;
    return ax::attributeOrNothing<ax::UIElement>(*focused, ax::Attribute::window) == window;
}

} // namespace

Expected<void, std::string> typeIntoNameEditor(platform::Platform& platform, const std::function<bool()>& send)
{
    if (std::optional<ax::Application> logic = logicApplicationElement(platform))
        (void)waitForLogicWindow(
            *logic, [&](const ax::UIElement& window) { return holdsFocusedTextField(*logic, window); }, kNameEditorTimeoutSeconds,
            kDialogWaitPollIntervalSeconds);
    if (std::optional<std::string> why = InputGuard(platform).whyNoTextFieldFocused())
        return unexpected(*why + "; nothing was typed");
    if (!send())
        return unexpected(std::string());
    return {};
}

} // namespace mq::logic
