#include "logic/BounceSteps.h"

#include "logic/DialogTimecode.h"
#include "logic/DialogWait.h"
#include "logic/GoToPosition.h"
#include "logic/ExportSavePanel.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicApplication.h"
#include "logic/OpenMovieDialog.h"
#include "logic/ServiceLog.h"
#include "platform/Dispatch.h"
#include "platform/URL.h"
#include "timecode/SMPTEComponents.h"
#include "timecode/TypedTimecodeText.h"

#include <algorithm>
#include <cmath>

namespace mq::logic {

namespace {

constexpr double kStopTransportSettleSeconds = 0.3;
constexpr double kPlayheadSettleSeconds = 0.1;
constexpr double kOpenMovieOptionsTimeoutSeconds = 2.0;
constexpr double kMovieLoadTimeoutSeconds = 10.0;
constexpr double kExportPanelTimeoutSeconds = 5.0;
constexpr double kExportDialogsPollSeconds = 0.1;

const char* yesNo(bool value) { return value ? "true" : "false"; }

// The file name of a path, as the movie's window shows it in its title.
std::string lastPathComponent(std::string_view path)
{
    std::string standardized = standardizePath(path);
    std::size_t slash = standardized.rfind('/');
    return slash == std::string::npos ? standardized : standardized.substr(slash + 1);
}

bool isModal(const ax::UIElement& window) { return window.attribute<bool>(ax::Attribute::modal).valueOr(std::nullopt) == true; }

// A modal window of Logic's that was not there before the export dialog opened:
// a dialog that belongs to the export (progress, a question about the file).
bool exportModalWindowOpen(platform::Platform& platform, const std::vector<ax::UIElement>& baseline)
{
    for (const ax::UIElement& window : logicWindows(platform))
        if (std::find(baseline.begin(), baseline.end(), window) == baseline.end() && isModal(window))
            return true;
    return false;
}

} // namespace

void BounceBaselineWindows::store(std::vector<ax::UIElement> windows)
{
    std::lock_guard lock(m_mutex);
    m_windows = std::move(windows);
}

std::vector<ax::UIElement> BounceBaselineWindows::current() const
{
    std::lock_guard lock(m_mutex);
    return m_windows;
}

ServiceError bounceError(std::int64_t code, std::string message)
{
    serviceLog().error("bounce failed ({}): {}", code, message);
    return makeServiceError(code, std::move(message));
}

ServiceResult<double> bounceGoToPosition(LogicDriving& logic, double timecodeSeconds, bool stopTransport, double frameRate,
    bool isDropFrame)
{
    platform::Platform& platform = logic.platform;
    serviceLog().info("bounce step 1: go to {:f}s stopTransport={}", timecodeSeconds, yesNo(stopTransport));
    if (stopTransport) {
        logic.runStoredAction(kStopTransportAction);
        sleepForSeconds(kStopTransportSettleSeconds);
    }
    std::optional<double> controlBarSeconds = logic.readControlBarSeconds(frameRate);
    logic.startStoredActionInBackground(kGoToPositionAction);
    auto dialog = waitForLogicModalDialog(platform, "Go to Position", kDialogWaitTimeoutSeconds, kDialogWaitPollIntervalSeconds);
    if (!dialog)
        return unexpected(bounceError(kBounceGoToPositionMissing, "Logic's Go to Position dialog did not appear in time."));

    double viewOffset = measureViewOffset(controlBarSeconds, *dialog, frameRate);
    auto components = timecode::smpteComponents(timecodeSeconds, frameRate, isDropFrame);
    std::string text = timecode::typedTimecodeText(components, timecodeLayout(*dialog), frameRate);
    logic.pacingPause();

    if (!sendTabDelayTextReturn(platform, text))
        return unexpected(bounceError(kBouncePlayheadNotSet, "Could not set Logic's playhead position."));
    sleepForSeconds(kPlayheadSettleSeconds);
    return viewOffset;
}

ServiceResult<void> bounceOpenMovie(LogicDriving& logic, std::string_view moviePath)
{
    platform::Platform& platform = logic.platform;
    serviceLog().info("bounce step 2: open movie {}", moviePath);
    logic.pacingPause();
    logic.startStoredActionInBackground(kOpenMovieAction);
    if (!waitForLogicModalDialog(platform, "Open Movie in Finder", kDialogWaitTimeoutSeconds, kDialogWaitPollIntervalSeconds))
        return unexpected(bounceError(kBounceOpenMovieMissing, "Logic's Open Movie dialog did not appear in time."));

    logic.pacingPause();
    if (!enterPathInOpenDialog(platform, moviePath))
        return unexpected(bounceError(kBounceMoviePathNotEntered, "Could not enter the movie's path in Logic's Open dialog."));

    // Logic asks about some movies before it loads them; most need no answer.
    logic.pacingPause();
    if (auto options = waitForLogicOpenMovieDialog(platform, "Open Movie", kOpenMovieOptionsTimeoutSeconds, kDialogWaitPollIntervalSeconds))
        answerMovieOptions(*options);

    if (!waitForLogicMovieWindow(platform, lastPathComponent(moviePath), kMovieLoadTimeoutSeconds, kDialogWaitPollIntervalSeconds))
        return unexpected(bounceError(kBounceMovieNotLoaded, "Logic did not finish loading the movie in time."));
    logic.pacingPause();
    logic.runStoredAction(kMovieLoadedAction);
    return {};
}

void bounceAlignMovieRegion(LogicDriving& logic)
{
    serviceLog().info("bounce step 3: align movie region");
    logic.pacingPause();
    logic.runStoredAction(kAlignMovieRegionFirstAction);
    logic.pacingPause();
    logic.runStoredAction(kAlignMovieRegionSecondAction);
}

ServiceResult<void> bounceOpenExportDialog(LogicDriving& logic, BounceBaselineWindows& baseline)
{
    platform::Platform& platform = logic.platform;
    serviceLog().info("bounce step 4: open export dialog");
    baseline.store(logicWindows(platform));
    logic.pacingPause();
    logic.startStoredActionInBackground(kOpenExportDialogAction);
    if (!waitForExportSavePanel(platform, kExportPanelTimeoutSeconds))
        return unexpected(bounceError(kBounceExportDialogMissing, "Logic's export dialog did not appear in time."));
    return {};
}

ExportDialogsOutcome awaitExportDialogsClosed(platform::Platform& platform, const BounceBaselineWindows& baseline, const BounceClock& now,
    const std::function<bool()>& abandoned)
{
    using Clock = std::chrono::steady_clock;
    serviceLog().info("bounce step 5: waiting for the export dialogs to close");
    Clock::time_point deadline = now() + kExportDialogsDeadline;
    // When nothing of the export was last seen missing; max() while something is there.
    constexpr Clock::time_point kNotQuiet = Clock::time_point::max();
    Clock::time_point quietSince = kNotQuiet;
    ExportDialogsOutcome outcome;
    while (now() < deadline) {
        if (abandoned && abandoned()) {
            serviceLog().info("bounce step 5: the client closed its connection; the wait ends");
            return outcome;
        }
        if (auto panel = findExportSavePanel(platform))
            if (auto name = saveAsName(*panel))
                outcome.lastName = std::move(name);
        // The panel is looked for again: it may have closed since the name was read.
        if (findExportSavePanel(platform) || exportModalWindowOpen(platform, baseline.current())) {
            quietSince = kNotQuiet;
        } else {
            Clock::time_point current = now();
            if (quietSince == kNotQuiet)
                quietSince = current;
            if (current - quietSince >= kExportDialogsQuietTime) {
                serviceLog().info("bounce step 5: export dialogs closed (name {})", outcome.lastName.value_or("?"));
                return outcome;
            }
        }
        sleepForSeconds(kExportDialogsPollSeconds);
    }
    outcome.error = bounceError(kBounceExportDialogStillOpen, "Timed out waiting for Logic's export dialog to close.");
    return outcome;
}

} // namespace mq::logic
