// The input-event facility of the platform seam: synthetic keyboard and mouse
// events posted to the HID event tap, and the mouse cursor.
#pragma once

#include "platform/CoreTypes.h"

#include <cstdint>
#include <string>

namespace mq::platform {

/// Virtual key codes the helper uses.
namespace keycode {
inline constexpr std::uint16_t ansiA = 0;
inline constexpr std::uint16_t returnKey = 36;
inline constexpr std::uint16_t tab = 48;
inline constexpr std::uint16_t escape = 53;
} // namespace keycode

/// Modifier flags (CGEventFlags bits).
namespace eventflags {
inline constexpr std::uint64_t shift = 1ull << 17;
inline constexpr std::uint64_t control = 1ull << 18;
inline constexpr std::uint64_t option = 1ull << 19;
inline constexpr std::uint64_t command = 1ull << 20;
} // namespace eventflags

struct KeyboardEvent {
    std::uint16_t virtualKey { 0 };
    bool keyDown { true };
    /// The event's Unicode string (UTF-16 code units); empty to use the key code alone.
    std::u16string unicodeString;
    std::uint64_t flags { 0 };
};

enum class MouseEventType { leftMouseDown, leftMouseUp, mouseMoved };

struct MouseEvent {
    MouseEventType type { MouseEventType::mouseMoved };
    /// Global display coordinates: origin at the top left of the main screen.
    CGPoint location;
    std::uint64_t flags { 0 };
};

class InputEvents {
public:
    virtual ~InputEvents() = default;
    /// CGEventPost to the HID event tap.
    virtual void postKeyboardEvent(const KeyboardEvent& event) = 0;
    virtual void postMouseEvent(const MouseEvent& event) = 0;
    /// The cursor's position, in global display coordinates.
    virtual CGPoint cursorPosition() = 0;
    /// Moves the cursor without generating a mouse event.
    virtual void warpCursor(CGPoint location) = 0;
};

} // namespace mq::platform
