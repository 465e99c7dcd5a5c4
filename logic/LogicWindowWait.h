// Waiting for one of Logic's windows: the one wait that every dialog, panel and
// window wait of the helper is built on.
#pragma once

#include "ax/Application.h"
#include "ax/UIElement.h"

#include <functional>
#include <optional>

namespace mq::logic {

/// What a wait looks for: a window of Logic, given in Logic's window order.
using LogicWindowPredicate = std::function<bool(const ax::UIElement& window)>;

/// Looks at `logic`'s windows until one satisfies `predicate`, and returns the
/// first that does; nothing once `timeoutSeconds` have passed. The deadline is
/// tested before each look, so a time-out of 0 (or NaN, or a negative one) looks
/// at nothing. Unreadable windows count as none.
///
/// Between looks the wait sleeps `pollIntervalSeconds`, but wakes as soon as
/// Logic reports a new window or a change of its focused window (an observer
/// made before the first look, served on the calling thread), so that a window
/// is seen when it appears. Logic's notifications can be late or lost, so the
/// poll stays: a wait never depends on them alone. Logs nothing.
std::optional<ax::UIElement> waitForLogicWindow(const ax::Application& logic, const LogicWindowPredicate& predicate, double timeoutSeconds,
    double pollIntervalSeconds);

} // namespace mq::logic
