// Flags in clients' shared-memory files when the watched Logic project is closed.
//
// A watch binds a file to the project that is in front when it starts, then checks
// twice a second through accessibility whether that project is still open. Seen
// closed on two consecutive checks, the project is flagged: the watch block's
// closed flag is set to 1. A project saved under a new name stays bound to its
// window; a new window showing the same file takes the binding over. Nothing is
// judged while the screen is locked, the screens or the system sleep, or the
// session is inactive, nor for a grace period after that. Everything runs on the
// main thread except the watcher's reads: given a read queue, every read of Logic
// and of the session (the binding at start, each check's windows and documents)
// runs there and its result is handed back to the main thread, so that a Logic
// that does not answer never holds the main queue. A check that finds the previous
// read still running is skipped.
#pragma once

#include "ax/UIElement.h"
#include "marquee/SharedMemoryBlock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mq {

/// Why judging is suspended.
enum class SuspendReason { screenLocked, screensAsleep, systemAsleep, sessionInactive };

/// "screenLocked", "screensAsleep", "systemAsleep", "sessionInactive".
std::string_view rawValue(SuspendReason reason);

/// One watched file.
struct WatchTarget {
    shm::WatchBlock shm;
    /// The Logic window bound to the project.
    std::optional<ax::UIElement> windowElement;
    /// Standardized path of the bound project; none when it had never been saved.
    std::optional<std::string> projectPath;
    /// Consecutive checks on which the project was seen closed.
    std::int64_t closedStreak { 0 };
    /// The close has been written; the target is no longer checked.
    bool flagged { false };
    /// Set until the binding at start has been read; a check skips the target meanwhile.
    bool binding { false };
    /// Tells this registration of the path from a later one.
    std::uint64_t registration { 0 };
};

class ProjectCloseWatcher {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::nanoseconds kCheckInterval { std::chrono::milliseconds(500) };
    static constexpr std::chrono::nanoseconds kResumeGrace { std::chrono::seconds(3) };
    /// Consecutive closed checks that flag a project.
    static constexpr std::int64_t kClosedChecksToFlag = 2;
    /// Watched paths at most; a start for one more new path is refused.
    static constexpr std::size_t kMaxTargets = 256;

    /// How the watcher keeps time. Tests give their own clock and a long interval
    /// when they drive check() by hand.
    struct Timing {
        std::chrono::nanoseconds checkInterval { kCheckInterval };
        std::function<Clock::time_point()> now { [] { return Clock::now(); } };
    };

    /// Registers the eight suspension observers on `mainLoop`; they stay until the
    /// watcher is destroyed. `readQueue` is where the reads of Logic and of the
    /// session run (a serial queue that outlives the watcher); without one they run
    /// on the main thread within the call, as tests that drive checks by hand want.
    ProjectCloseWatcher(platform::Platform& platform, RunLoop& mainLoop, DispatchQueue* readQueue = nullptr);
    ProjectCloseWatcher(platform::Platform& platform, RunLoop& mainLoop, Timing timing, DispatchQueue* readQueue = nullptr);
    ~ProjectCloseWatcher();
    ProjectCloseWatcher(const ProjectCloseWatcher&) = delete;
    ProjectCloseWatcher& operator=(const ProjectCloseWatcher&) = delete;

    /// Registers or re-registers `shmPath`, binds it to the front project and makes
    /// sure the checks run. `done` gets the answer on the main thread once the
    /// binding has been read (within the call without a read queue). False when the
    /// file could not be opened or mapped: the path is then not watched (and a
    /// previous watch of it is dropped). A restart never clears a flag already
    /// written. A new path beyond kMaxTargets answers false and changes nothing. A
    /// file cut short while mapped drops its target with an error line (the
    /// mappings are guarded against the fault).
    void start(const std::string& shmPath, UniqueFunction<void(bool)> done);
    /// Unregisters `shmPath`; silently nothing when it is not watched.
    void stop(const std::string& shmPath);

    /// One check, as the timer runs it. Skipped while the previous check's read runs.
    void check();
    void suspend(SuspendReason reason);
    void resume(SuspendReason reason);
    /// Whether a check may judge now: no suspension, past the grace time, and a
    /// session dictionary that does not say the screen is locked or the session
    /// is off the console. Reads the session dictionary on the calling thread.
    bool mayJudge() const;

    /// A window's project file: its AXDocument as a file URL's standardized path,
    /// or as an absolute path; nothing otherwise or when it cannot be read.
    [[nodiscard]] static std::optional<std::string> documentPath(const ax::UIElement& window);

    // State, for diagnostics and tests (main thread).
    bool isWatching() const { return m_pollTimer != nullptr; }
    std::size_t targetCount() const { return m_targets.size(); }
    const WatchTarget* target(const std::string& shmPath) const;
    const std::set<SuspendReason>& suspendReasons() const { return m_suspendReasons; }
    Clock::time_point resumeNotBefore() const { return m_resumeNotBefore; }
    /// Whether a read of Logic is running on the read queue.
    bool isReading() const { return m_readInFlight; }
    /// How many checks have begun, judged or not (timer ticks and direct calls).
    std::uint64_t checkCount() const { return m_checkCount; }

private:
    /// What the binding at start read: the first candidate window with a document path.
    struct Binding {
        std::optional<ax::UIElement> window;
        std::optional<std::string> path;
    };
    /// What a registered target looked like when its check was begun.
    struct TargetSnapshot {
        std::uint64_t registration;
        std::optional<ax::UIElement> windowElement;
    };
    /// What one check read of the session and of Logic.
    struct CheckReading {
        /// The session dictionary says the screen is locked or the session is off the console.
        bool sessionForbids { false };
        /// Logic's application element and its windows were read.
        bool logicRead { false };
        /// Document path to the window showing it.
        std::map<std::string, ax::UIElement> openDocuments;
        bool hasMainWindow { false };
        struct Target {
            std::uint64_t registration;
            /// The bound window is still among Logic's windows.
            bool windowPresent { false };
            /// That window's document path, read only when it is present.
            std::optional<std::string> windowPath;
        };
        std::map<std::string, Target> targets;
    };

    /// Runs `read` on the read queue (inline without one) and `apply` with its
    /// result on the main thread, unless the watcher is gone by then.
    template<typename Reading>
    void readLogic(UniqueFunction<Reading()> read, UniqueFunction<void(Reading)> apply);
    static Binding readBinding(platform::Platform& platform);
    static CheckReading readCheck(platform::Platform& platform, std::map<std::string, TargetSnapshot> targets);
    static bool sessionForbidsJudging(platform::Platform& platform);
    /// Judging allowed as far as the main thread's state goes: no suspension, past the grace time.
    bool judgingAllowedNow() const;
    void finishStart(const std::string& shmPath, std::uint64_t registration, Binding binding);
    void applyCheck(CheckReading reading);

    bool onMainThread(std::string_view operation) const;
    void resetStreaks();
    /// Unregisters the targets whose file was cut short under their mapping.
    void dropFaultedTargets();

    platform::Platform& m_platform;
    RunLoop& m_mainLoop;
    Timing m_timing;
    DispatchQueue* m_readQueue;
    bool m_readInFlight { false };
    std::uint64_t m_checkCount { 0 };
    /// Counts suspensions and resumptions: a check read before one does not judge.
    std::uint64_t m_judgingEpoch { 0 };
    std::uint64_t m_nextRegistration { 1 };
    /// Timer ticks and observers hold this weakly.
    std::shared_ptr<ProjectCloseWatcher*> m_anchor { std::make_shared<ProjectCloseWatcher*>(this) };

    log::Logger m_log { "helper.projectclose" };
    std::map<std::string, WatchTarget> m_targets;
    std::unique_ptr<RepeatingTimer> m_pollTimer;
    std::set<SuspendReason> m_suspendReasons;
    Clock::time_point m_resumeNotBefore { Clock::time_point::min() };
    std::vector<std::pair<platform::NotificationCenterKind, platform::NotificationToken>> m_observerTokens;
};

} // namespace mq
