// The values that cross the request channel, and their typed conversions.
//
// Every argument and reply value travels as one WireValue. Conversions back to
// C++ types are strict: a value of the wrong kind is a protocol violation, never
// a silent coercion (an integer is accepted where a double is expected).
#pragma once

#include "marquee/ServiceError.h"
#include "marquee/URL.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace mq {

using Data = std::vector<std::uint8_t>;

/// One encoded value. std::monostate is "nil" (an absent optional).
using WireValue = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, Data, URL, ServiceError>;

template<typename T>
struct WireTraits;

template<>
struct WireTraits<bool> {
    static constexpr const char* name = "BOOL";
    static WireValue encode(bool v) { return v; }
    [[nodiscard]] static bool decode(const WireValue& w, bool& out)
    {
        if (auto* v = std::get_if<bool>(&w))
            return out = *v, true;
        return false;
    }
};

template<>
struct WireTraits<double> {
    static constexpr const char* name = "double";
    static WireValue encode(double v) { return v; }
    [[nodiscard]] static bool decode(const WireValue& w, double& out)
    {
        if (auto* v = std::get_if<double>(&w))
            return out = *v, true;
        if (auto* v = std::get_if<std::int64_t>(&w))
            return out = static_cast<double>(*v), true;
        if (auto* v = std::get_if<std::uint64_t>(&w))
            return out = static_cast<double>(*v), true;
        return false;
    }
};

template<>
struct WireTraits<std::int64_t> {
    static constexpr const char* name = "int64";
    static WireValue encode(std::int64_t v) { return v; }
    [[nodiscard]] static bool decode(const WireValue& w, std::int64_t& out)
    {
        if (auto* v = std::get_if<std::int64_t>(&w))
            return out = *v, true;
        return false; // A uint64 beyond INT64_MAX does not fit.
    }
};

template<>
struct WireTraits<std::uint32_t> {
    static constexpr const char* name = "uint32";
    static WireValue encode(std::uint32_t v) { return static_cast<std::int64_t>(v); }
    [[nodiscard]] static bool decode(const WireValue& w, std::uint32_t& out)
    {
        auto* v = std::get_if<std::int64_t>(&w);
        if (!v || *v < 0 || *v > std::numeric_limits<std::uint32_t>::max())
            return false;
        out = static_cast<std::uint32_t>(*v);
        return true;
    }
};

template<>
struct WireTraits<std::string> {
    static constexpr const char* name = "string";
    static WireValue encode(std::string v) { return v; }
    [[nodiscard]] static bool decode(const WireValue& w, std::string& out)
    {
        if (auto* v = std::get_if<std::string>(&w))
            return out = *v, true;
        return false;
    }
};

template<>
struct WireTraits<Data> {
    static constexpr const char* name = "data";
    static WireValue encode(Data v) { return v; }
    [[nodiscard]] static bool decode(const WireValue& w, Data& out)
    {
        if (auto* v = std::get_if<Data>(&w))
            return out = *v, true;
        return false;
    }
};

template<>
struct WireTraits<URL> {
    static constexpr const char* name = "URL";
    static WireValue encode(URL v) { return v; }
    [[nodiscard]] static bool decode(const WireValue& w, URL& out)
    {
        if (auto* v = std::get_if<URL>(&w))
            return out = *v, true;
        return false;
    }
};

template<>
struct WireTraits<ServiceError> {
    static constexpr const char* name = "error";
    static WireValue encode(ServiceError v) { return v; }
    [[nodiscard]] static bool decode(const WireValue& w, ServiceError& out)
    {
        if (auto* v = std::get_if<ServiceError>(&w))
            return out = *v, true;
        return false;
    }
};

template<typename T>
struct WireTraits<std::optional<T>> {
    static constexpr const char* name = WireTraits<T>::name;
    static WireValue encode(std::optional<T> v)
    {
        if (!v)
            return std::monostate {};
        return WireTraits<T>::encode(std::move(*v));
    }
    [[nodiscard]] static bool decode(const WireValue& w, std::optional<T>& out)
    {
        if (std::holds_alternative<std::monostate>(w)) {
            out.reset();
            return true;
        }
        T value {};
        if (!WireTraits<T>::decode(w, value))
            return false;
        out = std::move(value);
        return true;
    }
};

} // namespace mq
