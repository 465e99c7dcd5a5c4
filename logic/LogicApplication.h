// Finding Logic Pro among the running applications, and reaching its application
// element and windows through the accessibility layer.
//
// Every accessibility failure here reads as an absent value.
#pragma once

#include "ax/Application.h"
#include "platform/Platform.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::logic {

/// Logic's bundle identifiers, in the order they are tried.
inline constexpr std::array<std::string_view, 2> kLogicBundleIdentifiers { "com.apple.logic10", "com.apple.mobilelogic" };

/// The first running application with bundle identifier "com.apple.logic10"; when
/// there is none, the first with "com.apple.mobilelogic"; else nothing.
[[nodiscard]] std::optional<platform::RunningApplication> findLogicRunningApplication(platform::Platform& platform);

/// Logic's application element: the first application element for the bundle
/// identifier of findLogicRunningApplication (or "com.apple.logic10" when Logic is
/// not found). Nothing when Logic is not running, and nothing when this process is
/// not trusted for accessibility (Accessibility permission denied: every read of
/// Logic would fail with APIDisabled), checked without a prompt. Callers report
/// both with one message (docs/architecture.md, "Reaching Logic").
[[nodiscard]] std::optional<ax::Application> logicApplicationElement(platform::Platform& platform);

/// Logic's windows; empty when Logic is not reachable or its windows cannot be read.
std::vector<ax::UIElement> logicWindows(platform::Platform& platform);

/// Logic's windows as they can be read now: empty when Logic is not running (or
/// not reachable), nothing when Logic runs but its windows cannot be read (a busy
/// Logic answers late or with -25204), which a caller waiting for windows to
/// close must not take for "none".
[[nodiscard]] std::optional<std::vector<ax::UIElement>> readLogicWindows(platform::Platform& platform);

/// One line describing Logic's windows, for time-out log lines:
/// "count=2 | title=Song subrole=AXStandardWindow modal=false | title=? ...", with
/// "?" for a value that cannot be read; "snapshot-error: Logic not reachable via AX"
/// without an application element; "snapshot-error: cannot read windows" when the
/// windows cannot be read.
std::string logicWindowsSnapshot(platform::Platform& platform);

} // namespace mq::logic
