#include "logic/MarkerCreation.h"

#include "logic/DialogTimecode.h"
#include "logic/DialogWait.h"
#include "logic/FailRequest.h"
#include "logic/GoToPosition.h"
#include "logic/KeystrokeScripts.h"
#include "logic/MarkerTrack.h"
#include "logic/ServiceLog.h"
#include "logic/TrimmedText.h"
#include "platform/Dispatch.h"
#include "timecode/SMPTEComponents.h"
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
// playhead in seconds, or nothing when the check cannot be made (logged).
struct EndCheck {
    double viewOffsetSeconds { std::numeric_limits<double>::quiet_NaN() };
    std::optional<double> landedSeconds;
};

EndCheck goToClipEnd(LogicDriving& logic, const MarkerRequest& request, double end)
{
    EndCheck check;
    std::optional<double> controlBar = logic.readControlBarSeconds(request.frameRate);
    logic.pacingPause();
    logic.startStoredActionInBackground(kGoToPositionAction);
    std::optional<ax::UIElement> dialog = waitForLogicModalDialog(logic.platform, "Go to Position (verify clip end)");
    if (!dialog)
        return check;
    check.viewOffsetSeconds = measureViewOffset(controlBar, *dialog, request.frameRate);
    std::string verifyText = typedText(end, request, timecodeLayout(*dialog));
    if (!sendTabDelayTextReturn(logic.platform, verifyText))
        return check;
    sleepForSeconds(0.5);
    check.landedSeconds = readCurrentPlayheadSeconds(logic, request.frameRate);
    return check;
}

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
    ensureMarkerTrackVisibleForBatch(logic, batch);

    const double end = request.timecodeSeconds + request.durationSeconds;
    const std::string endLabel = smpteLabel(end, request.frameRate, request.isDropFrame);

    // Left and right locators over the clip.
    logic.startStoredActionInBackground(kSetLocatorsAction);
    std::optional<ax::UIElement> locators = waitForLogicModalDialog(logic.platform, "Set Left and Right Locator");
    if (!locators)
        return failRequest(kLocatorDialogMissing, "Set Left and Right Locator dialog did not appear in time", kOperation);
    timecode::TimecodeLayout layout = timecodeLayout(*locators);
    const std::string startText = typedText(request.timecodeSeconds, request, layout);
    const std::string endText = typedText(end, request, layout);
    logic.pacingPause();
    if (!sendLocators(logic.platform, startText, endText))
        return failRequest(kLocatorEntryFailed, "Could not enter left locator value", kOperation);
    sleepForSeconds(0.5);

    // The clip end must lie inside the project: Logic puts the playhead no
    // further than the project end, so a playhead short of the end by a whole
    // second or more means the marker could not span the clip.
    const double wantedEndSeconds = labelSeconds(endLabel, request.frameRate);
    EndCheck check = goToClipEnd(logic, request, end);
    if (!check.landedSeconds) {
        serviceLog().error("createLogicMarker: clip-end verification inconclusive — proceeding without clamp guard");
    } else if (std::floor(wantedEndSeconds) > std::floor(*check.landedSeconds)) {
        serviceLog().error("createLogicMarker: clip end clamped to project end (wanted {}={:f}s, landed {:f}s)", endLabel, wantedEndSeconds,
            *check.landedSeconds);
        return failRequest(kClipEndBeyondProject, clipEndBeyondProjectMessage(endLabel), kOperation);
    }

    // The marker over the locators, its name field open for typing.
    for (std::uint32_t code : kCreateMarkerActions) {
        logic.pacingPause();
        logic.runStoredAction(code);
        sleepForSeconds(0.2);
    }
    logic.pacingPause();
    if (!sendTextReturn(logic.platform, escapeFieldText(request.displayName)))
        return failRequest(kMarkerNameFailed, "Could not enter marker name", kOperation);

    if (request.lpColorIndex >= 0) {
        logic.pacingPause();
        colorSelectedItem(logic, batch, request.lpColorIndex, false, avoidAppKit);
    }
    runClosingActions(logic, request.lpColorIndex >= 0);
    serviceLog().info("createLogicMarker: marker '{}' at {}–{}", request.displayName, startText, endText);
    return check.viewOffsetSeconds;
}

} // namespace mq::logic
