// The result of every accessibility call: a value, or the AXError status that the
// platform answered instead. Codes that mean "the element has no such value" are
// not failures: those reads give a success holding an empty optional, so callers
// can tell "absent" from "failed".
#pragma once

#include "ax/AXError.h"
#include "platform/Accessibility.h"
#include "marquee/Expected.h"

namespace mq::ax {

template<typename T>
using Result = Expected<T, AXError>;

/// `code` as a failure.
inline Unexpected<AXError> failure(platform::AXErrorCode code)
{
    return unexpected(AXError(code));
}

/// Success for status 0, else the code as a failure.
inline Result<void> resultOf(platform::AXErrorCode code)
{
    if (code != platform::axerror::success)
        return failure(code);
    return {};
}

} // namespace mq::ax
