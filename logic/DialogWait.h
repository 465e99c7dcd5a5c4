// Waiting for the modal dialog that an operation has just asked Logic to open.
#pragma once

#include "ax/UIElement.h"
#include "platform/Platform.h"

#include <optional>
#include <string>
#include <string_view>

namespace mq::logic {

/// The time-out and poll interval that every dialog wait of the helper uses.
inline constexpr double kDialogWaitTimeoutSeconds = 2.0;
inline constexpr double kDialogWaitPollIntervalSeconds = 0.05;

/// Whether `window` reads AXModal true; a window whose read fails is not.
bool isModalWindow(const ax::UIElement& window);

/// Polls Logic's windows until one reads AXModal true, and returns it: whichever
/// modal window Logic shows first (a dialog, a sheet or an alert). Windows are
/// looked at in Logic's order; a window without AXModal, or whose read fails, is
/// skipped. The deadline is tested before each look, so a time-out of 0 looks at
/// nothing. Blocks the calling thread for at most about `timeoutSeconds`.
///
/// Logs at error level, with `label`, when Logic is not reachable (at once) and
/// when the time runs out (with logicWindowsSnapshot). When it answers nothing,
/// `seenInstead` (when given) says what Logic showed: that snapshot, or that
/// Logic was not reachable.
std::optional<ax::UIElement> waitForLogicModalDialog(platform::Platform& platform, std::string_view label,
    double timeoutSeconds = kDialogWaitTimeoutSeconds, double pollIntervalSeconds = kDialogWaitPollIntervalSeconds,
    std::string* seenInstead = nullptr);

} // namespace mq::logic
