// Which saved project Logic has open: the file behind one of its windows.
#pragma once

#include "marquee/ServiceError.h"
#include "platform/Platform.h"
#include "marquee/ServiceErrorCodes.h"
#include "marquee/URL.h"


namespace mq::logic {


/// The file URL of the project open in Logic, from the AXDocument of Logic's main
/// window, focused window, then each of its windows in order: the first that is a
/// file URL or an absolute path. Fails with 60 "Logic Pro is not running or
/// Accessibility access is denied." or 61 "Logic Pro has no saved project open.".
/// Never waits or sleeps; logs on "helper.service".
ServiceResult<URL> currentLogicProjectURL(platform::Platform& platform);

} // namespace mq::logic
