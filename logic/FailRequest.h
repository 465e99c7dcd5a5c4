// The one failure path of the marker and placement requests.
#pragma once

#include "marquee/Expected.h"
#include "marquee/ServiceError.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mq::logic {

/// Logs "`operation` failed: `message`" at error level and answers the error
/// (code and message) that the service turns into the request's failure reply
/// (false, NaN, the error).
Unexpected<ServiceError> failRequest(std::int64_t code, std::string message, std::string_view operation);

} // namespace mq::logic
