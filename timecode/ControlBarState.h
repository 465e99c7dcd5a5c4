// Whether Logic's control bar is set up so that the helper can read the position
// from its time display: the answer of the control-bar state request.
#pragma once

#include "ax/Application.h"
#include "ax/UIElement.h"

#include <cstdint>
#include <optional>

namespace mq::timecode {

/// The control-bar state that evaluateControlBarState answers.
namespace controlbarstate {
/// A display was found and its fourth field is a frame field.
inline constexpr std::int64_t readable = 0;
/// No display and no control bar in any of Logic's windows.
inline constexpr std::int64_t noControlBar = 1;
/// A control bar, but no time display (it shows something other than time).
inline constexpr std::int64_t noTimeDisplay = 2;
/// A display with fewer than 4 fields, or a fourth field of second fractions or samples.
inline constexpr std::int64_t notFrames = 3;
/// Logic is not reachable through accessibility.
inline constexpr std::int64_t logicNotReachable = 4;
} // namespace controlbarstate

/// Whether `element` is the control bar: its AXDescription, AXTitle or AXHelp (in
/// that order; reads that fail are skipped) matches the control-bar names.
bool isControlBarGroup(const ax::UIElement& element);

/// One of the controlbarstate values for `logic`, Logic's application element
/// (nothing when Logic is not reachable). Each window is searched from its first
/// child group that is the control bar, or from the window itself when it has none.
std::int64_t evaluateControlBarState(const std::optional<ax::Application>& logic);

} // namespace mq::timecode
