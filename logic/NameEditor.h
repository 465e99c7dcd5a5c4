// Typing a name into the name field that Logic opens in place for a new marker
// or a track. The field takes keys only once it has the keyboard focus; keys
// sent before that are key commands of Logic's main window.
#pragma once

#include "marquee/Expected.h"
#include "platform/Platform.h"

#include <functional>
#include <string>

namespace mq::logic {

class OperationTrace;

/// How long a name field may take to get the focus after the action that opens it.
inline constexpr double kNameEditorTimeoutSeconds = 2.0;

/// Waits (at most kNameEditorTimeoutSeconds) for a text field of Logic to have
/// the keyboard focus, asks the input guard, and runs `send`. Why not when the
/// guard refuses (nothing is sent); an empty text when `send` failed. The wait
/// and the guard are steps of `trace` (which may be null).
Expected<void, std::string> typeIntoNameEditor(platform::Platform& platform, OperationTrace* trace, const std::function<bool()>& send);

} // namespace mq::logic
