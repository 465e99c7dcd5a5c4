// Typing into Logic's dialogs and confirming them.
#pragma once

#include "ax/UIElement.h"
#include "platform/Platform.h"

#include <functional>
#include <string_view>

namespace mq::logic {

/// Presses the dialog's AXDefaultButton. When there is none, or reading or
/// pressing it fails, logs the fallback at error level and types Return instead
/// (key down, 2 ms, key up). Returns true either way.
bool pressDefaultButton(platform::Platform& platform, const ax::UIElement& dialog);

/// The pause after each key-down and each key-up that typeTextWithKeyEvents posts.
inline constexpr double kTypingPauseSeconds = 0.003;

/// Types `text` (UTF-8) into whatever has the keyboard focus, one Unicode scalar
/// at a time: a key-down and a key-up event with virtual key 0 carrying the scalar
/// as their Unicode string, 3 ms after each. Independent of the keyboard layout.
/// A malformed UTF-8 sequence is typed as U+FFFD.
void typeTextWithKeyEvents(platform::Platform& platform, std::string_view text);

/// The same, asking `mayType` before each scalar's key-down and stopping, with
/// nothing more posted, at the first false. Whether the whole text was typed.
bool typeTextWithKeyEvents(platform::Platform& platform, std::string_view text, const std::function<bool()>& mayType);

/// The Unicode scalars of `text` (UTF-8), with U+FFFD for each malformed sequence.
std::u32string decodeUTF8(std::string_view text);

} // namespace mq::logic
