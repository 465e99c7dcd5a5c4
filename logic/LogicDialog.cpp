#include "logic/LogicDialog.h"

#include "ax/ElementQueries.h"
#include "logic/DialogTimecode.h"
#include "logic/DialogWait.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicApplication.h"
#include "logic/OperationTrace.h"
#include "logic/ServiceLog.h"

#include <algorithm>

namespace mq::logic {

std::string DialogRefusal::message(std::string_view missing) const { return timedOut ? std::string(missing) : why; }

std::string inputFailureMessage(std::string_view failed, const std::string& why)
{
    return why.empty() ? std::string(failed) : std::string(failed) + " (" + why + ")";
}

bool readsTimecodeGroup(const ax::UIElement& dialog, std::size_t index) { return readDialogTimecodeGroup(dialog, index).has_value(); }

Expected<LogicDialog, DialogRefusal> LogicDialog::open(LogicDriving& logic, std::uint32_t action, std::string_view label,
    const Structure& structure)
{
    // A modal window that is up before the action is not the operation's: typing
    // into it would fill in the user's alert or panel.
    TraceStep ready(logic.trace, "check Logic is ready for input", StepKind::check);
    if (std::optional<std::string> why = InputGuard(logic.platform).whyNotReadyForOperation()) {
        ready.fail(StepOutcome::refused, *why);
        return unexpected(DialogRefusal { false, std::move(*why) });
    }
    ready.end();

    logic.startStoredActionInBackground(action);
    TraceStep wait(logic.trace, "wait for the dialog", StepKind::wait);
    wait.waitedFor(std::string(label) + ": a modal window of Logic's, at most 2.0 s");
    std::string seenInstead;
    std::optional<ax::UIElement> dialog
        = waitForLogicModalDialog(logic.platform, label, kDialogWaitTimeoutSeconds, kDialogWaitPollIntervalSeconds, &seenInstead);
    if (!dialog) {
        wait.fail(StepOutcome::timedOut, seenInstead);
        return unexpected(DialogRefusal { true, {} });
    }
    wait.end();
    (void)dialog->setMessagingTimeout(InputGuard::kReadTimeoutSeconds);
    TraceStep check(logic.trace, "check the dialog's structure", StepKind::check);
    if (!structure(*dialog)) {
        std::string why = "Logic shows " + describeWindow(*dialog) + " instead of " + std::string(label) + "; nothing was typed";
        serviceLog().error("{}: {}", label, why);
        check.fail(StepOutcome::refused, why);
        return unexpected(DialogRefusal { false, std::move(why) });
    }
    if (check.recording())
        check.found(describeWindow(*dialog));
    return LogicDialog(logic, std::move(*dialog));
}

LogicDialog::LogicDialog(LogicDriving& logic, ax::UIElement dialog)
    : m_logic(&logic)
    , m_dialog(std::move(dialog))
{
}

LogicDialog::LogicDialog(LogicDialog&& other) noexcept
    : m_logic(other.m_logic)
    , m_dialog(std::exchange(other.m_dialog, std::nullopt))
    , m_confirmSent(other.m_confirmSent)
{
}

LogicDialog::~LogicDialog() { close(); }

std::optional<std::string> LogicDialog::whyNotInFront() const
{
    if (!m_dialog)
        return std::string("the dialog is closed");
    return InputGuard(m_logic->platform).whyDialogNotInFront(*m_dialog);
}

Expected<void, std::string> LogicDialog::send(std::string_view step, std::string sent, const std::function<bool()>& sendInput, bool confirms,
    double plannedSeconds)
{
    TraceStep sending(m_logic->trace, step, StepKind::send);
    sending.sent(std::move(sent));
    sending.planned(plannedSeconds);
    if (m_confirmSent) {
        sending.fail(StepOutcome::refused, "the dialog was confirmed already");
        return unexpected(std::string("the dialog was confirmed already"));
    }
    if (std::optional<std::string> why = whyNotInFront()) {
        sending.fail(StepOutcome::refused, *why);
        return unexpected(*why + "; nothing more was typed");
    }
    m_confirmSent = confirms;
    if (!sendInput()) {
        sending.fail(StepOutcome::failed, "the script or the key events failed");
        return unexpected(std::string());
    }
    return {};
}

void LogicDialog::close()
{
    std::optional<ax::UIElement> dialog = std::exchange(m_dialog, std::nullopt);
    if (!dialog)
        return;
    TraceStep closing(m_logic->trace, "close the dialog", StepKind::send);
    std::vector<ax::UIElement> windows = logicWindows(m_logic->platform);
    if (std::find(windows.begin(), windows.end(), *dialog) == windows.end()) {
        closing.found("closed already");
        return;
    }
    // Escape only while the dialog is certainly what receives it; a dialog that was
    // confirmed may be closing, and an Escape after it would reach the main window.
    if (!m_confirmSent && !InputGuard(m_logic->platform).whyDialogNotInFront(*dialog)) {
        closing.sent("Escape");
        sendEscape(m_logic->platform);
        return;
    }
    closing.sent("AXPress on its cancel button");
    std::optional<ax::UIElement> cancel = ax::attributeOrNothing<ax::UIElement>(*dialog, ax::Attribute::cancelButton);
    if (cancel && cancel->performAction(ax::Action::press))
        return;
    closing.fail(StepOutcome::failed, "no key can reach it safely and it has no cancel button; left open");
    serviceLog().error("closing {}: no key can reach it safely and it has no cancel button; left open", describeWindow(*dialog));
}

} // namespace mq::logic
