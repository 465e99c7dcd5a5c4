#include "monitors/ProjectCloseWatcher.h"

#include "ax/ElementQueries.h"
#include "logic/LogicApplication.h"
#include "marquee/URL.h"

#include <algorithm>
#include <array>
#include <variant>

namespace mq {

namespace {

struct SuspensionObserver {
    platform::NotificationCenterKind center;
    const char* name;
    SuspendReason reason;
    bool suspends;
};

constexpr std::array<SuspensionObserver, 8> kSuspensionObservers { {
    { platform::NotificationCenterKind::distributed, platform::notifications::screenIsLocked, SuspendReason::screenLocked, true },
    { platform::NotificationCenterKind::distributed, platform::notifications::screenIsUnlocked, SuspendReason::screenLocked, false },
    { platform::NotificationCenterKind::workspace, platform::notifications::screensDidSleep, SuspendReason::screensAsleep, true },
    { platform::NotificationCenterKind::workspace, platform::notifications::screensDidWake, SuspendReason::screensAsleep, false },
    { platform::NotificationCenterKind::workspace, platform::notifications::willSleep, SuspendReason::systemAsleep, true },
    { platform::NotificationCenterKind::workspace, platform::notifications::didWake, SuspendReason::systemAsleep, false },
    { platform::NotificationCenterKind::workspace, platform::notifications::sessionDidResignActive, SuspendReason::sessionInactive, true },
    { platform::NotificationCenterKind::workspace, platform::notifications::sessionDidBecomeActive, SuspendReason::sessionInactive, false },
} };

/// True only for an entry that is present and a boolean equal to `value`.
bool entryIs(const platform::CFDictionary& dictionary, std::string_view key, bool value)
{
    const platform::CFValue* entry = platform::lookup(dictionary, key);
    if (!entry)
        return false;
    const bool* flag = entry->get<bool>();
    return flag && *flag == value;
}

} // namespace

std::string_view rawValue(SuspendReason reason)
{
    switch (reason) {
    case SuspendReason::screenLocked:
        return "screenLocked";
    case SuspendReason::screensAsleep:
        return "screensAsleep";
    case SuspendReason::systemAsleep:
        return "systemAsleep";
    case SuspendReason::sessionInactive:
        return "sessionInactive";
    }
    return "unknown";
}

ProjectCloseWatcher::ProjectCloseWatcher(platform::Platform& platform, RunLoop& mainLoop, DispatchQueue* readQueue)
    : ProjectCloseWatcher(platform, mainLoop, Timing {}, readQueue)
{
}

ProjectCloseWatcher::ProjectCloseWatcher(platform::Platform& platform, RunLoop& mainLoop, Timing timing, DispatchQueue* readQueue)
    : m_platform(platform)
    , m_mainLoop(mainLoop)
    , m_timing(std::move(timing))
    , m_readQueue(readQueue)
{
    for (const SuspensionObserver& observer : kSuspensionObservers) {
        platform::NotificationToken token = m_platform.workspace.addObserver(observer.center, observer.name, m_mainLoop,
            [weak = std::weak_ptr(m_anchor), reason = observer.reason, suspends = observer.suspends] {
                auto anchor = weak.lock();
                if (!anchor)
                    return;
                if (suspends)
                    (*anchor)->suspend(reason);
                else
                    (*anchor)->resume(reason);
            });
        m_observerTokens.emplace_back(observer.center, token);
    }
}

ProjectCloseWatcher::~ProjectCloseWatcher()
{
    for (const auto& [center, token] : m_observerTokens)
        m_platform.workspace.removeObserver(token);
}

bool ProjectCloseWatcher::onMainThread(std::string_view operation) const
{
    if (m_mainLoop.isCurrent())
        return true;
    m_log.fault("watch {} called off the main thread; ignored", operation);
    return false;
}

const WatchTarget* ProjectCloseWatcher::target(const std::string& shmPath) const
{
    auto found = m_targets.find(shmPath);
    return found == m_targets.end() ? nullptr : &found->second;
}

std::optional<std::string> ProjectCloseWatcher::documentPath(const ax::UIElement& window)
{
    std::optional<std::string> document = ax::attributeOrNothing<std::string>(window, ax::Attribute::document);
    if (!document)
        return std::nullopt;
    if (std::optional<URL> url = URL::parse(*document); url && url->isFileURL())
        return url->standardizedPath();
    if (document->starts_with('/'))
        return URL::fileURLWithPath(*document).standardizedPath();
    return std::nullopt;
}

void ProjectCloseWatcher::resetStreaks()
{
    for (auto& [path, target] : m_targets)
        target.closedStreak = 0;
}

void ProjectCloseWatcher::suspend(SuspendReason reason)
{
    bool inserted = m_suspendReasons.insert(reason).second;
    ++m_judgingEpoch;
    resetStreaks();
    if (inserted)
        m_log.notice("watch suspended: {}", rawValue(reason));
}

void ProjectCloseWatcher::resume(SuspendReason reason)
{
    if (m_suspendReasons.erase(reason) == 0)
        return;
    ++m_judgingEpoch;
    resetStreaks();
    if (m_suspendReasons.empty()) {
        m_resumeNotBefore = m_timing.now() + kResumeGrace;
        m_log.notice("watch resuming after {} (grace {:f}s)", rawValue(reason), std::chrono::duration<double>(kResumeGrace).count());
    }
}

bool ProjectCloseWatcher::judgingAllowedNow() const
{
    return m_suspendReasons.empty() && m_timing.now() >= m_resumeNotBefore;
}

bool ProjectCloseWatcher::sessionForbidsJudging(platform::Platform& platform)
{
    std::optional<platform::CFDictionary> session = platform.desktop.sessionDictionary();
    if (!session)
        return false;
    return entryIs(*session, "CGSSessionScreenIsLocked", true) || entryIs(*session, "kCGSSessionOnConsoleKey", false);
}

bool ProjectCloseWatcher::mayJudge() const
{
    return judgingAllowedNow() && !sessionForbidsJudging(m_platform);
}

template<typename Reading>
void ProjectCloseWatcher::readLogic(UniqueFunction<Reading()> read, UniqueFunction<void(Reading)> apply)
{
    if (!m_readQueue) {
        apply(read());
        return;
    }
    m_readQueue->async([read = std::move(read), apply = std::move(apply), loop = &m_mainLoop, weak = std::weak_ptr(m_anchor)]() mutable {
        Reading reading = read();
        loop->async([reading = std::move(reading), apply = std::move(apply), weak]() mutable {
            if (weak.lock())
                apply(std::move(reading));
        });
    });
}

void ProjectCloseWatcher::dropFaultedTargets()
{
    bool dropped = false;
    for (auto it = m_targets.begin(); it != m_targets.end();) {
        if (!it->second.shm.faulted()) {
            ++it;
            continue;
        }
        m_log.error("watch: shared-memory file {} was cut short under its mapping; target dropped", it->first);
        it = m_targets.erase(it);
        dropped = true;
    }
    if (dropped && m_targets.empty()) {
        m_pollTimer.reset();
        m_log.info("watch stopped (no targets remain)");
    }
}

namespace {

/// Whether a window that Logic no longer lists still exists: a full-screen window
/// on another Space leaves AXWindows, a closed one is gone (-25202). Any other
/// failure leaves it standing: nothing says it closed.
bool stillExists(const ax::UIElement& window)
{
    ax::Result<std::optional<std::string>> role = window.attribute<std::string>(ax::Attribute::role);
    return role || role.error().code() != platform::axerror::invalidUIElement;
}

} // namespace

ProjectCloseWatcher::CheckReading ProjectCloseWatcher::readCheck(platform::Platform& platform,
    std::map<std::string, TargetSnapshot> targets)
{
    CheckReading reading;
    if (sessionForbidsJudging(platform)) {
        reading.sessionForbids = true;
        return reading;
    }
    std::optional<ax::Application> application = logic::logicApplicationElement(platform);
    if (!application)
        return reading;
    // A hidden Logic lists no windows; that says nothing about its projects.
    if (ax::attributeOrNothing<bool>(*application, ax::Attribute::hidden) == true)
        return reading;
    std::optional<std::vector<ax::UIElement>> windows = ax::windowsOrNothing(*application);
    if (!windows)
        return reading;
    reading.logicRead = true;

    for (const ax::UIElement& window : *windows)
        if (std::optional<std::string> path = documentPath(window))
            reading.openDocuments.emplace(*path, window);
    reading.hasMainWindow = ax::attributeOrNothing<ax::UIElement>(*application, ax::Attribute::mainWindow).has_value();

    for (auto& [shmPath, snapshot] : targets) {
        CheckReading::Target& target = reading.targets[shmPath];
        target.registration = snapshot.registration;
        target.windowPresent = snapshot.windowElement
            && (std::find(windows->begin(), windows->end(), *snapshot.windowElement) != windows->end()
                || stillExists(*snapshot.windowElement));
        if (target.windowPresent)
            target.windowPath = documentPath(*snapshot.windowElement);
    }
    return reading;
}

void ProjectCloseWatcher::check()
{
    ++m_checkCount;
    dropFaultedTargets();
    if (m_targets.empty() || m_readInFlight)
        return;
    if (!judgingAllowedNow()) {
        resetStreaks();
        return;
    }

    std::map<std::string, TargetSnapshot> snapshot;
    for (const auto& [shmPath, target] : m_targets)
        if (!target.flagged && !target.binding)
            snapshot.emplace(shmPath, TargetSnapshot { target.registration, target.windowElement });
    if (snapshot.empty())
        return;
    m_readInFlight = true;
    readLogic<CheckReading>([platform = &m_platform, snapshot = std::move(snapshot)]() mutable { return readCheck(*platform, std::move(snapshot)); },
        [this, epoch = m_judgingEpoch](CheckReading reading) {
            m_readInFlight = false;
            // A suspension or resumption while Logic was read has reset the streaks;
            // this reading is from before it and does not count.
            if (epoch != m_judgingEpoch || !judgingAllowedNow()) {
                resetStreaks();
                return;
            }
            applyCheck(std::move(reading));
        });
}

void ProjectCloseWatcher::applyCheck(CheckReading reading)
{
    if (reading.sessionForbids) {
        resetStreaks();
        return;
    }
    // Logic not running, or its windows unreadable: no target changes.
    if (!reading.logicRead)
        return;

    for (auto& [shmPath, observed] : reading.targets) {
        auto registered = m_targets.find(shmPath);
        // Stopped or started again while Logic was read: the reading is not about it.
        if (registered == m_targets.end() || registered->second.registration != observed.registration)
            continue;
        WatchTarget& target = registered->second;
        if (target.flagged || target.binding)
            continue;
        bool seenClosed = false;
        if (observed.windowPresent) {
            const std::optional<std::string>& path = observed.windowPath;
            if (path && path != target.projectPath) {
                m_log.info("project renamed (Save As) → {}", *path);
                target.projectPath = *path;
            }
            target.closedStreak = 0;
        } else if (target.projectPath) {
            auto shown = reading.openDocuments.find(*target.projectPath);
            if (shown != reading.openDocuments.end()) {
                target.windowElement = shown->second;
                target.closedStreak = 0;
            } else {
                seenClosed = true;
            }
        } else if (!reading.openDocuments.empty() || reading.hasMainWindow) {
            target.closedStreak = 0;
        } else {
            seenClosed = true;
        }

        if (seenClosed && ++target.closedStreak >= kClosedChecksToFlag) {
            target.shm.storeClosedFlag();
            target.flagged = true;
            // A store into a file cut short lands on a private page: the client
            // never sees it, so it is not reported as flagged.
            if (!target.shm.faulted())
                m_log.info("project closed → flagged {}", target.projectPath.value_or("<unsaved>"));
        }
    }
    dropFaultedTargets();
}

ProjectCloseWatcher::Binding ProjectCloseWatcher::readBinding(platform::Platform& platform)
{
    // The first of main window, focused window, then every window, that shows a
    // saved project.
    std::optional<ax::Application> application = logic::logicApplicationElement(platform);
    if (!application)
        return {};
    std::vector<ax::UIElement> candidates;
    for (ax::Attribute attribute : { ax::Attribute::mainWindow, ax::Attribute::focusedWindow })
        if (std::optional<ax::UIElement> window = ax::attributeOrNothing<ax::UIElement>(*application, attribute))
            candidates.push_back(*window);
    if (std::optional<std::vector<ax::UIElement>> windows = ax::windowsOrNothing(*application))
        candidates.insert(candidates.end(), windows->begin(), windows->end());
    for (const ax::UIElement& window : candidates)
        if (std::optional<std::string> path = documentPath(window))
            return Binding { window, std::move(path) };
    return {};
}

void ProjectCloseWatcher::start(const std::string& shmPath, UniqueFunction<void(bool)> done)
{
    if (!onMainThread("start")) {
        done(false);
        return;
    }

    if (!m_targets.contains(shmPath) && m_targets.size() >= kMaxTargets) {
        m_log.error("watch start refused: target limit {} reached", kMaxTargets);
        done(false);
        return;
    }

    auto opened = shm::WatchBlock::open(shmPath, shm::FaultPolicy::guarded);
    if (!opened) {
        const shm::MapFailure* failure = &opened.error();
        const char* stage = failure->stage == shm::MapFailure::Stage::open ? "open shm" : "mmap";
        if (failure->reason)
            m_log.error("{} failed errno {} ({})", stage, failure->error, failure->reason);
        else
            m_log.error("{} failed errno {}", stage, failure->error);
        // A previous watch of this path must not live on with a mapping of a file
        // that can no longer be opened: it is dropped.
        if (m_targets.erase(shmPath) > 0 && m_targets.empty())
            m_pollTimer.reset();
        done(false);
        return;
    }

    // The target is registered at once, so that a stop that comes before the
    // binding has been read finds it; checks leave it alone until then.
    std::uint64_t registration = m_nextRegistration++;
    m_targets.erase(shmPath); // A restart drops the old mapping and binding.
    WatchTarget target { std::move(opened.value()), std::nullopt, std::nullopt, 0, false };
    target.binding = true;
    target.registration = registration;
    m_targets.emplace(shmPath, std::move(target));

    if (!m_pollTimer) {
        m_pollTimer = std::make_unique<RepeatingTimer>(m_mainLoop, m_timing.checkInterval, [weak = std::weak_ptr(m_anchor)] {
            if (auto anchor = weak.lock())
                (*anchor)->check();
        });
    }

    readLogic<Binding>([platform = &m_platform] { return readBinding(*platform); },
        [this, shmPath, registration, done = std::move(done)](Binding binding) mutable {
            finishStart(shmPath, registration, std::move(binding));
            // The file was mapped: a stop or a restart that came in between does
            // not make this start a failure.
            done(true);
        });
}

void ProjectCloseWatcher::finishStart(const std::string& shmPath, std::uint64_t registration, Binding binding)
{
    auto registered = m_targets.find(shmPath);
    if (registered == m_targets.end() || registered->second.registration != registration)
        return;
    WatchTarget& target = registered->second;
    target.binding = false;
    target.windowElement = std::move(binding.window);
    target.projectPath = std::move(binding.path);
    if (target.windowElement && target.projectPath)
        m_log.info("watch start: project {}; {} target(s)", *target.projectPath, m_targets.size());
    else
        m_log.notice("watch start: no saved project front (unsaved/untitled) — using last-project rule; {} target(s)", m_targets.size());
}

void ProjectCloseWatcher::stop(const std::string& shmPath)
{
    if (!onMainThread("stop"))
        return;
    if (m_targets.erase(shmPath) == 0)
        return;
    if (!m_targets.empty()) {
        m_log.info("watch target removed; {} remain", m_targets.size());
        return;
    }
    m_pollTimer.reset();
    m_log.info("watch stopped (no targets remain)");
}

} // namespace mq
