// The accessibility layer's error: the platform's accessibility status code, with
// its name table, its text form and its bridged system-error form.
#pragma once

#include "platform/CoreTypes.h"

#include <optional>
#include <string>
#include <string_view>

namespace mq::ax {

/// A system error object, as an AXError bridges to one.
struct SystemError {
    std::string domain;
    std::int64_t code { 0 };
    friend bool operator==(const SystemError&, const SystemError&) = default;
};

/// An accessibility status code carried as an error. Operations of the layer fail
/// with it (ax::Result) for the codes that do not mean "no such value"; unpacked
/// values may also hold one (an accessibility error inside a multiple-attribute
/// result).
class AXError final {
public:
    /// The domain of the bridged system error.
    static constexpr std::string_view kDomain = "ApplicationServices.AXError";

    explicit AXError(platform::AXErrorCode code);

    platform::AXErrorCode code() const { return m_code; }

    /// "Success", "NoValue", ...; nothing for a code outside the platform's table.
    [[nodiscard]] std::optional<std::string_view> name() const;

    /// "AXError.NoValue"; "AXError.<Unknown>" for a code outside the table.
    const std::string& description() const { return m_description; }

    /// The error as a system error object: domain kDomain, the numeric code.
    SystemError systemError() const;
    /// The AXError that `error` bridges back to; nothing for another domain.
    [[nodiscard]] static std::optional<AXError> fromSystemError(const SystemError& error);

    friend bool operator==(const AXError& a, const AXError& b) { return a.m_code == b.m_code; }

private:
    platform::AXErrorCode m_code;
    std::string m_description;
};

/// The name of `code` in the platform's table ("IllegalArgument"), or nothing.
[[nodiscard]] std::optional<std::string_view> axErrorName(platform::AXErrorCode code);

} // namespace mq::ax
