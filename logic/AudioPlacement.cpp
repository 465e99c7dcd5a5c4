#include "logic/AudioPlacement.h"

#include "logic/DialogTimecode.h"
#include "logic/FailRequest.h"
#include "logic/GoToPositionSession.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicDialog.h"
#include "logic/NameEditor.h"
#include "logic/SettlePauses.h"
#include "logic/LogicApplication.h"
#include "logic/MQSpotToTimeline.h"
#include "logic/MarkerCreation.h"
#include "logic/OperationTrace.h"
#include "logic/ServiceLog.h"
#include "logic/SpotOutcome.h"
#include "platform/Dispatch.h"
#include "marquee/SMPTEComponents.h"
#include "timecode/TypedTimecodeText.h"

namespace mq::logic {

namespace {

constexpr std::string_view kOperation = "placeAudioFile";
constexpr const char* kFallbackLogicBundleIdentifier = "com.apple.logic10";

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

/// Makes a track and names it; why not when the name could not be sent safely
/// (a name that could not be typed otherwise leaves Logic's own).
std::optional<std::string> createNamedTrack(LogicDriving& logic, const std::string& trackName)
{
    TraceStep step(logic.trace, "make a named track", StepKind::group);
    logic.pacingPause();
    logic.runStoredAction(kNewTrackAction);
    settleFor(logic.trace, "settle: the new track is selected", settle::kAfterNewTrackSeconds);
    logic.pacingPause();
    logic.runStoredAction(kEditTrackNameAction);
    settleFor(logic.trace, "settle: the name field opens", settle::kAfterTrackNameEditSeconds);
    const std::string& plainName = trackName.empty() ? std::string(kDefaultTrackName) : trackName;
    std::string name = escapeFieldText(plainName);
    logic.pacingPause();
    Expected<void, std::string> named = typeIntoNameEditor(logic.platform, logic.trace, [&] {
        TraceStep typing(logic.trace, "type the track's name", StepKind::send);
        if (typing.recording())
            typing.sent("Command-A, " + logic.trace->nameText(plainName) + ", Return (keystroke script)");
        bool sent = sendSelectAllTextReturn(logic.platform, name);
        if (!sent)
            typing.fail(StepOutcome::failed, "the keystroke script failed");
        return sent;
    });
    if (!named && !named.error().empty())
        return named.error();
    settleFor(logic.trace, "settle: Logic takes the name", settle::kAfterTrackNameSeconds);
    return std::nullopt;
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

    if (logic.trace) {
        logic.trace->protectName(request.displayName);
        logic.trace->protectName(request.trackName);
    }
    // The playhead to the timecode.
    std::optional<double> controlBar = logic.readControlBarSeconds(request.frameRate);
    std::string text;
    double viewOffset = 0;
    {
        Expected<GoToPositionSession, DialogRefusal> session = GoToPositionSession::open(logic, "Go to Position", controlBar, request.frameRate);
        if (!session)
            return failRequest(kPlacementDialogMissing, session.error().message("Go to Position dialog did not appear in time"), kOperation);
        viewOffset = session->viewOffsetSeconds();
        text = timecode::typedTimecodeText(
            timecode::smpteComponents(request.timecodeSeconds, request.frameRate, request.isDropFrame), session->layout(), request.frameRate);
        logic.pacingPause();
        if (Expected<void, std::string> entered = session.value().enterAndConfirm(text, settle::kAfterPlayheadMoveSeconds); !entered)
            return failRequest(kPlacementPlayheadNotSet, inputFailureMessage("Could not set playhead position", entered.error()), kOperation);
    }

    if (request.createNewTrack)
        if (std::optional<std::string> refused = createNamedTrack(logic, request.trackName)) {
            // The name editor is ended by the closing action, without a key.
            runClosingActions(logic, false);
            return failRequest(kPlacementInputRefused, "A new track was made but not named (" + *refused + "); nothing was placed", kOperation);
        }

    // Logic places the file at the playhead, on the selected track.
    logic.pacingPause();
    TraceStep counting(logic.trace, "count the regions", StepKind::read);
    const SpotBaseline baseline = takeSpotBaseline(logic.platform, kSpotBaselineTimeoutSeconds);
    counting.found(baseline.regions ? std::to_string(*baseline.regions) + " regions" : std::string("not countable"));
    counting.end();
    TraceStep spot(logic.trace, "send the spot event", StepKind::send);
    if (spot.recording())
        spot.sent("'aUeV'/'Spt2' for file " + logic.trace->nameText(path) + ", region name " + logic.trace->nameText(request.displayName));
    std::int32_t status = MQSpotToTimeline::sendWithAudioFilePath(logic.platform.scripting, path, request.displayName, spotTarget(logic.platform));
    spot.found("OSStatus " + std::to_string(status));
    if (status != platform::osstatus::noErr) {
        spot.fail(StepOutcome::failed, spotFailedMessage(status));
        return failRequest(kSpotEventFailed, spotFailedMessage(status), kOperation);
    }
    spot.end();

    // The status only says the event was delivered: the region it makes is what
    // the next steps select and colour, so nothing goes on until it is there.
    settleFor(logic.trace, "settle: Logic handles the event", settle::kAfterSpotSeconds);
    TraceStep placed(logic.trace, "wait for the placed region", StepKind::wait);
    placed.waitedFor("one region more than before, or an alert of Logic's, at most 5.0 s");
    if (SpotOutcome outcome = awaitSpotOutcome(logic.platform, baseline, kSpotRegionTimeoutSeconds); !outcome.placed) {
        placed.fail(StepOutcome::failed, outcome.reason);
        return failRequest(kSpotEventFailed, "Spot-to-timeline Apple Event failed (" + outcome.reason + ")", kOperation);
    }
    placed.found("a new region");
    placed.end();
    for (std::uint32_t code : kSelectPlacedRegionActions) {
        logic.pacingPause();
        logic.runStoredAction(code);
    }

    if (request.lpColorIndex >= 0) {
        logic.pacingPause();
        TraceStep colouring(logic.trace, "colour the region", StepKind::group);
        std::optional<std::string> refused = colorSelectedItem(logic, batch, request.lpColorIndex, false, avoidAppKit);
        colouring.end();
        if (!refused && request.colorTrack) {
            logic.pacingPause();
            TraceStep trackColouring(logic.trace, "colour the track", StepKind::group);
            refused = colorSelectedItem(logic, batch, request.lpColorIndex, true, avoidAppKit);
        }
        if (refused) {
            runClosingActions(logic, false);
            return failRequest(kPlacementInputRefused, "The file was placed at " + text + " but not coloured (" + *refused + ")", kOperation);
        }
    }
    runClosingActions(logic, request.lpColorIndex >= 0);
    serviceLog().info("placeAudioFile: spotted at {}", text);
    return viewOffset;
}

} // namespace mq::logic
