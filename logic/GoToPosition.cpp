#include "logic/GoToPosition.h"

#include "logic/BarOneCommit.h"
#include "logic/DialogGuard.h"
#include "logic/DialogInput.h"
#include "logic/DialogTimecode.h"
#include "logic/DialogWait.h"
#include "logic/KeystrokeScripts.h"
#include "logic/ServiceLog.h"
#include "platform/Dispatch.h"
#include "platform/InputEvents.h"
#include "timecode/SMPTEComponents.h"
#include "timecode/TimecodeFields.h"
#include "timecode/TimecodeParsing.h"
#include "timecode/TypedTimecodeText.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace mq::logic {

namespace {

constexpr double kBarOneTakenTimeoutSeconds = 1.0;

const char* yesNo(bool value)
{
    return value ? "true" : "false";
}

Unexpected<ServiceError> fail(std::string_view operation, std::int64_t code, std::string message)
{
    serviceLog().error("{} failed: {}", operation, message);
    return unexpected(makeServiceError(code, std::move(message)));
}

// A key press as Logic's own key handling sees it: down, 2 ms, up.
void pressKey(platform::Platform& platform, std::uint16_t key)
{
    platform.input.postKeyboardEvent({ key, true, {}, 0 });
    std::this_thread::sleep_for(std::chrono::microseconds(2000));
    platform.input.postKeyboardEvent({ key, false, {}, 0 });
}

// The third child of the dialog, whatever its role, read as a timecode group.
std::optional<timecode::TimecodeFields> readThirdChild(const ax::UIElement& dialog)
{
    auto children = dialog.arrayAttribute<ax::UIElement>(ax::Attribute::children).valueOr(std::nullopt);
    if (!children || children->size() < 3)
        return std::nullopt;
    return readTimecodeGroupFields((*children)[2]);
}

} // namespace

std::optional<double> readCurrentPlayheadSeconds(LogicDriving& logic, double frameRate)
{
    logic.startStoredActionInBackground(kGoToPositionAction);
    auto dialog = waitForLogicModalDialog(logic.platform, "Go to Position (read playhead)");
    if (!dialog) {
        serviceLog().error("readCurrentPlayheadSeconds: Go to Position dialog did not appear in time");
        return std::nullopt;
    }
    auto fields = readDialogTimecodeGroup(*dialog, 0);
    sendEscape(logic.platform);
    if (!fields) {
        serviceLog().error("readCurrentPlayheadSeconds: could not read SMPTE from Go to Position dialog");
        return std::nullopt;
    }
    return timecode::fieldsToSeconds(*fields, frameRate);
}

ServiceResult<double> readLogicPlayheadSMPTE(LogicDriving& logic, double frameRate, bool isDropFrame)
{
    serviceLog().info("readLogicPlayheadSMPTE: starting (fps={:f}, df={})", frameRate, yesNo(isDropFrame));
    auto seconds = readCurrentPlayheadSeconds(logic, frameRate);
    if (!seconds)
        return fail("readLogicPlayheadSMPTE", kPlayheadUnreadable, "Could not read the playhead from the Go to Position dialog");
    serviceLog().info("readLogicPlayheadSMPTE: playhead == {:f}s", *seconds);
    return *seconds;
}

ServiceResult<ProjectStart> readLogicProjectStartSMPTE(LogicDriving& logic, double frameRate, bool isDropFrame)
{
    constexpr std::string_view operation = "readLogicProjectStartSMPTE";
    serviceLog().info("readLogicProjectStartSMPTE: starting (fps={:f}, df={})", frameRate, yesNo(isDropFrame));

    auto controlBarSeconds = logic.readControlBarSeconds(frameRate);
    logic.startStoredActionInBackground(kGoToPositionAction);
    auto dialog = waitForLogicModalDialog(logic.platform, "Go to Position (SMPTE sync)");
    if (!dialog)
        return fail(operation, kProjectStartDialogMissing, "Go to Position dialog did not appear in time");

    double viewOffset = measureViewOffset(controlBarSeconds, *dialog, frameRate);
    if (!std::isfinite(viewOffset))
        viewOffset = 0.0;

    // Bar 1 into the focused bar field, then Tab: the SMPTE group shows bar 1's time.
    if (!sendBarOne(logic.platform)) {
        sendEscape(logic.platform);
        return fail(operation, kProjectStartBarOneFailed, "Could not enter bar 1 in Go to Position dialog");
    }
    sleepForSeconds(0.05);
    // A busy or slow Logic takes the bar later than that: its SMPTE group still
    // shows the old position until the Bars group shows bar 1.
    if (!waitForBarOneTaken(*dialog, kBarOneTakenTimeoutSeconds))
        serviceLog().error("readLogicProjectStartSMPTE: bar 1 not shown as taken after {:f}s; reading anyway", kBarOneTakenTimeoutSeconds);
    auto fields = readThirdChild(*dialog);
    sendEscape(logic.platform);
    if (!fields)
        return fail(operation, kProjectStartUnreadable, "Could not read SMPTE from Go to Position dialog");

    double seconds = timecode::fieldsToSeconds(*fields, frameRate);
    std::int64_t mode = timecode::displayMode(fields->layout);
    serviceLog().info("readLogicProjectStartSMPTE: bar 1 == {} ({:f}s), Logic display mode {}", timecode::timecodeDisplayText(*fields),
        seconds, mode);
    return ProjectStart { seconds, viewOffset, mode };
}

ServiceResult<PlayheadMove> goToLogicPlayheadSMPTESeconds(LogicDriving& logic, double seconds, double frameRate,
    bool isDropFrame)
{
    serviceLog().info("goToLogicPlayheadSMPTESeconds: target={:f}s (fps={:f}, df={})", seconds, frameRate, yesNo(isDropFrame));

    auto controlBarSeconds = logic.readControlBarSeconds(frameRate);
    logic.startStoredActionInBackground(kGoToPositionAction);
    auto dialog = waitForLogicModalDialog(logic.platform, "Go to Position (move playhead)");
    if (!dialog)
        return fail("goToLogicPlayheadSMPTESeconds", kMoveDialogMissing, "Go to Position dialog did not appear in time");
    DialogGuard guard(logic.platform, *dialog);

    double viewOffset = measureViewOffset(controlBarSeconds, *dialog, frameRate);
    auto layout = timecodeLayout(*dialog);
    auto components = timecode::smpteComponents(seconds, frameRate, isDropFrame);
    // The fraction is not typed: a sub-frame field goes in as 0, and a seconds
    // fraction is computed from the whole frame.
    components.fraction = 0;
    auto text = timecode::typedTimecodeText(components, layout, frameRate);

    // Key events go to whatever is in front: nothing is sent unless the dialog still is.
    if (auto why = guard.whyNotInFront()) {
        serviceLog().error("goToLogicPlayheadSMPTESeconds: {} before typing; nothing sent", *why);
        return fail("goToLogicPlayheadSMPTESeconds", kMoveDialogMissing, "Go to Position dialog did not appear in time");
    }
    pressKey(logic.platform, platform::keycode::tab); // From the bar field to the SMPTE field.
    sleepForSeconds(0.06);
    typeTextWithKeyEvents(logic.platform, text);
    pressKey(logic.platform, platform::keycode::tab); // Logic takes the typed value.
    sleepForSeconds(0.5);

    auto landed = readDialogTimecodeGroup(*dialog, 2);
    if (auto why = guard.whyNotInFront()) {
        serviceLog().error("goToLogicPlayheadSMPTESeconds: {} before confirming; nothing more sent", *why);
        return fail("goToLogicPlayheadSMPTESeconds", kMoveDialogMissing, "Go to Position dialog did not appear in time");
    }
    pressDefaultButton(logic.platform, *dialog);

    double landedSeconds = std::nan("");
    if (landed && landed->layout.kind() != timecode::TimecodeLayout::Kind::secondsFraction
        && (landed->layout.kind() == timecode::TimecodeLayout::Kind::frames || landed->subField == 0))
        landedSeconds = timecode::fieldsToSeconds(*landed, frameRate);
    serviceLog().info("goToLogicPlayheadSMPTESeconds: typed {}, landed {} ({:f}s)", text,
        landed ? timecode::timecodeDisplayText(*landed) : std::string("nil"), landedSeconds);
    return PlayheadMove { landedSeconds, viewOffset };
}

} // namespace mq::logic
