#include "platform/macos/MacInputEvents.h"

#include "platform/macos/CFHolder.h"

#include <ApplicationServices/ApplicationServices.h>

namespace mq::platform::macos {

namespace {

// Events carry the state of the hardware keyboard, as a user's own would; their
// flags are then set explicitly so that a held modifier cannot leak into them.
CFHolder<CGEventSourceRef> hidSource()
{
    return CFHolder<CGEventSourceRef>(CGEventSourceCreate(kCGEventSourceStateHIDSystemState));
}

CGEventType toEventType(MouseEventType type)
{
    switch (type) {
    case MouseEventType::leftMouseDown:
        return kCGEventLeftMouseDown;
    case MouseEventType::leftMouseUp:
        return kCGEventLeftMouseUp;
    case MouseEventType::mouseMoved:
        return kCGEventMouseMoved;
    }
    return kCGEventMouseMoved;
}

} // namespace

void MacInputEvents::postKeyboardEvent(const KeyboardEvent& event)
{
    auto source = hidSource();
    CFHolder<CGEventRef> key(CGEventCreateKeyboardEvent(source.get(), static_cast<CGKeyCode>(event.virtualKey), event.keyDown));
    if (!key)
        return;
    if (!event.unicodeString.empty())
        CGEventKeyboardSetUnicodeString(key.get(), static_cast<UniCharCount>(event.unicodeString.size()),
            reinterpret_cast<const UniChar*>(event.unicodeString.data()));
    CGEventSetFlags(key.get(), static_cast<CGEventFlags>(event.flags));
    CGEventPost(kCGHIDEventTap, key.get());
}

void MacInputEvents::postMouseEvent(const MouseEvent& event)
{
    auto source = hidSource();
    ::CGPoint at = CGPointMake(event.location.x, event.location.y);
    CFHolder<CGEventRef> mouse(CGEventCreateMouseEvent(source.get(), toEventType(event.type), at, kCGMouseButtonLeft));
    if (!mouse)
        return;
    CGEventSetFlags(mouse.get(), static_cast<CGEventFlags>(event.flags));
    CGEventPost(kCGHIDEventTap, mouse.get());
}

CGPoint MacInputEvents::cursorPosition()
{
    // An event made without a source carries the cursor's current location.
    CFHolder<CGEventRef> probe(CGEventCreate(nullptr));
    if (!probe)
        return {};
    ::CGPoint location = CGEventGetLocation(probe.get());
    return CGPoint { location.x, location.y };
}

void MacInputEvents::warpCursor(CGPoint location)
{
    CGWarpMouseCursorPosition(CGPointMake(location.x, location.y));
}

} // namespace mq::platform::macos
