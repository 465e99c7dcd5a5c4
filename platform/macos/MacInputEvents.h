// The input-event facility over Quartz event services: keyboard and mouse events
// posted to the HID event tap, the cursor's position and warping it.
#pragma once

#include "platform/InputEvents.h"

namespace mq::platform::macos {

class MacInputEvents final : public InputEvents {
public:
    void postKeyboardEvent(const KeyboardEvent& event) override;
    void postMouseEvent(const MouseEvent& event) override;
    CGPoint cursorPosition() override;
    void warpCursor(CGPoint location) override;
};

} // namespace mq::platform::macos
