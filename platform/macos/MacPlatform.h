// The whole seam over the macOS frameworks: what main() builds on a Mac where
// the Linux helper builds its logicsim client.
#pragma once

#include "platform/Platform.h"
#include "platform/macos/MacAccessibility.h"
#include "platform/macos/MacDesktop.h"
#include "platform/macos/MacInputEvents.h"
#include "platform/macos/MacScripting.h"
#include "platform/macos/MacWorkspace.h"

namespace mq::platform::macos {

class MacPlatform {
public:
    Platform platform() { return Platform { m_accessibility, m_input, m_scripting, m_workspace, m_desktop }; }

private:
    MacAccessibility m_accessibility;
    MacInputEvents m_input;
    MacScripting m_scripting;
    MacWorkspace m_workspace;
    MacDesktop m_desktop;
};

} // namespace mq::platform::macos
