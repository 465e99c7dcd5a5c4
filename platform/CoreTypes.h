// Plain values in the shape of the platform's Core Foundation and Core Graphics
// types, as they cross the platform seam: geometry, accessibility element handles,
// AXValues and the generic CFValue that attribute reads return.
#pragma once

#include "marquee/URL.h"

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace mq::platform {

using pid_type = std::int32_t;

/// The platform's accessibility status code (AXError's raw value).
using AXErrorCode = std::int32_t;

struct CGPoint {
    double x { 0 };
    double y { 0 };
    friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
    double width { 0 };
    double height { 0 };
    friend bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGRect {
    CGPoint origin;
    CGSize size;
    friend bool operator==(const CGRect&, const CGRect&) = default;
};

struct CFRange {
    std::int64_t location { 0 };
    std::int64_t length { 0 };
    friend bool operator==(const CFRange&, const CFRange&) = default;
};

/// An accessibility element handle (AXUIElementRef). Two handles for the same
/// interface element compare equal, like CFEqual on the platform. A default
/// handle refers to nothing.
struct AXElementRef {
    pid_type pid { 0 };
    std::uint64_t token { 0 }; // 0 is the application element of `pid`.
    bool isSystemWide { false };
    friend bool operator==(const AXElementRef&, const AXElementRef&) = default;
};

/// An AXValue: a boxed geometric value, or an accessibility error inside a
/// multiple-attribute result.
struct AXValueError {
    AXErrorCode code { 0 };
    friend bool operator==(const AXValueError&, const AXValueError&) = default;
};
/// An AXValue of a type the helper does not know ("illegal" type on the platform).
struct AXValueOpaque {
    std::int32_t type { 0 };
    friend bool operator==(const AXValueOpaque&, const AXValueOpaque&) = default;
};
using AXValue = std::variant<CGPoint, CGSize, CGRect, CFRange, AXValueError, AXValueOpaque>;

/// kCFNull: the placeholder in multiple-attribute results.
struct CFNull {
    friend bool operator==(const CFNull&, const CFNull&) = default;
};

struct CFValue;
using CFArray = std::vector<CFValue>;
/// A dictionary with string keys, in insertion order.
using CFDictionary = std::vector<std::pair<std::string, CFValue>>;

/// Any value an accessibility read can give: strings, numbers, booleans, URLs,
/// element handles, AXValues, arrays and dictionaries.
struct CFValue {
    using Storage = std::variant<CFNull, bool, std::int64_t, double, std::string, URL, AXElementRef, AXValue, CFArray, CFDictionary>;
    Storage storage;

    CFValue() = default;
    template<typename T, typename = std::enable_if_t<std::is_constructible_v<Storage, T&&> && !std::is_same_v<std::decay_t<T>, CFValue>>>
    CFValue(T&& value)
        : storage(std::forward<T>(value))
    {
    }
    CFValue(const char* text)
        : storage(std::string(text))
    {
    }
    CFValue(int value)
        : storage(static_cast<std::int64_t>(value))
    {
    }

    template<typename T>
    bool is() const { return std::holds_alternative<T>(storage); }
    template<typename T>
    const T* get() const { return std::get_if<T>(&storage); }

    friend bool operator==(const CFValue&, const CFValue&) = default;
};

/// The value stored under `key`, or nullptr.
inline const CFValue* lookup(const CFDictionary& dictionary, std::string_view key)
{
    for (const auto& [k, v] : dictionary)
        if (k == key)
            return &v;
    return nullptr;
}

} // namespace mq::platform
