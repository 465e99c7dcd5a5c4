#include "logic/AudioPlacement.h"

#include "logic/DialogTimecode.h"
#include "logic/DialogWait.h"
#include "logic/FailRequest.h"
#include "logic/GoToPosition.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicApplication.h"
#include "logic/MQSpotToTimeline.h"
#include "logic/MarkerCreation.h"
#include "logic/ServiceLog.h"
#include "logic/SpotOutcome.h"
#include "platform/Dispatch.h"
#include "timecode/SMPTEComponents.h"
#include "timecode/TypedTimecodeText.h"

namespace mq::logic {

namespace {

constexpr std::string_view kOperation = "placeAudioFile";
constexpr const char* kFallbackLogicBundleIdentifier = "com.apple.logic10";

constexpr double kAfterPlayheadMoveSeconds = 0.1;
constexpr double kAfterNewTrackSeconds = 0.3;
constexpr double kAfterTrackNameEditSeconds = 0.2;
constexpr double kAfterTrackNameSeconds = 0.1;
constexpr double kAfterSpotSeconds = 0.1;
constexpr double kSpotBaselineTimeoutSeconds = 1.0;
constexpr double kSpotRegionTimeoutSeconds = 5.0;

/// The bundle identifier the event is addressed to: the running Logic's, else Logic Pro's.
std::string spotTarget(platform::Platform& platform)
{
    auto logic = findLogicRunningApplication(platform);
    if (logic && logic->bundleIdentifier && !logic->bundleIdentifier->empty())
        return *logic->bundleIdentifier;
    return kFallbackLogicBundleIdentifier;
}

void createNamedTrack(LogicDriving& logic, const std::string& trackName)
{
    logic.pacingPause();
    logic.runStoredAction(kNewTrackAction);
    sleepForSeconds(kAfterNewTrackSeconds);
    logic.pacingPause();
    logic.runStoredAction(kEditTrackNameAction);
    sleepForSeconds(kAfterTrackNameEditSeconds);
    std::string name = escapeFieldText(trackName.empty() ? std::string(kDefaultTrackName) : trackName);
    logic.pacingPause();
    // A name that could not be typed leaves Logic's own; the file is placed all the same.
    sendSelectAllTextReturn(logic.platform, name);
    sleepForSeconds(kAfterTrackNameSeconds);
}

} // namespace

std::string placementPath(const URL& url) { return url.isFileURL() ? url.path() : std::string(); }

std::string spotFailedMessage(std::int32_t status)
{
    return "Spot-to-timeline Apple Event failed (OSStatus " + std::to_string(status) + ")";
}

ServiceResult<double> placeAudioFile(LogicDriving& logic, ColorsBatch& batch, const PlacementRequest& request, platform::CGRect avoidAppKit)
{
    const std::string path = placementPath(request.url);
    serviceLog().info("placeAudioFile:\n  url={}\n  timecode={:f}s\n  name={}\n  createNewTrack={}\n  lpColorIndex={}\n  colorTrack={}\n  pacing={:f}s",
        request.url.isFileURL() ? path : request.url.absoluteString(), request.timecodeSeconds, request.displayName, request.createNewTrack,
        request.lpColorIndex, request.colorTrack, request.pacingSeconds);

    // The playhead to the timecode.
    std::optional<double> controlBar = logic.readControlBarSeconds(request.frameRate);
    logic.startStoredActionInBackground(kGoToPositionAction);
    std::optional<ax::UIElement> dialog = waitForLogicModalDialog(logic.platform, "Go to Position");
    if (!dialog)
        return failRequest(kPlacementDialogMissing, "Go to Position dialog did not appear in time", kOperation);
    const double viewOffset = measureViewOffset(controlBar, *dialog, request.frameRate);
    const std::string text = timecode::typedTimecodeText(
        timecode::smpteComponents(request.timecodeSeconds, request.frameRate, request.isDropFrame), timecodeLayout(*dialog), request.frameRate);
    logic.pacingPause();
    if (!sendTabDelayTextReturn(logic.platform, text))
        return failRequest(kPlacementPlayheadNotSet, "Could not set playhead position", kOperation);
    sleepForSeconds(kAfterPlayheadMoveSeconds);

    if (request.createNewTrack)
        createNamedTrack(logic, request.trackName);

    // Logic places the file at the playhead, on the selected track.
    logic.pacingPause();
    const SpotBaseline baseline = takeSpotBaseline(logic.platform, kSpotBaselineTimeoutSeconds);
    std::int32_t status = MQSpotToTimeline::sendWithAudioFilePath(logic.platform.scripting, path, request.displayName, spotTarget(logic.platform));
    if (status != platform::osstatus::noErr)
        return failRequest(kSpotEventFailed, spotFailedMessage(status), kOperation);

    // The status only says the event was delivered: the region it makes is what
    // the next steps select and colour, so nothing goes on until it is there.
    sleepForSeconds(kAfterSpotSeconds);
    if (SpotOutcome outcome = awaitSpotOutcome(logic.platform, baseline, kSpotRegionTimeoutSeconds); !outcome.placed)
        return failRequest(kSpotEventFailed, "Spot-to-timeline Apple Event failed (" + outcome.reason + ")", kOperation);
    for (std::uint32_t code : kSelectPlacedRegionActions) {
        logic.pacingPause();
        logic.runStoredAction(code);
    }

    if (request.lpColorIndex >= 0) {
        logic.pacingPause();
        colorSelectedItem(logic, batch, request.lpColorIndex, false, avoidAppKit);
        if (request.colorTrack) {
            logic.pacingPause();
            colorSelectedItem(logic, batch, request.lpColorIndex, true, avoidAppKit);
        }
    }
    runClosingActions(logic, request.lpColorIndex >= 0);
    serviceLog().info("placeAudioFile: spotted at {}", text);
    return viewOffset;
}

} // namespace mq::logic
