// Finding Logic's export save panel (the element whose AXIdentifier is
// "save-panel": a window of its own, or a child of one of Logic's windows) and
// reading the file name in it.
#pragma once

#include "ax/UIElement.h"
#include "platform/Platform.h"

#include <optional>
#include <string>

namespace mq::logic {

inline constexpr std::string_view kSavePanelIdentifier = "save-panel";
inline constexpr std::string_view kSaveAsNameFieldIdentifier = "saveAsNameTextField";

/// The first of Logic's windows, in order, whose AXIdentifier is "save-panel", or
/// else the first of its children with that identifier; nothing when no window
/// has one (or Logic is not reachable).
[[nodiscard]] std::optional<ax::UIElement> findExportSavePanel(platform::Platform& platform);

/// Looks for the panel every 0.1 s until it is found or `timeoutSeconds` have
/// passed; at the time-out, an error line with Logic's windows and nothing.
[[nodiscard]] std::optional<ax::UIElement> waitForExportSavePanel(platform::Platform& platform, double timeoutSeconds);

/// The AXValue text of the panel's first child whose AXIdentifier is
/// "saveAsNameTextField"; nothing when there is no such child or no text.
[[nodiscard]] std::optional<std::string> saveAsName(const ax::UIElement& panel);

} // namespace mq::logic
