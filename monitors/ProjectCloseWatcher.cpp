#include "monitors/ProjectCloseWatcher.h"

#include "ax/ReadOrNothing.h"

#include "logic/LogicApplication.h"
#include "platform/URL.h"

#include <algorithm>
#include <array>

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

ProjectCloseWatcher::ProjectCloseWatcher(platform::Platform& platform, RunLoop& mainLoop)
    : ProjectCloseWatcher(platform, mainLoop, Timing {})
{
}

ProjectCloseWatcher::ProjectCloseWatcher(platform::Platform& platform, RunLoop& mainLoop, Timing timing)
    : m_platform(platform)
    , m_mainLoop(mainLoop)
    , m_timing(std::move(timing))
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
    std::optional<std::string> document = ax::readOrNothing<std::string>(window, ax::Attribute::document);
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
    resetStreaks();
    if (inserted)
        m_log.notice("watch suspended: {}", rawValue(reason));
}

void ProjectCloseWatcher::resume(SuspendReason reason)
{
    if (m_suspendReasons.erase(reason) == 0)
        return;
    resetStreaks();
    if (m_suspendReasons.empty()) {
        m_resumeNotBefore = m_timing.now() + kResumeGrace;
        m_log.notice("watch resuming after {} (grace {:f}s)", rawValue(reason), std::chrono::duration<double>(kResumeGrace).count());
    }
}

bool ProjectCloseWatcher::mayJudge() const
{
    if (!m_suspendReasons.empty() || m_timing.now() < m_resumeNotBefore)
        return false;
    std::optional<platform::CFDictionary> session = m_platform.desktop.sessionDictionary();
    if (!session)
        return true;
    return !entryIs(*session, "CGSSessionScreenIsLocked", true) && !entryIs(*session, "kCGSSessionOnConsoleKey", false);
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

void ProjectCloseWatcher::check()
{
    dropFaultedTargets();
    if (m_targets.empty())
        return;
    if (!mayJudge()) {
        resetStreaks();
        return;
    }

    std::optional<ax::Application> application = logic::logicApplicationElement(m_platform);
    if (!application)
        return;
    std::optional<std::vector<ax::UIElement>> windows;
    try {
        windows = application->windows();
    } catch (const ax::AXError&) {
    }
    if (!windows)
        return;

    std::map<std::string, ax::UIElement> openDocuments;
    for (const ax::UIElement& window : *windows)
        if (std::optional<std::string> path = documentPath(window))
            openDocuments.emplace(*path, window);
    bool hasMainWindow = ax::readOrNothing<ax::UIElement>(*application, ax::Attribute::mainWindow).has_value();

    for (auto& [shmPath, target] : m_targets) {
        if (target.flagged)
            continue;
        bool seenClosed = false;
        if (target.windowElement && std::find(windows->begin(), windows->end(), *target.windowElement) != windows->end()) {
            std::optional<std::string> path = documentPath(*target.windowElement);
            if (path && path != target.projectPath) {
                m_log.info("project renamed (Save As) → {}", *path);
                target.projectPath = *path;
            }
            target.closedStreak = 0;
        } else if (target.projectPath) {
            auto shown = openDocuments.find(*target.projectPath);
            if (shown != openDocuments.end()) {
                target.windowElement = shown->second;
                target.closedStreak = 0;
            } else {
                seenClosed = true;
            }
        } else if (!openDocuments.empty() || hasMainWindow) {
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

bool ProjectCloseWatcher::start(const std::string& shmPath)
{
    if (!onMainThread("start"))
        return false;

    if (!m_targets.contains(shmPath) && m_targets.size() >= kMaxTargets) {
        m_log.error("watch start refused: target limit {} reached", kMaxTargets);
        return false;
    }

    std::variant<shm::WatchBlock, shm::MapFailure> opened = shm::WatchBlock::open(shmPath, shm::FaultPolicy::guarded);
    if (auto* failure = std::get_if<shm::MapFailure>(&opened)) {
        const char* stage = failure->stage == shm::MapFailure::Stage::open ? "open shm" : "mmap";
        if (failure->reason)
            m_log.error("{} failed errno {} ({})", stage, failure->error, failure->reason);
        else
            m_log.error("{} failed errno {}", stage, failure->error);
        // A previous watch of this path must not live on with a mapping of a file
        // that can no longer be opened: it is dropped.
        if (m_targets.erase(shmPath) > 0 && m_targets.empty())
            m_pollTimer.reset();
        return false;
    }

    // Binding: the first of main window, focused window, then every window, that
    // shows a saved project.
    std::optional<ax::UIElement> boundWindow;
    std::optional<std::string> boundPath;
    if (std::optional<ax::Application> application = logic::logicApplicationElement(m_platform)) {
        std::vector<ax::UIElement> candidates;
        for (ax::Attribute attribute : { ax::Attribute::mainWindow, ax::Attribute::focusedWindow })
            if (std::optional<ax::UIElement> window = ax::readOrNothing<ax::UIElement>(*application, attribute))
                candidates.push_back(*window);
        try {
            if (std::optional<std::vector<ax::UIElement>> windows = application->windows())
                candidates.insert(candidates.end(), windows->begin(), windows->end());
        } catch (const ax::AXError&) {
        }
        for (const ax::UIElement& window : candidates) {
            if (std::optional<std::string> path = documentPath(window)) {
                boundWindow = window;
                boundPath = std::move(path);
                break;
            }
        }
    }

    m_targets.erase(shmPath); // A restart drops the old mapping and binding.
    m_targets.emplace(shmPath, WatchTarget { std::move(std::get<shm::WatchBlock>(opened)), boundWindow, boundPath, 0, false });

    if (boundWindow && boundPath)
        m_log.info("watch start: project {}; {} target(s)", *boundPath, m_targets.size());
    else
        m_log.notice("watch start: no saved project front (unsaved/untitled) — using last-project rule; {} target(s)", m_targets.size());

    if (!m_pollTimer) {
        m_pollTimer = std::make_unique<RepeatingTimer>(m_mainLoop, m_timing.checkInterval, [weak = std::weak_ptr(m_anchor)] {
            if (auto anchor = weak.lock())
                (*anchor)->check();
        });
    }
    return true;
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
