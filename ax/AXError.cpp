#include "ax/AXError.h"

#include "platform/Accessibility.h"

#include <array>
#include <limits>
#include <utility>

namespace mq::ax {

namespace {

constexpr std::array<std::pair<platform::AXErrorCode, std::string_view>, 16> kNames { {
    { platform::axerror::success, "Success" },
    { platform::axerror::failure, "Failure" },
    { platform::axerror::illegalArgument, "IllegalArgument" },
    { platform::axerror::invalidUIElement, "InvalidUIElement" },
    { platform::axerror::invalidUIElementObserver, "InvalidUIElementObserver" },
    { platform::axerror::cannotComplete, "CannotComplete" },
    { platform::axerror::attributeUnsupported, "AttributeUnsupported" },
    { platform::axerror::actionUnsupported, "ActionUnsupported" },
    { platform::axerror::notificationUnsupported, "NotificationUnsupported" },
    { platform::axerror::notImplemented, "NotImplemented" },
    { platform::axerror::notificationAlreadyRegistered, "NotificationAlreadyRegistered" },
    { platform::axerror::notificationNotRegistered, "NotificationNotRegistered" },
    { platform::axerror::apiDisabled, "APIDisabled" },
    { platform::axerror::noValue, "NoValue" },
    { platform::axerror::parameterizedAttributeUnsupported, "ParameterizedAttributeUnsupported" },
    { platform::axerror::notEnoughPrecision, "NotEnoughPrecision" },
} };

} // namespace

std::optional<std::string_view> axErrorName(platform::AXErrorCode code)
{
    for (const auto& [known, name] : kNames)
        if (known == code)
            return name;
    return std::nullopt;
}

AXError::AXError(platform::AXErrorCode code)
    : m_code(code)
    , m_description("AXError." + std::string(axErrorName(code).value_or("<Unknown>")))
{
}

std::optional<std::string_view> AXError::name() const
{
    return axErrorName(m_code);
}

SystemError AXError::systemError() const
{
    return SystemError { std::string(kDomain), m_code };
}

std::optional<AXError> AXError::fromSystemError(const SystemError& error)
{
    if (error.domain != kDomain || error.code < std::numeric_limits<platform::AXErrorCode>::min()
        || error.code > std::numeric_limits<platform::AXErrorCode>::max())
        return std::nullopt;
    return AXError(static_cast<platform::AXErrorCode>(error.code));
}

} // namespace mq::ax
