#include "logic/FailRequest.h"

#include "logic/ServiceLog.h"

namespace mq::logic {

Unexpected<ServiceError> failRequest(std::int64_t code, std::string message, std::string_view operation, CodeInLog codeInLog)
{
    if (codeInLog == CodeInLog::yes)
        serviceLog().error("{} failed ({}): {}", operation, code, message);
    else
        serviceLog().error("{} failed: {}", operation, message);
    return unexpected(makeServiceError(code, std::move(message)));
}

} // namespace mq::logic
