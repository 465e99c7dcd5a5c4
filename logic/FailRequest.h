// The one failure path of the requests: log the message under the operation's
// name, then build the error object that the failure reply carries.
#pragma once

#include "marquee/Expected.h"
#include "marquee/ServiceError.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mq::logic {

/// Whether the log line shows the code: "<operation> failed: <message>", or
/// "<operation> failed (<code>): <message>" (the bounce steps).
enum class CodeInLog : bool { no, yes };

/// Logs the failure at error level under "helper.service" and answers the error
/// (code and message) that the service turns into the request's failure reply.
[[nodiscard]] Unexpected<ServiceError> failRequest(std::int64_t code, std::string message, std::string_view operation,
    CodeInLog codeInLog = CodeInLog::no);

} // namespace mq::logic
