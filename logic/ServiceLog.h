// The log category of the service's operations.
#pragma once

#include "platform/Log.h"

namespace mq::logic {

/// The "helper.service" logger.
const log::Logger& serviceLog();

} // namespace mq::logic
