// The workspace facility of the platform seam: running applications, opening URLs,
// launching applications, and the workspace and distributed notifications.
#pragma once

#include "platform/CoreTypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mq {
class DispatchQueue;
}

namespace mq::platform {

/// NSApplicationActivationPolicy; the raw values are the platform's (accessory is 1).
enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

/// How an application is opened (NSWorkspaceOpenConfiguration).
struct OpenConfiguration {
    /// Bring it to the front once it runs.
    bool activates { true };
    /// List it among the recent items.
    bool addsToRecentItems { true };
    /// Start another instance even when one runs already.
    bool createsNewApplicationInstance { false };
};

/// One entry of the workspace's running applications (NSRunningApplication).
struct RunningApplication {
    std::optional<std::string> bundleIdentifier;
    pid_type pid { -1 };
    std::optional<std::string> localizedName;
    bool isTerminated { false };
    ActivationPolicy activationPolicy { ActivationPolicy::regular };
};

enum class NotificationCenterKind { workspace, distributed };

/// Workspace notification names used by the helper (the platform's string values).
namespace notifications {
inline constexpr const char* screensDidSleep = "NSWorkspaceScreensDidSleepNotification";
inline constexpr const char* screensDidWake = "NSWorkspaceScreensDidWakeNotification";
inline constexpr const char* willSleep = "NSWorkspaceWillSleepNotification";
inline constexpr const char* didWake = "NSWorkspaceDidWakeNotification";
inline constexpr const char* sessionDidResignActive = "NSWorkspaceSessionDidResignActiveNotification";
inline constexpr const char* sessionDidBecomeActive = "NSWorkspaceSessionDidBecomeActiveNotification";
inline constexpr const char* screenIsLocked = "com.apple.screenIsLocked";
inline constexpr const char* screenIsUnlocked = "com.apple.screenIsUnlocked";
} // namespace notifications

using NotificationToken = std::uint64_t;

class Workspace {
public:
    virtual ~Workspace() = default;

    /// Every running application, in the workspace's order.
    virtual std::vector<RunningApplication> runningApplications() = 0;

    /// Opens `url` with its default handler (System Settings panes, web pages).
    virtual bool openURL(const URL& url) = 0;

    /// The location of the application with `bundleIdentifier`, when installed.
    virtual std::optional<URL> urlForApplication(const std::string& bundleIdentifier) = 0;
    /// Launches (or activates) the application at `applicationURL`.
    virtual bool launchApplication(const URL& applicationURL) = 0;
    /// Opens the application at `applicationURL` as `configuration` says and returns
    /// without waiting for it to run (no completion handler); false when the request
    /// could not be made at all.
    virtual bool openApplication(const URL& applicationURL, const OpenConfiguration& configuration) = 0;

    // This process as an application (NSApp).
    /// Sets this process's activation policy; false when the platform refused it.
    virtual bool setActivationPolicy(ActivationPolicy policy) = 0;
    /// Brings this process to the front, ignoring other applications, so that the
    /// system's prompts on its behalf come to the front with it.
    virtual void activateIgnoringOtherApps() = 0;

    /// Calls `handler` on `queue` each time the notification `name` is posted to
    /// `center`. The observer stays until removeObserver.
    virtual NotificationToken addObserver(NotificationCenterKind center, const std::string& name, DispatchQueue& queue,
        std::function<void()> handler)
        = 0;
    virtual void removeObserver(NotificationToken token) = 0;
};

} // namespace mq::platform
