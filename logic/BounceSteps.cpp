#include "logic/BounceSteps.h"

#include "logic/DialogTimecode.h"
#include "logic/DialogWait.h"
#include "logic/ExportSavePanel.h"
#include "logic/FailRequest.h"
#include "logic/GoToPositionSession.h"
#include "logic/InputGuard.h"
#include "logic/KeystrokeScripts.h"
#include "logic/LogicDialog.h"
#include "logic/LogicApplication.h"
#include "logic/OpenMovieDialog.h"
#include "logic/OperationTrace.h"
#include "logic/ServiceLog.h"
#include "logic/SettlePauses.h"
#include "platform/Dispatch.h"
#include "marquee/URL.h"
#include "marquee/SMPTEComponents.h"
#include "timecode/TypedTimecodeText.h"

#include <algorithm>
#include <cmath>

namespace mq::logic {

namespace {

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

// A modal window of Logic's that was not there before the export dialog opened:
// a dialog that belongs to the export (progress, a question about the file). A
// new window whose AXModal cannot be read counts: Logic is busy with it.
bool exportModalWindowOpen(const std::vector<ax::UIElement>& windows, const std::vector<ax::UIElement>& baseline)
{
    for (const ax::UIElement& window : windows) {
        if (std::find(baseline.begin(), baseline.end(), window) != baseline.end())
            continue;
        ax::Result<std::optional<bool>> modal = window.attribute<bool>(ax::Attribute::modal);
        if (!modal || modal->value_or(false))
            return true;
    }
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
    return failRequest(code, std::move(message), "bounce", CodeInLog::yes).error;
}

ServiceResult<double> bounceGoToPosition(LogicDriving& logic, double timecodeSeconds, bool stopTransport, double frameRate,
    bool isDropFrame)
{
    serviceLog().info("bounce step 1: go to {:f}s stopTransport={}", timecodeSeconds, yesNo(stopTransport));
    TraceStep ready(logic.trace, "check Logic is ready for input", StepKind::check);
    if (std::optional<std::string> why = InputGuard(logic.platform).whyNotReadyForOperation()) {
        ready.fail(StepOutcome::refused, *why);
        return unexpected(bounceError(kBounceGoToPositionMissing, *why));
    }
    ready.end();
    if (stopTransport) {
        logic.runStoredAction(kStopTransportAction);
        settleFor(logic.trace, "settle: the transport stops", settle::kStopTransportSeconds);
    }
    std::optional<double> controlBarSeconds = logic.readControlBarSeconds(frameRate);
    Expected<GoToPositionSession, DialogRefusal> session = GoToPositionSession::open(logic, "Go to Position", controlBarSeconds, frameRate);
    if (!session)
        return unexpected(bounceError(kBounceGoToPositionMissing, session.error().message("Logic's Go to Position dialog did not appear in time.")));

    auto components = timecode::smpteComponents(timecodeSeconds, frameRate, isDropFrame);
    std::string text = timecode::typedTimecodeText(components, session->layout(), frameRate);
    logic.pacingPause();
    if (Expected<void, std::string> entered = session.value().enterAndConfirm(text, settle::kBouncePlayheadSeconds); !entered)
        return unexpected(bounceError(kBouncePlayheadNotSet, inputFailureMessage("Could not set Logic's playhead position.", entered.error())));
    return session->viewOffsetSeconds();
}

ServiceResult<void> bounceOpenMovie(LogicDriving& logic, std::string_view moviePath)
{
    platform::Platform& platform = logic.platform;
    serviceLog().info("bounce step 2: open movie {}", moviePath);
    TraceStep ready(logic.trace, "check Logic is ready for input", StepKind::check);
    if (std::optional<std::string> why = InputGuard(platform).whyNotReadyForOperation()) {
        ready.fail(StepOutcome::refused, *why);
        return unexpected(bounceError(kBounceOpenMovieMissing, *why));
    }
    ready.end();
    logic.pacingPause();
    // Logic's file panel: any modal window that the action brings up, once none was up before it.
    Expected<LogicDialog, DialogRefusal> dialog
        = LogicDialog::open(logic, kOpenMovieAction, "Open Movie in Finder", [](const ax::UIElement&) { return true; });
    if (!dialog)
        return unexpected(bounceError(kBounceOpenMovieMissing, dialog.error().message("Logic's Open Movie dialog did not appear in time.")));

    logic.pacingPause();
    std::string sentPath = logic.trace ? logic.trace->nameText(moviePath) : std::string();
    if (Expected<void, std::string> entered = dialog.value().send("enter the movie's path",
            "Shift-Command-G, paste " + sentPath + ", Return, Return (keystroke script, the pasteboard put back)",
            [&] { return enterPathInOpenDialog(platform, moviePath); }, true, settle::kGoToFolderScriptSeconds);
        !entered)
        return unexpected(
            bounceError(kBounceMoviePathNotEntered, inputFailureMessage("Could not enter the movie's path in Logic's Open dialog.", entered.error())));

    // Logic asks about some movies before it loads them; most need no answer.
    logic.pacingPause();
    TraceStep options(logic.trace, "wait for the movie options", StepKind::wait);
    options.waitedFor("Logic's movie options window, at most 2.0 s (most movies have none)");
    if (auto window = waitForLogicOpenMovieDialog(platform, "Open Movie", kOpenMovieOptionsTimeoutSeconds, kDialogWaitPollIntervalSeconds)) {
        options.found("the options window; answered");
        answerMovieOptions(*window);
    } else {
        // Most movies bring none: the whole wait is then the step's fixed time.
        options.found("none");
        options.planned(kOpenMovieOptionsTimeoutSeconds);
    }
    options.end();

    TraceStep loaded(logic.trace, "wait for the movie to load", StepKind::wait);
    loaded.waitedFor("the movie's window, at most 10.0 s");
    if (!waitForLogicMovieWindow(platform, lastPathComponent(moviePath), kMovieLoadTimeoutSeconds, kDialogWaitPollIntervalSeconds)) {
        loaded.fail(StepOutcome::timedOut, "no window of the movie");
        return unexpected(bounceError(kBounceMovieNotLoaded, "Logic did not finish loading the movie in time."));
    }
    loaded.end();
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
    // Nothing is typed here, so a modal window already up is step 5's concern;
    // the panel is not opened in a Logic the user has turned away from.
    TraceStep front(logic.trace, "check Logic is in front", StepKind::check);
    if (logicApplicationElement(platform))
        if (std::optional<std::string> why = InputGuard(platform).whyLogicNotInFront()) {
            front.fail(StepOutcome::refused, *why);
            return unexpected(bounceError(kBounceExportDialogMissing, *why + "; nothing was sent"));
        }
    front.end();
    TraceStep windows(logic.trace, "note Logic's windows", StepKind::read);
    baseline.store(logicWindows(platform));
    windows.end();
    logic.pacingPause();
    logic.startStoredActionInBackground(kOpenExportDialogAction);
    TraceStep panel(logic.trace, "wait for the export panel", StepKind::wait);
    panel.waitedFor("a window of Logic's with the identifier \"save-panel\", at most 5.0 s");
    if (!waitForExportSavePanel(platform, kExportPanelTimeoutSeconds)) {
        panel.fail(StepOutcome::timedOut, "no save panel");
        return unexpected(bounceError(kBounceExportDialogMissing, "Logic's export dialog did not appear in time."));
    }
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
        // Windows that cannot be read are a busy Logic (bouncing, or between the
        // panel and its progress window), not closed dialogs.
        std::optional<std::vector<ax::UIElement>> windows = readLogicWindows(platform);
        if (!windows || findExportSavePanel(platform) || exportModalWindowOpen(*windows, baseline.current())) {
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
