#include "logic/NameEditor.h"

#include "ax/ElementQueries.h"
#include "logic/DialogWait.h"
#include "logic/InputGuard.h"
#include "logic/LogicApplication.h"
#include "logic/LogicWindowWait.h"
#include "logic/OperationTrace.h"

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

Expected<void, std::string> typeIntoNameEditor(platform::Platform& platform, OperationTrace* trace, const std::function<bool()>& send)
{
    TraceStep wait(trace, "wait for the name field", StepKind::wait);
    wait.waitedFor("a text field of Logic's with the keyboard focus, at most 2.0 s");
    if (std::optional<ax::Application> logic = logicApplicationElement(platform)) {
        if (!waitForLogicWindow(
                *logic, [&](const ax::UIElement& window) { return holdsFocusedTextField(*logic, window); }, kNameEditorTimeoutSeconds,
                kDialogWaitPollIntervalSeconds))
            wait.fail(StepOutcome::timedOut, "no text field of Logic's took the focus");
    } else {
        wait.fail(StepOutcome::failed, "Logic Pro not found via AX");
    }
    wait.end();
    TraceStep guard(trace, "check the name field has the focus", StepKind::check);
    if (std::optional<std::string> why = InputGuard(platform).whyNoTextFieldFocused()) {
        guard.fail(StepOutcome::refused, *why);
        return unexpected(*why + "; nothing was typed");
    }
    guard.end();
    if (!send())
        return unexpected(std::string());
    return {};
}

} // namespace mq::logic
