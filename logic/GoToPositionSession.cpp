#include "logic/GoToPositionSession.h"

#include "logic/DialogInput.h"
#include "logic/DialogTimecode.h"
#include "logic/GoToPosition.h"
#include "logic/KeystrokeScripts.h"
#include "logic/SettlePauses.h"
#include "platform/Dispatch.h"
#include "platform/InputEvents.h"

#include <fmt/format.h>

#include <chrono>
#include <thread>

namespace mq::logic {

namespace {

/// What the dialog must show before anything is typed: its current position
/// and the three timecode groups read later.
bool isGoToPositionDialog(const ax::UIElement& dialog) { return readsTimecodeGroup(dialog, 0) && readsTimecodeGroup(dialog, 2); }

constexpr auto kKeyHold = std::chrono::microseconds(2000);

} // namespace

Expected<GoToPositionSession, DialogRefusal> GoToPositionSession::open(LogicDriving& logic, std::string_view label,
    std::optional<double> controlBarSeconds, double frameRate)
{
    TraceStep session(logic.trace, label, StepKind::group);
    Expected<LogicDialog, DialogRefusal> dialog = LogicDialog::open(logic, kGoToPositionAction, label, isGoToPositionDialog);
    if (!dialog) {
        session.fail(dialog.error().timedOut ? StepOutcome::timedOut : StepOutcome::refused, dialog.error().message("the dialog did not appear in time"));
        return unexpected(std::move(dialog).error());
    }
    TraceStep measure(logic.trace, "measure the view offset and layout", StepKind::read);
    double viewOffset = measureViewOffset(controlBarSeconds, dialog->element(), frameRate);
    timecode::TimecodeLayout layout = timecodeLayout(dialog->element());
    if (measure.recording())
        measure.found(fmt::format("view offset {} s", viewOffset));
    measure.end();
    return GoToPositionSession(std::move(session), std::move(dialog).value(), viewOffset, layout);
}

GoToPositionSession::GoToPositionSession(TraceStep step, LogicDialog dialog, double viewOffsetSeconds, timecode::TimecodeLayout layout)
    : m_step(std::move(step))
    , m_dialog(std::move(dialog))
    , m_viewOffsetSeconds(viewOffsetSeconds)
    , m_layout(layout)
{
}

std::optional<timecode::TimecodeFields> GoToPositionSession::currentPosition() const
{
    TraceStep read(m_dialog.logic().trace, "read the current position", StepKind::read);
    std::optional<timecode::TimecodeFields> fields = readDialogTimecodeGroup(dialog(), 0);
    if (!fields)
        read.fail(StepOutcome::failed, "the first timecode group did not read");
    else if (read.recording())
        read.found(timecode::timecodeDisplayText(*fields));
    return fields;
}

Expected<void, std::string> GoToPositionSession::enterAndConfirm(std::string_view text, double settleSeconds)
{
    platform::Platform& platform = m_dialog.logic().platform;
    Expected<void, std::string> sent = m_dialog.send(
        "type the position and confirm", "Tab, " + std::string(text) + ", Return (keystroke script)", [&] { return sendTabDelayTextReturn(platform, text); }, true,
        settle::kTabDelayScriptSeconds);
    if (sent)
        settleFor(m_dialog.logic().trace, "settle: the playhead moves", settleSeconds);
    return sent;
}

Expected<void, std::string> GoToPositionSession::enterBarOne()
{
    platform::Platform& platform = m_dialog.logic().platform;
    Expected<void, std::string> sent = m_dialog.send("enter bar 1", "1 1 1 1, Tab (keystroke script)", [&] { return sendBarOne(platform); }, false);
    if (sent)
        settleFor(m_dialog.logic().trace, "settle: Logic takes bar 1", settle::kBarOneCommitSeconds);
    return sent;
}

Expected<void, std::string> GoToPositionSession::pressKey(std::string_view step, std::uint16_t key)
{
    platform::Platform& platform = m_dialog.logic().platform;
    return m_dialog.send(
        step, "Tab (key events)",
        [&] {
            // A key press as Logic's own key handling sees it: down, 2 ms, up.
            platform.input.postKeyboardEvent({ key, true, {}, 0 });
            std::this_thread::sleep_for(kKeyHold);
            platform.input.postKeyboardEvent({ key, false, {}, 0 });
            return true;
        },
        false);
}

Expected<void, std::string> GoToPositionSession::typeWithKeyEvents(std::string_view text)
{
    platform::Platform& platform = m_dialog.logic().platform;
    OperationTrace* trace = m_dialog.logic().trace;
    if (Expected<void, std::string> tab = pressKey("Tab into the SMPTE field", platform::keycode::tab); !tab) // From the bar field to the SMPTE field.
        return tab;
    settleFor(trace, "settle: the field takes the focus", settle::kAfterTabIntoFieldSeconds);
    TraceStep typing(trace, "type the position", StepKind::send);
    typing.sent(std::string(text) + " (key events, the guard asked before each)");
    typing.planned(static_cast<double>(decodeUTF8(text).size()) * 2 * kTypingPauseSeconds);
    std::optional<std::string> refused;
    bool typed = typeTextWithKeyEvents(platform, text, [&] {
        refused = m_dialog.whyNotInFront();
        return !refused;
    });
    if (!typed) {
        typing.fail(StepOutcome::refused, refused.value_or("the dialog left the front"));
        return unexpected(refused.value_or("the dialog left the front") + "; nothing more was typed");
    }
    typing.end();
    if (Expected<void, std::string> tab = pressKey("Tab: Logic takes the value", platform::keycode::tab); !tab) // Logic takes the typed value.
        return tab;
    settleFor(trace, "settle: Logic takes the typed value", settle::kTypedValueCommitSeconds);
    return {};
}

Expected<void, std::string> GoToPositionSession::confirm()
{
    platform::Platform& platform = m_dialog.logic().platform;
    const ax::UIElement& element = dialog();
    return m_dialog.send("confirm", "AXPress on the default button", [&] { return pressDefaultButton(platform, element); }, true);
}

} // namespace mq::logic
