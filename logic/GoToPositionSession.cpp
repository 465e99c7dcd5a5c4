#include "logic/GoToPositionSession.h"

#include "logic/DialogInput.h"
#include "logic/DialogTimecode.h"
#include "logic/GoToPosition.h"
#include "logic/KeystrokeScripts.h"
#include "logic/SettlePauses.h"
#include "platform/Dispatch.h"
#include "platform/InputEvents.h"

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
    LogicDialog dialog = MQ_TRY(LogicDialog::open(logic, kGoToPositionAction, label, isGoToPositionDialog));
    double viewOffset = measureViewOffset(controlBarSeconds, dialog.element(), frameRate);
    timecode::TimecodeLayout layout = timecodeLayout(dialog.element());
    return GoToPositionSession(std::move(dialog), viewOffset, layout);
}

GoToPositionSession::GoToPositionSession(LogicDialog dialog, double viewOffsetSeconds, timecode::TimecodeLayout layout)
    : m_dialog(std::move(dialog))
    , m_viewOffsetSeconds(viewOffsetSeconds)
    , m_layout(layout)
{
}

std::optional<timecode::TimecodeFields> GoToPositionSession::currentPosition() const { return readDialogTimecodeGroup(dialog(), 0); }

Expected<void, std::string> GoToPositionSession::enterAndConfirm(std::string_view text, double settleSeconds)
{
    platform::Platform& platform = m_dialog.logic().platform;
    Expected<void, std::string> sent = m_dialog.send([&] { return sendTabDelayTextReturn(platform, text); }, true);
    if (sent)
        sleepForSeconds(settleSeconds);
    return sent;
}

Expected<void, std::string> GoToPositionSession::enterBarOne()
{
    platform::Platform& platform = m_dialog.logic().platform;
    Expected<void, std::string> sent = m_dialog.send([&] { return sendBarOne(platform); }, false);
    if (sent)
        sleepForSeconds(settle::kBarOneCommitSeconds);
    return sent;
}

Expected<void, std::string> GoToPositionSession::pressKey(std::uint16_t key)
{
    platform::Platform& platform = m_dialog.logic().platform;
    return m_dialog.send(
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
    if (Expected<void, std::string> tab = pressKey(platform::keycode::tab); !tab) // From the bar field to the SMPTE field.
        return tab;
    sleepForSeconds(settle::kAfterTabIntoFieldSeconds);
    std::optional<std::string> refused;
    bool typed = typeTextWithKeyEvents(platform, text, [&] {
        refused = m_dialog.whyNotInFront();
        return !refused;
    });
    if (!typed)
        return unexpected(refused.value_or("the dialog left the front") + "; nothing more was typed");
    if (Expected<void, std::string> tab = pressKey(platform::keycode::tab); !tab) // Logic takes the typed value.
        return tab;
    sleepForSeconds(settle::kTypedValueCommitSeconds);
    return {};
}

Expected<void, std::string> GoToPositionSession::confirm()
{
    platform::Platform& platform = m_dialog.logic().platform;
    const ax::UIElement& element = dialog();
    return m_dialog.send([&] { return pressDefaultButton(platform, element); }, true);
}

} // namespace mq::logic
