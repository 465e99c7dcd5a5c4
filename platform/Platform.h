// Everything the helper asks of the operating system, behind one seam. Code above
// platform/ reaches the desktop only through these interfaces, so a macOS backend
// can stand where the logicsim client stands on Linux.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Desktop.h"
#include "platform/InputEvents.h"
#include "platform/Scripting.h"
#include "platform/Workspace.h"

namespace mq::platform {

/// The facilities, owned by whoever built them (main() for the helper, a test
/// fixture for component tests).
struct Platform {
    Accessibility& accessibility;
    InputEvents& input;
    Scripting& scripting;
    Workspace& workspace;
    Desktop& desktop;
};

} // namespace mq::platform
