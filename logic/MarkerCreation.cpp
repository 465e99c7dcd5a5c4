#include "logic/MarkerCreation.h"

#include "logic/DialogTimecode.h"
#include "logic/FailRequest.h"
#include "logic/GoToPosition.h"
#include "logic/GoToPositionSession.h"
#include "logic/InputGuard.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicDialog.h"
#include "logic/NameEditor.h"
#include "logic/SettlePauses.h"
#include "logic/MarkerTrack.h"
#include "logic/ServiceLog.h"
#include "logic/TrimmedText.h"
#include "platform/Dispatch.h"
#include "marquee/SMPTEComponents.h"
#include "timecode/TypedTimecodeText.h"

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
    // Nothing is changed in a Logic that cannot take the marker's input.
    if (std::optional<std::string> why = InputGuard(logic.platform).whyNotReadyForOperation())
        return failRequest(kLocatorDialogMissing, *why, kOperation);
    ensureMarkerTrackVisibleForBatch(logic, batch);

    const double end = request.timecodeSeconds + request.durationSeconds;
    const std::string endLabel = smpteLabel(end, request.frameRate, request.isDropFrame);

    // Left and right locators over the clip.
    std::string startText;
    std::string endText;
    {
        Expected<LogicDialog, DialogRefusal> locators = LogicDialog::open(logic, kSetLocatorsAction, "Set Left and Right Locator", isLocatorsDialog);
        if (!locators)
            return failRequest(kLocatorDialogMissing, locators.error().message("Set Left and Right Locator dialog did not appear in time"), kOperation);
        timecode::TimecodeLayout layout = timecodeLayout(locators->element());
        startText = typedText(request.timecodeSeconds, request, layout);
        endText = typedText(end, request, layout);
        logic.pacingPause();
        Expected<void, std::string> entered
            = locators.value().send([&] { return sendLocators(logic.platform, startText, endText); }, true);
        if (!entered)
            return failRequest(kLocatorEntryFailed, inputFailureMessage("Could not enter left locator value", entered.error()), kOperation);
        sleepForSeconds(settle::kLocatorsCommitSeconds);
    }

    // The clip end must lie inside the project: Logic puts the playhead no
    // further than the project end, so a playhead short of the end by a whole
    // second or more means the marker could not span the clip.
    const double wantedEndSeconds = labelSeconds(endLabel, request.frameRate);
    EndCheck check = goToClipEnd(logic, request, end);
    if (check.refused) {
        return failRequest(kMarkerInputRefused, "Could not check the clip end (" + *check.refused + "); the locators are set, no marker was made",
            kOperation);
    } else if (!check.landedSeconds) {
        serviceLog().error("createLogicMarker: clip-end verification inconclusive — proceeding without clamp guard");
    } else if (std::floor(wantedEndSeconds) > std::floor(*check.landedSeconds)) {
        serviceLog().error("createLogicMarker: clip end clamped to project end (wanted {}={:f}s, landed {:f}s)", endLabel, wantedEndSeconds,
            *check.landedSeconds);
        return failRequest(kClipEndBeyondProject, clipEndBeyondProjectMessage(endLabel), kOperation);
    }

    // The marker over the locators, its name field open for typing; not made
    // when its name could not be typed into Logic.
    if (std::optional<std::string> why = InputGuard(logic.platform).whyNotReadyForOperation())
        return failRequest(kMarkerInputRefused, "Could not create the marker (" + *why + "); the locators are set", kOperation);
    for (std::uint32_t code : kCreateMarkerActions) {
        logic.pacingPause();
        logic.runStoredAction(code);
        sleepForSeconds(settle::kAfterMarkerCreationStepSeconds);
    }
    logic.pacingPause();
    Expected<void, std::string> named
        = typeIntoNameEditor(logic.platform, [&] { return sendTextReturn(logic.platform, escapeFieldText(request.displayName)); });
    if (!named) {
        // The name editor is left to the closing action, which ends it as Logic's
        // Return would (with no name); no key is sent to it.
        runClosingActions(logic, false);
        return failRequest(kMarkerNameFailed, inputFailureMessage("Could not enter marker name", named.error()), kOperation);
    }

    if (request.lpColorIndex >= 0) {
        logic.pacingPause();
        if (std::optional<std::string> refused = colorSelectedItem(logic, batch, request.lpColorIndex, false, avoidAppKit)) {
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
