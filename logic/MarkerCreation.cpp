#include "logic/MarkerCreation.h"

#include "logic/DialogTimecode.h"
#include "logic/FailRequest.h"
#include "logic/GoToPosition.h"
#include "logic/GoToPositionSession.h"
#include "logic/InputGuard.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicDialog.h"
#include "logic/NameEditor.h"
#include "logic/OperationTrace.h"
#include "logic/SettlePauses.h"
#include "logic/MarkerTrack.h"
#include "logic/ServiceLog.h"
#include "logic/TrimmedText.h"
#include "platform/Dispatch.h"
#include "marquee/SMPTEComponents.h"
#include "timecode/TypedTimecodeText.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace mq::logic {

namespace {

constexpr std::string_view kOperation = "createLogicMarker";

std::optional<std::int64_t> integer(std::string_view text)
{
    std::int64_t value = 0;
    if (text.starts_with('+'))
        text.remove_prefix(1);
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::string typedText(double seconds, const MarkerRequest& request, const timecode::TimecodeLayout& layout)
{
    return timecode::typedTimecodeText(timecode::smpteComponents(seconds, request.frameRate, request.isDropFrame), layout, request.frameRate);
}

// The clip end as Logic's playhead lands on it through Go to Position: the
// playhead in seconds, or nothing when the check cannot be made (logged); or
// why the check may not be made at all.
struct EndCheck {
    double viewOffsetSeconds { std::numeric_limits<double>::quiet_NaN() };
    std::optional<double> landedSeconds;
    std::optional<std::string> refused;
};

EndCheck goToClipEnd(LogicDriving& logic, const MarkerRequest& request, double end)
{
    TraceStep step(logic.trace, "go to the clip end", StepKind::group);
    EndCheck check;
    std::optional<double> controlBar = logic.readControlBarSeconds(request.frameRate);
    logic.pacingPause();
    Expected<GoToPositionSession, DialogRefusal> session
        = GoToPositionSession::open(logic, "Go to Position (verify clip end)", controlBar, request.frameRate);
    if (!session) {
        if (!session.error().timedOut)
            check.refused = session.error().why;
        return check;
    }
    check.viewOffsetSeconds = session->viewOffsetSeconds();
    std::string verifyText = typedText(end, request, session->layout());
    Expected<void, std::string> entered = session.value().enterAndConfirm(verifyText, settle::kClipEndMoveSeconds);
    session.value().close();
    if (!entered) {
        if (!entered.error().empty())
            check.refused = entered.error();
        return check;
    }
    check.landedSeconds = readCurrentPlayheadSeconds(logic, request.frameRate);
    return check;
}

/// What the Locators dialog must show before anything is typed: its two locators.
bool isLocatorsDialog(const ax::UIElement& dialog) { return readsTimecodeGroup(dialog, 0) && readsTimecodeGroup(dialog, 1); }

} // namespace

std::string smpteLabel(double seconds, double frameRate, bool isDropFrame)
{
    timecode::SMPTEComponents c = timecode::smpteComponents(seconds, frameRate, isDropFrame);
    char text[96];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld:%02lld", static_cast<long long>(c.hours), static_cast<long long>(c.minutes),
        static_cast<long long>(c.seconds), static_cast<long long>(c.frames));
    return text;
}

double labelSeconds(std::string_view label, double frameRate)
{
    std::string_view rest = trimmed(label);
    std::vector<std::int64_t> parts;
    while (true) {
        auto colon = rest.find(':');
        auto value = integer(rest.substr(0, colon));
        if (!value)
            return 0;
        parts.push_back(*value);
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    if (parts.size() != 4)
        return 0;
    double seconds = static_cast<double>(parts[0]) * 3600 + static_cast<double>(parts[1]) * 60 + static_cast<double>(parts[2]);
    if (frameRate > 0)
        seconds += static_cast<double>(parts[3]) / frameRate;
    return seconds;
}

std::string clipEndBeyondProjectMessage(std::string_view endLabel)
{
    std::string message = "Clip end (";
    message += endLabel;
    message += ") is beyond the Logic project end, so the ";
    message += "marker can't span the full clip. Extend your Logic project past ";
    message += "the movie, then try again.";
    return message;
}

void runClosingActions(LogicDriving& logic, bool colored)
{
    TraceStep step(logic.trace, "closing actions", StepKind::group);
    logic.pacingPause();
    logic.runStoredAction(kEndStepAction);
    if (colored) {
        logic.pacingPause();
        logic.runStoredAction(kEndColorStepAction);
    }
}

ServiceResult<double> createLogicMarker(LogicDriving& logic, ColorsBatch& batch, const MarkerRequest& request, platform::CGRect avoidAppKit)
{
    serviceLog().info("createLogicMarker:\n  timecode={:f}s\n  duration={:f}s\n  name={}\n  lpColorIndex={}\n  pacing={:f}s",
        request.timecodeSeconds, request.durationSeconds, request.displayName, request.lpColorIndex, request.pacingSeconds);
    if (logic.trace)
        logic.trace->protectName(request.displayName);
    // Nothing is changed in a Logic that cannot take the marker's input.
    TraceStep ready(logic.trace, "check Logic is ready for input", StepKind::check);
    if (std::optional<std::string> why = InputGuard(logic.platform).whyNotReadyForOperation()) {
        ready.fail(StepOutcome::refused, *why);
        return failRequest(kLocatorDialogMissing, *why, kOperation);
    }
    ready.end();
    ensureMarkerTrackVisibleForBatch(logic, batch);

    const double end = request.timecodeSeconds + request.durationSeconds;
    const std::string endLabel = smpteLabel(end, request.frameRate, request.isDropFrame);

    // Left and right locators over the clip.
    std::string startText;
    std::string endText;
    {
        TraceStep step(logic.trace, "Set Left and Right Locator", StepKind::group);
        Expected<LogicDialog, DialogRefusal> locators = LogicDialog::open(logic, kSetLocatorsAction, "Set Left and Right Locator", isLocatorsDialog);
        if (!locators)
            return failRequest(kLocatorDialogMissing, locators.error().message("Set Left and Right Locator dialog did not appear in time"), kOperation);
        timecode::TimecodeLayout layout = timecodeLayout(locators->element());
        startText = typedText(request.timecodeSeconds, request, layout);
        endText = typedText(end, request, layout);
        logic.pacingPause();
        Expected<void, std::string> entered = locators.value().send("type the locators",
            "Tab, " + startText + ", Tab Tab, " + endText + ", Return (keystroke script)",
            [&] { return sendLocators(logic.platform, startText, endText); }, true);
        if (!entered)
            return failRequest(kLocatorEntryFailed, inputFailureMessage("Could not enter left locator value", entered.error()), kOperation);
        settleFor(logic.trace, "settle: Logic sets the locators", settle::kLocatorsCommitSeconds);
    }

    // The clip end must lie inside the project: Logic puts the playhead no
    // further than the project end, so a playhead short of the end by a whole
    // second or more means the marker could not span the clip.
    const double wantedEndSeconds = labelSeconds(endLabel, request.frameRate);
    EndCheck check = goToClipEnd(logic, request, end);
    TraceStep inside(logic.trace, "check the clip end lies inside the project", StepKind::check);
    if (inside.recording())
        inside.found(check.landedSeconds ? fmt::format("wanted {} ({} s), the playhead landed at {} s", endLabel, wantedEndSeconds, *check.landedSeconds)
                                         : std::string("no landing to compare"));
    if (check.refused) {
        inside.fail(StepOutcome::refused, *check.refused);
        return failRequest(kMarkerInputRefused, "Could not check the clip end (" + *check.refused + "); the locators are set, no marker was made",
            kOperation);
    } else if (!check.landedSeconds) {
        serviceLog().error("createLogicMarker: clip-end verification inconclusive — proceeding without clamp guard");
    } else if (std::floor(wantedEndSeconds) > std::floor(*check.landedSeconds)) {
        serviceLog().error("createLogicMarker: clip end clamped to project end (wanted {}={:f}s, landed {:f}s)", endLabel, wantedEndSeconds,
            *check.landedSeconds);
        inside.fail(StepOutcome::failed, "the clip end lies beyond the project end");
        return failRequest(kClipEndBeyondProject, clipEndBeyondProjectMessage(endLabel), kOperation);
    }

    inside.end();

    // The marker over the locators, its name field open for typing; not made
    // when its name could not be typed into Logic.
    TraceStep readyAgain(logic.trace, "check Logic is ready for input", StepKind::check);
    if (std::optional<std::string> why = InputGuard(logic.platform).whyNotReadyForOperation()) {
        readyAgain.fail(StepOutcome::refused, *why);
        return failRequest(kMarkerInputRefused, "Could not create the marker (" + *why + "); the locators are set", kOperation);
    }
    readyAgain.end();
    for (std::uint32_t code : kCreateMarkerActions) {
        logic.pacingPause();
        logic.runStoredAction(code);
        settleFor(logic.trace, "settle: after a marker action", settle::kAfterMarkerCreationStepSeconds);
    }
    logic.pacingPause();
    Expected<void, std::string> named = typeIntoNameEditor(logic.platform, logic.trace, [&] {
        TraceStep typing(logic.trace, "type the marker's name", StepKind::send);
        if (typing.recording())
            typing.sent(logic.trace->nameText(request.displayName) + ", Return (keystroke script)");
        bool sent = sendTextReturn(logic.platform, escapeFieldText(request.displayName));
        if (!sent)
            typing.fail(StepOutcome::failed, "the keystroke script failed");
        return sent;
    });
    if (!named) {
        // The name editor is left to the closing action, which ends it as Logic's
        // Return would (with no name); no key is sent to it.
        runClosingActions(logic, false);
        return failRequest(kMarkerNameFailed, inputFailureMessage("Could not enter marker name", named.error()), kOperation);
    }

    if (request.lpColorIndex >= 0) {
        logic.pacingPause();
        TraceStep colouring(logic.trace, "colour the marker", StepKind::group);
        if (std::optional<std::string> refused = colorSelectedItem(logic, batch, request.lpColorIndex, false, avoidAppKit)) {
            colouring.end();
            runClosingActions(logic, false);
            return failRequest(kMarkerInputRefused, "Marker '" + request.displayName + "' was made and named but not coloured (" + *refused + ")",
                kOperation);
        }
    }
    runClosingActions(logic, request.lpColorIndex >= 0);
    serviceLog().info("createLogicMarker: marker '{}' at {}–{}", request.displayName, startText, endText);
    return check.viewOffsetSeconds;
}

} // namespace mq::logic
