// The error object that failed requests reply with, and the result type of the
// operations that produce one. It sits below the Logic operations and the request
// protocol alike, so that neither has to link the other.
#pragma once

#include "marquee/Expected.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mq {

inline constexpr std::string_view kServiceErrorDomain = "com.quillmoor.marquee.helper";

/// A domain, an operation-specific code and the human-readable message
/// (the localized description).
struct ServiceError {
    std::string domain;
    std::int64_t code { 0 };
    std::string localizedDescription;

    friend bool operator==(const ServiceError&, const ServiceError&) = default;
};

/// An error of the helper's own domain.
inline ServiceError makeServiceError(std::int64_t code, std::string message)
{
    return ServiceError { std::string(kServiceErrorDomain), code, std::move(message) };
}

/// What an operation that replies to a client produces: its value, or the error
/// object of its failure reply.
template<typename T>
using ServiceResult = Expected<T, ServiceError>;

} // namespace mq
