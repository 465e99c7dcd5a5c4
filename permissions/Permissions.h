// Permission status and prompts: what the system says of each permission without
// disturbing the user, asking for one when told to, starting the Automation target
// that must run for the system to answer, and opening the matching settings pane.
// Callable from the service's main-queue jobs and from a window on the main thread.
#pragma once

#include "permissions/PermissionKind.h"
#include "platform/Log.h"
#include "platform/Platform.h"
#include "marquee/URL.h"

#include <optional>
#include <string>
#include <string_view>

namespace mq::permissions {

/// How long a status check waits for System Events to start.
inline constexpr double kTargetStartTimeoutSeconds = 1.5;
/// How often ensureTargetRunning looks whether the target runs.
inline constexpr double kTargetStartPollSeconds = 0.05;

/// System Settings → Privacy & Security → Accessibility, as a URL made once, on first use.
const URL& accessibilitySettingsURL();
/// System Settings → Privacy & Security → Automation, as a URL made once, on first use.
const URL& automationSettingsURL();

class Permissions {
public:
    explicit Permissions(platform::Platform& platform);

    /// The Automation permission for `bundleIdentifier`: granted, denied (also for
    /// any unexpected answer, logged as an error), or undetermined (never asked, or
    /// the target is not running). With `askUserIfNeeded` the system prompts when
    /// the user was never asked, and this blocks until the prompt is answered.
    /// Starts System Events quietly first when it is the target.
    PermissionStatus automationStatus(const std::string& bundleIdentifier, bool askUserIfNeeded);

    /// Starts the application `bundleIdentifier` without bringing it to the front
    /// when it does not run, and waits (polling) until it runs or `timeoutSeconds`
    /// pass. Failures are logged; the caller goes on regardless.
    void ensureTargetRunning(const std::string& bundleIdentifier, double timeoutSeconds);

    /// Asks the system for `kind`, showing its consent prompt where one is due, and
    /// returns what it says afterwards.
    PermissionStatus requestPermission(PermissionKind kind);

    /// What the system says of `kind` now, without any prompt.
    PermissionStatus status(PermissionKind kind);

    /// Whether this process may use accessibility (no prompt).
    bool isAccessibilityTrusted();

    /// The bundle identifier whose Automation `kind` is about: the running Logic
    /// Pro's (else "com.apple.logic10"), "com.apple.systemevents", or nothing for
    /// accessibility.
    [[nodiscard]] std::optional<std::string> targetBundleIdentifier(PermissionKind kind);

    /// Opens the System Settings pane where the user grants `kind` (the Automation
    /// pane for both Automation kinds). False when the workspace could not open it.
    bool openSettingsPane(PermissionKind kind);

private:
    platform::Platform& m_platform;
    log::Logger m_log { "helper.permissions" };
};

} // namespace mq::permissions
