#include "app/MQHelperService.h"

#include "protocol/Frame.h"

#include "logic/AudioPlacement.h"
#include "logic/CurrentProjectURL.h"
#include "logic/FailRequest.h"
#include "logic/GoToPosition.h"
#include "logic/LogicApplication.h"
#include "logic/MarkerCreation.h"
#include "logic/RequestArguments.h"
#include "logic/ScreenGeometry.h"
#include "logic/LogicDrivingLock.h"
#include "logic/StoredActionRunner.h"
#include "maintenance/CrashReportFetch.h"
#include "maintenance/UpdateCheck.h"
#include "maintenance/UpdateCheckSettings.h"
#include "permissions/Permissions.h"
#include "timecode/ControlBarState.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace mq {

namespace {

// The stored action that opens Logic's Project Settings at Synchronization.
constexpr std::uint32_t kSynchronizationSettingsAction = 681;

// Room in a reply frame for everything but the report or release notes: the frame's
// header values, the file name (at most NAME_MAX bytes), or the version and download
// address (bounded by the version document's size limit).
constexpr std::size_t kReplyOverheadBytes = 128 * 1024;
constexpr std::size_t kMaxReplyPayloadBytes = ipc::kMaxReplyFrameBytes - kReplyOverheadBytes;


} // namespace

MQHelperService::MQHelperService(ServiceEnvironment environment)
    : m_environment(std::move(environment))
    , m_journal(logic::JournalSettings::load(maintenance::configurationFilePath()))
    , m_synchronizationSettingsOpening(m_environment.userInitiatedQueue,
          [this] {
              m_log.info("openLogicSynchronizationSettings: opening Logic Project Settings → Synchronization");
              return runStoredActionForClient("openLogicSynchronizationSettings", kSynchronizationSettingsAction);
          })
    // The evaluation searches Logic's windows, so it runs where the display searches
    // run, not on the main queue. It holds no reference to the service.
    , m_controlBarEvaluation(m_displaySearchQueue,
          [platform = &m_environment.platform, log = m_log] {
              std::int64_t state = timecode::evaluateControlBarState(logic::logicApplicationElement(*platform));
              log.info("controlBarState: {}", state);
              return state;
          })
    , m_colorWindowAvoidRectAppKit(logic::nullRect())
{
}

MQHelperService::~MQHelperService() = default;

TransportReader& MQHelperService::transportReader()
{
    if (!m_transportReader)
        m_transportReader = std::make_unique<TransportReader>(m_environment.platform, m_environment.mainQueue,
            TransportReader::kPollInterval, &m_displaySearchQueue);
    return *m_transportReader;
}

ProjectCloseWatcher& MQHelperService::projectCloseWatcher()
{
    if (!m_projectCloseWatcher)
        m_projectCloseWatcher = std::make_unique<ProjectCloseWatcher>(m_environment.platform, m_environment.mainQueue, &m_projectWatchQueue);
    return *m_projectCloseWatcher;
}

logic::LogicDriving MQHelperService::logicDriving(logic::OperationTrace* trace)
{
    return logic::LogicDriving {
        m_environment.platform,
        [queue = &m_environment.userInitiatedQueue, trace](std::uint32_t code) {
            logic::TraceStep step(trace, fmt::format("start stored action {}", code), logic::StepKind::action);
            step.sent(fmt::format("action {}, in the background", code));
            // Fire and forget: the operation waits for the dialog, not for the action.
            queue->async([code] { logic::runStoredAction(code); });
        },
        [this, trace](double frameRate) {
            logic::TraceStep step(trace, "read control bar", logic::StepKind::read);
            std::optional<double> seconds = controlBarSeconds(frameRate);
            if (seconds)
                step.found(fmt::format("{:.3f} s", *seconds));
            else
                step.fail(logic::StepOutcome::failed, "the control bar's time display could not be read");
            return seconds;
        },
        [trace](std::uint32_t code) { return runStoredActionStep(trace, code); },
        [this, trace] { pacingPauseStep(trace, m_operationPacingSeconds.load()); },
        trace,
    };
}

bool MQHelperService::runStoredActionStep(logic::OperationTrace* trace, std::uint32_t code)
{
    logic::TraceStep step(trace, fmt::format("stored action {}", code), logic::StepKind::action);
    step.sent(fmt::format("action {}", code));
    bool ran = logic::runStoredAction(code);
    if (!ran)
        step.fail(logic::StepOutcome::failed, "not allowed, or the interpreter did not end with status 0");
    return ran;
}

void MQHelperService::pacingPauseStep(logic::OperationTrace* trace, double seconds)
{
    // No step for no pause: most clients pace with 0.
    logic::TraceStep step(seconds > 0 ? trace : nullptr, "pacing pause", logic::StepKind::sleep);
    step.planned(std::min(seconds, kMaxPacingPauseSeconds));
    pauseFor(seconds);
}

std::optional<double> MQHelperService::controlBarSeconds(double frameRate) const
{
    return TransportReader::readDisplaySecondsOnce(m_environment.platform, frameRate);
}

void MQHelperService::storePacing(double pacingSeconds)
{
    m_operationPacingSeconds.store(pacingSeconds);
}

void MQHelperService::pauseFor(double seconds)
{
    if (seconds > 0) // NaN is no pause either
        sleepForSeconds(std::min(seconds, kMaxPacingPauseSeconds));
}

MQHelperService::ColorsWindowAvoidRect MQHelperService::colorWindowAvoidRectAppKit() const
{
    std::lock_guard lock(m_avoidRectMutex);
    return m_colorWindowAvoidRectAppKit;
}

template<typename Operation>
auto MQHelperService::drive(std::string_view operation, Operation run) -> decltype(run(std::declval<logic::LogicDriving&>()))
{
    std::unique_ptr<logic::OperationTrace> trace = m_journal.begin(operation);
    auto result = [&] {
        logic::TraceStep turn(trace.get(), "wait for Logic", logic::StepKind::lock);
        auto driving = logic::LogicDrivingLock::processWide().acquire(operation);
        turn.end();
        logic::LogicDriving logic = logicDriving(trace.get());
        return run(logic);
    }();
    // Recorded once the lock is free: the next request does not wait for the record.
    m_journal.finish(std::move(trace), result.hasValue(), result ? nullptr : &result.error());
    return result;
}

template<typename T, typename... Values, typename Success, typename... FailureValues>
void MQHelperService::replyWith(Reply<void(Values...)>& reply, ServiceResult<T> result, Success success, FailureValues... failureValues)
{
    if (!result) {
        reply(std::move(failureValues)..., OptionalError(std::move(result).error()));
        return;
    }
    std::apply([&](auto&&... values) { reply(std::forward<decltype(values)>(values)..., OptionalError {}); },
        success(std::move(result).value()));
}

template<typename Operation>
auto MQHelperService::drivePaced(std::string_view operation, double pacingSeconds, Operation run)
    -> decltype(run(std::declval<logic::LogicDriving&>()))
{
    return drive(operation, [&](logic::LogicDriving& logic) {
        storePacing(pacingSeconds);
        logic::LogicDriving paced = logic;
        paced.pacingPause = [pacingSeconds, trace = logic.trace] { pacingPauseStep(trace, pacingSeconds); };
        return run(paced);
    });
}

// Discipline 3: delivering thread.

void MQHelperService::bounceGoToPositionWithTimecodeSeconds(double timecodeSeconds, bool stopTransport, double pacingSeconds,
    double frameRate, bool isDropFrame, Reply<void(bool, double, OptionalError)> reply)
{
    if (auto refusal = logic::refusedPosition("timecodeSeconds", timecodeSeconds)) {
        reply(false, std::nan(""), logic::bounceError(kInvalidArgumentErrorCode, std::move(*refusal)));
        return;
    }
    storePacing(pacingSeconds);
    auto result = drivePaced("bounce step 1", pacingSeconds, [&](logic::LogicDriving& logic) {
        return logic::bounceGoToPosition(logic, timecodeSeconds, stopTransport, frameRate, isDropFrame);
    });
    replyWith(reply, std::move(result), [](double viewOffset) { return std::tuple(true, viewOffset); }, false, std::nan(""));
}

void MQHelperService::bounceOpenMovieWithURL(URL movieURL, double pacingSeconds, Reply<void(bool, OptionalError)> reply)
{
    if (auto refusal = logic::refusedFileURL("movieURL", movieURL)) {
        reply(false, logic::bounceError(kInvalidArgumentErrorCode, std::move(*refusal)));
        return;
    }
    storePacing(pacingSeconds);
    auto result = drivePaced("bounce step 2", pacingSeconds, [&](logic::LogicDriving& logic) -> ServiceResult<bool> {
        MQ_TRY(logic::bounceOpenMovie(logic, movieURL.path()));
        return true;
    });
    replyWith(reply, std::move(result), [](bool ok) { return std::tuple(ok); }, false);
}

void MQHelperService::bounceAlignMovieRegionWithPacingSeconds(double pacingSeconds, Reply<void(bool, OptionalError)> reply)
{
    storePacing(pacingSeconds);
    auto result = drivePaced("bounce step 3", pacingSeconds, [&](logic::LogicDriving& logic) -> ServiceResult<bool> {
        logic::bounceAlignMovieRegion(logic);
        return true;
    });
    replyWith(reply, std::move(result), [](bool ok) { return std::tuple(ok); }, false);
}

void MQHelperService::bounceOpenExportDialogWithPacingSeconds(double pacingSeconds, Reply<void(bool, OptionalError)> reply)
{
    storePacing(pacingSeconds);
    auto result = drivePaced("bounce step 4", pacingSeconds, [&](logic::LogicDriving& logic) -> ServiceResult<bool> {
        MQ_TRY(logic::bounceOpenExportDialog(logic, m_bounceBaselineWindows));
        return true;
    });
    replyWith(reply, std::move(result), [](bool ok) { return std::tuple(ok); }, false);
}

void MQHelperService::placeAudioFileWithURL(URL audioFileURL, double timecodeSeconds, std::string displayName, bool createNewTrack,
    std::string trackName, std::int64_t lpColorIndex, bool colorTrack, double pacingSeconds, double frameRate, bool isDropFrame,
    Reply<void(bool, double, OptionalError)> reply)
{
    if (auto refusal = logic::firstRefusal({ logic::refusedFileURL("url", audioFileURL), logic::refusedPosition("timecodeSeconds", timecodeSeconds),
            logic::refusedName("displayName", displayName), logic::refusedName("trackName", trackName) })) {
        reply(false, std::nan(""), logic::failRequest(kInvalidArgumentErrorCode, std::move(*refusal), "placeAudioFile").error);
        return;
    }
    storePacing(pacingSeconds);
    auto result = drivePaced("placeAudioFile", pacingSeconds, [&](logic::LogicDriving& logic) {
        logic::PlacementRequest request { std::move(audioFileURL), timecodeSeconds, std::move(displayName), createNewTrack, std::move(trackName),
            lpColorIndex, colorTrack, pacingSeconds, frameRate, isDropFrame };
        return logic::placeAudioFile(logic, m_colorsBatch, request, colorWindowAvoidRectAppKit());
    });
    replyWith(reply, std::move(result), [](double viewOffset) { return std::tuple(true, viewOffset); }, false, std::nan(""));
}

void MQHelperService::createLogicMarkerWithTimecodeSeconds(double timecodeSeconds, double durationSeconds, std::string displayName,
    std::int64_t lpColorIndex, double pacingSeconds, double frameRate, bool isDropFrame, Reply<void(bool, double, OptionalError)> reply)
{
    if (auto refusal = logic::firstRefusal({ logic::refusedPosition("timecodeSeconds", timecodeSeconds),
            logic::refusedDuration("durationSeconds", durationSeconds), logic::refusedName("displayName", displayName) })) {
        reply(false, std::nan(""), logic::failRequest(kInvalidArgumentErrorCode, std::move(*refusal), "createLogicMarker").error);
        return;
    }
    storePacing(pacingSeconds);
    auto result = drivePaced("createLogicMarker", pacingSeconds, [&](logic::LogicDriving& logic) {
        logic::MarkerRequest request { timecodeSeconds, durationSeconds, std::move(displayName), lpColorIndex, pacingSeconds,
            frameRate, isDropFrame };
        return logic::createLogicMarker(logic, m_colorsBatch, request, colorWindowAvoidRectAppKit());
    });
    replyWith(reply, std::move(result), [](double viewOffset) { return std::tuple(true, viewOffset); }, false, std::nan(""));
}

void MQHelperService::closeColorsWindowWithReply(Reply<void()> reply)
{
    std::unique_ptr<logic::OperationTrace> trace = m_journal.begin("closeColorsWindow");
    {
        logic::TraceStep turn(trace.get(), "wait for Logic", logic::StepKind::lock);
        auto driving = logic::LogicDrivingLock::processWide().acquire("closeColorsWindow");
        turn.end();
        logic::LogicDriving logic = logicDriving(trace.get());
        logic::closeColorsBatch(logic, m_colorsBatch);
    }
    m_journal.finish(std::move(trace), true);
    reply();
}

void MQHelperService::readLogicProjectStartSMPTEWithFrameRate(double frameRate, bool isDropFrame,
    Reply<void(double, double, std::int64_t, bool, OptionalError)> reply)
{
    auto result = drive("readLogicProjectStartSMPTE",
        [&](logic::LogicDriving& logic) { return logic::readLogicProjectStartSMPTE(logic, frameRate, isDropFrame); });
    replyWith(reply, std::move(result),
        [](const logic::ProjectStart& start) { return std::tuple(start.barOneSeconds, start.viewOffsetSeconds, start.displayMode, true); },
        0.0, 0.0, std::int64_t { -1 }, false);
}

void MQHelperService::readLogicPlayheadSMPTEWithFrameRate(double frameRate, bool isDropFrame, Reply<void(double, bool, OptionalError)> reply)
{
    auto result = drive("readLogicPlayheadSMPTE",
        [&](logic::LogicDriving& logic) { return logic::readLogicPlayheadSMPTE(logic, frameRate, isDropFrame); });
    replyWith(reply, std::move(result), [](double seconds) { return std::tuple(seconds, true); }, 0.0, false);
}

void MQHelperService::goToLogicPlayheadSMPTESeconds(double seconds, double frameRate, bool isDropFrame,
    Reply<void(double, double, bool, OptionalError)> reply)
{
    // A negative position is kept: it is clamped to 0 where it is typed.
    if (auto refusal = logic::refusedPosition("seconds", seconds)) {
        reply(0.0, std::nan(""), false, logic::failRequest(kInvalidArgumentErrorCode, std::move(*refusal), "goToLogicPlayheadSMPTESeconds").error);
        return;
    }
    auto result = drive("goToLogicPlayheadSMPTESeconds",
        [&](logic::LogicDriving& logic) { return logic::goToLogicPlayheadSMPTESeconds(logic, seconds, frameRate, isDropFrame); });
    replyWith(reply, std::move(result),
        [](const logic::PlayheadMove& move) { return std::tuple(move.landedSeconds, move.viewOffsetSeconds, true); }, 0.0,
        std::nan(""), false);
}

void MQHelperService::currentLogicProjectURLWithReply(Reply<void(std::optional<URL>, OptionalError)> reply)
{
    ServiceResult<URL> result = logic::currentLogicProjectURL(m_environment.platform);
    replyWith(reply, std::move(result), [](URL url) { return std::tuple(std::optional<URL>(std::move(url))); }, std::optional<URL> {});
}

void MQHelperService::fetchLatestCrashReportWithReply(Reply<void(std::optional<Data>, std::optional<std::string>)> reply)
{
    auto home = maintenance::currentUserHomeDirectory();
    if (!home) {
        m_log.info("fetchLatestCrashReport: DiagnosticReports unreadable or absent");
        reply(std::nullopt, std::nullopt);
        return;
    }
    auto report = maintenance::fetchLatestCrashReport(maintenance::diagnosticReportsFolder(*home), kMaxReplyPayloadBytes);
    if (!report) {
        reply(std::nullopt, std::nullopt);
        return;
    }
    reply(Data(std::move(report->bytes)), std::move(report->fileName));
}

// Discipline 1: immediate.

bool MQHelperService::returnsAtOnce(std::string_view selector) const
{
    static constexpr std::string_view kReturnAtOnce[] {
        protocol::setColorsWindowAvoidRectX::selector,
        protocol::evaluateControlBarStateWithFrameRate::selector,
        protocol::startTransportScrubObservingWithFrameRate::selector,
        protocol::stopTransportScrubObservingForShmPath::selector,
        protocol::startProjectCloseWatchForShmPath::selector,
        protocol::stopProjectCloseWatchForShmPath::selector,
        protocol::permissionsStatusWithReply::selector,
        protocol::primeAutomationPromptsWithReply::selector,
        protocol::openAccessibilitySettingsWithReply::selector,
        protocol::openAutomationSettingsWithReply::selector,
        protocol::openLogicSynchronizationSettingsWithReply::selector,
        protocol::recheckPermissionsBouncingWithReply::selector,
    };
    return std::find(std::begin(kReturnAtOnce), std::end(kReturnAtOnce), selector) != std::end(kReturnAtOnce);
}

void MQHelperService::setColorsWindowAvoidRectX(double x, double y, double width, double height, Reply<void()> reply)
{
    {
        std::lock_guard lock(m_avoidRectMutex);
        // NaN sizes fail the test as well and store the null rectangle.
        if (width > 0 && height > 0)
            m_colorWindowAvoidRectAppKit = { { x, y }, { width, height } };
        else
            m_colorWindowAvoidRectAppKit = logic::nullRect();
    }
    reply();
}

void MQHelperService::runActionWithCode(std::uint32_t code, Reply<void(bool)> reply)
{
    reply(runStoredActionForClient("runActionWithCode", code));
}

bool MQHelperService::runStoredActionForClient(std::string_view operation, std::uint32_t code)
{
    std::unique_ptr<logic::OperationTrace> trace = m_journal.begin(operation);
    bool ran = runStoredActionStep(trace.get(), code);
    m_journal.finish(std::move(trace), ran);
    return ran;
}

// Discipline 2: main-queue hop.

// The permission jobs block the main thread while System Events starts (at most
// 1.5 s) and while a consent prompt is shown, as the system's own calls do. A
// service gone by then still replies.

void MQHelperService::permissionsStatusWithReply(Reply<void(bool, bool, bool, bool)> reply)
{
    m_environment.mainQueue.async([weak = weak_from_this(), reply = std::move(reply)]() mutable {
        auto self = weak.lock();
        if (!self) {
            reply(false, false, false, false);
            return;
        }
        permissions::Permissions checks(self->m_environment.platform);
        bool accessibility = checks.isAccessibilityTrusted();
        bool logic = checks.status(permissions::PermissionKind::automationLogic) == permissions::PermissionStatus::granted;
        bool systemEvents = checks.status(permissions::PermissionKind::automationSystemEvents) == permissions::PermissionStatus::granted;
        self->m_log.info("permissionsStatus: ax={} logic={} se={}", accessibility, logic, systemEvents);
        reply(accessibility, logic, systemEvents, accessibility && logic && systemEvents);
    });
}

void MQHelperService::primeAutomationPromptsWithReply(Reply<void()> reply)
{
    m_environment.mainQueue.async([weak = weak_from_this(), reply = std::move(reply)]() mutable {
        auto self = weak.lock();
        if (!self) {
            reply();
            return;
        }
        auto& platform = self->m_environment.platform;
        // An accessory application may come to the front, and its prompts with it.
        platform.workspace.setActivationPolicy(platform::ActivationPolicy::accessory);
        platform.workspace.activateIgnoringOtherApps();
        self->m_log.info("primeAutomationPrompts: firing Logic + System Events consent prompts");
        permissions::Permissions checks(platform);
        checks.requestPermission(permissions::PermissionKind::automationLogic);
        checks.requestPermission(permissions::PermissionKind::automationSystemEvents);
        reply();
    });
}

void MQHelperService::openAccessibilitySettingsWithReply(Reply<void()> reply)
{
    m_environment.mainQueue.async([weak = weak_from_this(), reply = std::move(reply)]() mutable {
        if (auto self = weak.lock()) {
            self->m_log.info("openAccessibilitySettings: opening System Settings → Accessibility");
            self->m_environment.platform.workspace.openURL(permissions::accessibilitySettingsURL());
        }
        reply();
    });
}

void MQHelperService::openAutomationSettingsWithReply(Reply<void()> reply)
{
    m_environment.mainQueue.async([weak = weak_from_this(), reply = std::move(reply)]() mutable {
        if (auto self = weak.lock()) {
            self->m_log.info("openAutomationSettings: opening System Settings → Automation");
            self->m_environment.platform.workspace.openURL(permissions::automationSettingsURL());
        }
        reply();
    });
}

void MQHelperService::evaluateControlBarStateWithFrameRate(double, bool, Reply<void(std::int64_t)> reply)
{
    // The frame rate and drop-frame flag do not change the answer, so requests that
    // arrive together share one evaluation: a flood of them used to queue dozens of
    // window searches ahead of another client's.
    m_controlBarEvaluation.request([reply = std::move(reply)](const std::int64_t& state) mutable { reply(state); });
}

// The four monitor requests hold the service weakly: a service gone by then
// answers a start with false.

void MQHelperService::startTransportScrubObservingWithFrameRate(double frameRate, bool isDropFrame, std::string shmPath,
    Reply<void(bool)> reply)
{
    m_environment.mainQueue.async(
        [weak = weak_from_this(), frameRate, isDropFrame, shmPath = std::move(shmPath), reply = std::move(reply)]() mutable {
            auto self = weak.lock();
            if (!self) {
                reply(false);
                return;
            }
            // The answer comes once the first search for the display has ended.
            self->transportReader().start(frameRate, isDropFrame, shmPath,
                [reply = std::move(reply)](bool found) mutable { reply(found); });
        });
}

void MQHelperService::stopTransportScrubObservingForShmPath(std::string shmPath, Reply<void()> reply)
{
    m_environment.mainQueue.async([weak = weak_from_this(), shmPath = std::move(shmPath), reply = std::move(reply)]() mutable {
        if (auto self = weak.lock())
            self->transportReader().stop(shmPath);
        reply();
    });
}

void MQHelperService::startProjectCloseWatchForShmPath(std::string shmPath, Reply<void(bool)> reply)
{
    m_environment.mainQueue.async([weak = weak_from_this(), shmPath = std::move(shmPath), reply = std::move(reply)]() mutable {
        auto self = weak.lock();
        if (!self) {
            reply(false);
            return;
        }
        // False when the file could not be opened or mapped: the client would
        // otherwise wait for a flag that is never written. The answer comes once
        // the project has been bound.
        self->projectCloseWatcher().start(shmPath, [reply = std::move(reply)](bool started) mutable { reply(started); });
    });
}

void MQHelperService::stopProjectCloseWatchForShmPath(std::string shmPath, Reply<void()> reply)
{
    m_environment.mainQueue.async([weak = weak_from_this(), shmPath = std::move(shmPath), reply = std::move(reply)]() mutable {
        if (auto self = weak.lock())
            self->projectCloseWatcher().stop(shmPath);
        reply();
    });
}

// Discipline 4: own queues.

void MQHelperService::bounceAwaitExportDialogsClosedWithReply(Reply<void(std::optional<std::string>, OptionalError)> reply)
{
    // The request returns at once; the wait and the reply run on the bounce
    // queue, so a second step 5 waits behind the first while the service goes on
    // with other requests. A wait whose client has closed its connection ends
    // without running, or as soon as it is noticed, so that no other client's
    // wait is held behind it.
    std::shared_ptr<const RequestOrigin> origin = reply.origin();
    std::uint64_t connection = origin ? origin->connectionNumber() : 0;
    if (!m_bounceWaitQueue.reserve(connection)) {
        reply(std::nullopt,
            logic::bounceError(kBounceExportDialogStillOpen,
                fmt::format("Too many waits for Logic's export dialog to close: at most {} at a time on one connection.",
                    kMaxBounceWaitsPerConnection)));
        return;
    }
    m_bounceWaitQueue.async(connection, [this, origin, reply = std::move(reply)]() mutable {
        auto clientLeft = [&origin] { return origin && origin->isClosed(); };
        if (clientLeft()) {
            m_log.info("bounce step 5: the client closed its connection before its wait ran; not waiting");
            reply(std::nullopt, std::nullopt);
            return;
        }
        std::unique_ptr<logic::OperationTrace> trace = m_journal.begin("bounce step 5");
        logic::TraceStep wait(trace.get(), "wait for the export dialogs to close", logic::StepKind::wait);
        wait.waitedFor("neither the save panel nor a new modal window of Logic's for 0.5 s, at most 1800 s");
        logic::ExportDialogsOutcome outcome
            = logic::awaitExportDialogsClosed(m_environment.platform, m_bounceBaselineWindows, m_bounceClock, clientLeft);
        if (outcome.error)
            wait.fail(logic::StepOutcome::timedOut, outcome.error->localizedDescription);
        else if (clientLeft())
            wait.found("the client closed its connection");
        else if (trace)
            wait.found("closed; the last file name shown: " + (outcome.lastName ? trace->nameText(*outcome.lastName) : std::string("none")));
        wait.end();
        m_journal.finish(std::move(trace), !outcome.error, outcome.error ? &*outcome.error : nullptr);
        reply(std::move(outcome.lastName), std::move(outcome.error));
    });
}

void MQHelperService::openLogicSynchronizationSettingsWithReply(Reply<void()> reply)
{
    // Opening the pane twice at once shows it no better than once: a flood of these
    // requests runs the action back to back at most, never dozens of interpreters
    // side by side, which starved every other client of the machine.
    m_synchronizationSettingsOpening.request([reply = std::move(reply)](bool) mutable { reply(); });
}

void MQHelperService::checkForUpdateWithReply(
    Reply<void(bool, std::optional<std::string>, std::optional<URL>, std::optional<Data>, OptionalError)> reply)
{
    // The two transfers run on the shared transfer engine's thread and the reply is
    // sent from the last completion; the connection's thread goes on at once. The
    // completion holds nothing of the service, so a service gone by then is no matter.
    maintenance::checkForUpdate(maintenance::TransferEngine::shared(), maintenance::loadUpdateCheckSettings(),
        kMaxReplyPayloadBytes, [reply = std::move(reply)](maintenance::UpdateCheckOutcome outcome) mutable {
            if (outcome) {
                maintenance::UpdateAvailable& update = outcome.value();
                reply(true, std::move(update.version), std::move(update.downloadURL), Data(std::move(update.releaseNotesHTML)),
                    std::nullopt);
            } else {
                reply(false, std::nullopt, std::nullopt, std::nullopt,
                    makeServiceError(kUpdateCheckErrorCode, std::move(outcome).error()));
            }
        });
}

void MQHelperService::recheckPermissionsBouncingWithReply(Reply<void()> reply)
{
    m_log.info("recheckPermissionsBouncing: replying then exiting for a clean relaunch");
    reply();
    // A fresh process sees the permissions granted since this one started.
    m_environment.mainQueue.after(std::chrono::milliseconds(100), [exitProcess = m_environment.exitForRelaunch] {
        if (exitProcess)
            exitProcess();
    });
}

} // namespace mq
