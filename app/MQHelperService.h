// MQHelperService: the one object that executes every request of MQHelperXPCProtocol.
//
// The listener creates it once and exports it on every connection, so all clients
// share its state. Each request follows one execution discipline:
//   1. immediate: done on the delivering thread before the method returns;
//   2. main-queue hop: a job on the main run loop does the work and replies;
//   3. delivering thread: Logic-driving work runs to its end on the connection's
//      queue, blocking it, and replies from there;
//   4. own queue: bounceWaitQueue, the global user-initiated queue, or the update
//      check's completion.
// Every Reply is called exactly once on every path.
#pragma once

#include "app/BounceWaitQueue.h"
#include "app/CoalescedRun.h"
#include "app/ipc/server/MQHelperXPCInterface.h"
#include "logic/ColorsWindow.h"
#include "logic/BounceSteps.h"
#include "logic/LogicDriving.h"
#include "logic/OperationJournal.h"
#include "monitors/ProjectCloseWatcher.h"
#include "monitors/TransportReader.h"
#include "platform/CoreTypes.h"
#include "platform/Platform.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mq {

/// Where the service's work runs, what it drives, and how the process ends for a relaunch.
struct ServiceEnvironment {
    RunLoop& mainQueue;
    DispatchQueue& userInitiatedQueue;
    /// The desktop and Logic, through the platform seam (a scripted one in tests).
    platform::Platform& platform;
    /// Ends the process with status 0 once the replies already sent are written.
    std::function<void()> exitForRelaunch;
};

/// The longest pacing pause: a client's pacing of hours would otherwise hold
/// Logic (and every other client waiting for it) that long.
inline constexpr double kMaxPacingPauseSeconds = 10.0;


class MQHelperService : public MQHelperXPCProtocol, public std::enable_shared_from_this<MQHelperService> {
public:
    explicit MQHelperService(ServiceEnvironment environment);
    ~MQHelperService() override;

    using ColorsWindowAvoidRect = platform::CGRect;

    // Bounce workflow.
    void bounceGoToPositionWithTimecodeSeconds(double timecodeSeconds, bool stopTransport, double pacingSeconds,
        double frameRate, bool isDropFrame, Reply<void(bool, double, OptionalError)> reply) override;
    void bounceOpenMovieWithURL(URL movieURL, double pacingSeconds, Reply<void(bool, OptionalError)> reply) override;
    void bounceAlignMovieRegionWithPacingSeconds(double pacingSeconds, Reply<void(bool, OptionalError)> reply) override;
    void bounceOpenExportDialogWithPacingSeconds(double pacingSeconds, Reply<void(bool, OptionalError)> reply) override;
    void bounceAwaitExportDialogsClosedWithReply(Reply<void(std::optional<std::string>, OptionalError)> reply) override;

    // Markers, audio placement and the Colors window.
    void placeAudioFileWithURL(URL audioFileURL, double timecodeSeconds, std::string displayName, bool createNewTrack,
        std::string trackName, std::int64_t lpColorIndex, bool colorTrack, double pacingSeconds, double frameRate,
        bool isDropFrame, Reply<void(bool, double, OptionalError)> reply) override;
    void createLogicMarkerWithTimecodeSeconds(double timecodeSeconds, double durationSeconds, std::string displayName,
        std::int64_t lpColorIndex, double pacingSeconds, double frameRate, bool isDropFrame,
        Reply<void(bool, double, OptionalError)> reply) override;
    void setColorsWindowAvoidRectX(double x, double y, double width, double height, Reply<void()> reply) override;
    void closeColorsWindowWithReply(Reply<void()> reply) override;

    // Playhead and project queries.
    void readLogicProjectStartSMPTEWithFrameRate(double frameRate, bool isDropFrame,
        Reply<void(double, double, std::int64_t, bool, OptionalError)> reply) override;
    void readLogicPlayheadSMPTEWithFrameRate(double frameRate, bool isDropFrame, Reply<void(double, bool, OptionalError)> reply) override;
    void goToLogicPlayheadSMPTESeconds(double seconds, double frameRate, bool isDropFrame,
        Reply<void(double, double, bool, OptionalError)> reply) override;
    void currentLogicProjectURLWithReply(Reply<void(std::optional<URL>, OptionalError)> reply) override;

    // Stored actions and the control bar.
    void openLogicSynchronizationSettingsWithReply(Reply<void()> reply) override;
    void runActionWithCode(std::uint32_t code, Reply<void(bool)> reply) override;
    void evaluateControlBarStateWithFrameRate(double frameRate, bool isDropFrame, Reply<void(std::int64_t)> reply) override;

    // Maintenance.
    void checkForUpdateWithReply(
        Reply<void(bool, std::optional<std::string>, std::optional<URL>, std::optional<Data>, OptionalError)> reply) override;
    void fetchLatestCrashReportWithReply(Reply<void(std::optional<Data>, std::optional<std::string>)> reply) override;

    // Shared-memory monitors.
    void startTransportScrubObservingWithFrameRate(double frameRate, bool isDropFrame, std::string shmPath,
        Reply<void(bool)> reply) override;
    void stopTransportScrubObservingForShmPath(std::string shmPath, Reply<void()> reply) override;
    void startProjectCloseWatchForShmPath(std::string shmPath, Reply<void(bool)> reply) override;
    void stopProjectCloseWatchForShmPath(std::string shmPath, Reply<void()> reply) override;

    // Permissions.
    void permissionsStatusWithReply(Reply<void(bool, bool, bool, bool)> reply) override;
    void primeAutomationPromptsWithReply(Reply<void()> reply) override;
    void openAccessibilitySettingsWithReply(Reply<void()> reply) override;
    void openAutomationSettingsWithReply(Reply<void()> reply) override;
    void recheckPermissionsBouncingWithReply(Reply<void()> reply) override;

    /// The requests that store a value and reply, or hand their work to another
    /// queue (main queue, display-search queue, global queue): none blocks.
    bool returnsAtOnce(std::string_view selector) const override;

    /// The lazily created monitors (main thread only).
    TransportReader& transportReader();
    ProjectCloseWatcher& projectCloseWatcher();

    /// The control bar's position in seconds, read afresh (the one-shot display
    /// read). Callable from any thread: it goes through no monitor, so a
    /// Logic-driving request on a connection thread never races the main thread's
    /// lazy creation of the transport reader.
    [[nodiscard]] std::optional<double> controlBarSeconds(double frameRate) const;
    /// What the Logic-driving operations need, recording their stored actions,
    /// control-bar reads and pacing pauses as steps of `trace` (when not null).
    logic::LogicDriving logicDriving(logic::OperationTrace* trace = nullptr);

    /// The step timelines of the last Logic-driving operations.
    const logic::OperationJournal& operationJournal() const { return m_journal; }

    double operationPacingSeconds() const { return m_operationPacingSeconds.load(); }
    ColorsWindowAvoidRect colorWindowAvoidRectAppKit() const;

    /// The clock bounce step 5 measures its deadline and quiet time with; the
    /// steady clock unless a test sets another before the first step 5.
    void setBounceClock(logic::BounceClock clock) { m_bounceClock = std::move(clock); }

private:
    /// Stores the pacing value of a Logic-driving request before it logs its entry line.
    void storePacing(double pacingSeconds);
    /// pauseFor(`seconds`) as a step of `trace`: the pacing pause of an operation.
    static void pacingPauseStep(logic::OperationTrace* trace, double seconds);
    /// Runs stored action `code` as a step of `trace`; whether it ran.
    static bool runStoredActionStep(logic::OperationTrace* trace, std::uint32_t code);
    /// Runs stored action `code` for a client, recorded as operation `operation`.
    bool runStoredActionForClient(std::string_view operation, std::uint32_t code);
    /// Sleeps `seconds` when it is greater than 0, at most kMaxPacingPauseSeconds.
    static void pauseFor(double seconds);
    /// Logs `message` at error level under the operation's name and returns the error object.
    /// Runs a Logic-driving operation.
    /// Its steps, the wait for the Logic-driving lock first, are recorded in the
    /// operation journal.
    template<typename Operation>
    auto drive(std::string_view operation, Operation run) -> decltype(run(std::declval<logic::LogicDriving&>()));
    /// drive() for a request that carries a pacing value: stored again once Logic
    /// is ours, and its pauses sleep that value, so that a request neither pauses
    /// with the pacing of one that came while it ran nor with that of one that
    /// came while it waited for the lock.
    template<typename Operation>
    auto drivePaced(std::string_view operation, double pacingSeconds, Operation run)
        -> decltype(run(std::declval<logic::LogicDriving&>()));
    /// The one way a result becomes a reply whose last value is the error: the values
    /// that `success` makes of the result's value and no error, or `failureValues`
    /// and the result's error.
    template<typename T, typename... Values, typename Success, typename... FailureValues>
    static void replyWith(Reply<void(Values...)>& reply, ServiceResult<T> result, Success success, FailureValues... failureValues);

    ServiceEnvironment m_environment;

    // The fields below follow the service's state: its log, the two monitors, the
    // Colors window's avoid rectangle, the pacing value, the batch's Colors window
    // and marker track, and the bounce wait queue. The bounce bookkeeping arrives
    // with the operations that use it.
    log::Logger m_log { "helper.service" };
    logic::OperationJournal m_journal;
    /// Opens Logic's Synchronization settings on the global queue; requests that
    /// arrive while it runs share the next run.
    CoalescedRun<bool> m_synchronizationSettingsOpening;
    /// The control-bar state, evaluated on the display-search queue; requests that
    /// arrive while it runs share the next evaluation. Declared before that queue,
    /// which runs the evaluations still queued when it is destroyed.
    CoalescedRun<std::int64_t> m_controlBarEvaluation;
    /// Where the control-bar display is searched for and read (the transport
    /// reader's reads, the control-bar state): one thread at a time, off the main
    /// thread, so that neither a large window nor a Logic that does not answer
    /// holds the main queue. Its thread retires when idle. Declared before the
    /// reader, which posts to it, so that it outlives it.
    ConcurrentDispatchQueue m_displaySearchQueue { "com.quillmoor.marquee.helper.displaysearch", 1 };
    /// Where the project close watcher reads Logic's windows and the session, for
    /// the same reason; a queue of its own, so that its checks never delay a
    /// scrub tick's read.
    ConcurrentDispatchQueue m_projectWatchQueue { "com.quillmoor.marquee.helper.projectwatch", 1 };
    std::unique_ptr<TransportReader> m_transportReader;
    std::unique_ptr<ProjectCloseWatcher> m_projectCloseWatcher;
    // Written by one connection's request and read by the main thread's Colors
    // window work, so it is guarded, unlike the other fields that stay on one thread.
    mutable std::mutex m_avoidRectMutex;
    ColorsWindowAvoidRect m_colorWindowAvoidRectAppKit {};
    // Requests from different connections may store it concurrently.
    std::atomic<double> m_operationPacingSeconds { 0 };
    // The Colors window and marker-track bookkeeping of the current batch:
    // touched only by requests that hold the Logic-driving lock.
    logic::ColorsBatch m_colorsBatch;
    // Taken by bounce step 4 and read by step 5 on bounceWaitQueue.
    logic::BounceBaselineWindows m_bounceBaselineWindows;
    logic::BounceClock m_bounceClock { [] { return std::chrono::steady_clock::now(); } };
    // Declared last: destroyed first, so a step 5 still queued finishes while the
    // fields it reads are there.
    BounceWaitQueue m_bounceWaitQueue { "com.quillmoor.marquee.helper.bouncewait" };
};

} // namespace mq
