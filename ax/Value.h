// Plain values as the accessibility layer hands them out (unpacked): element
// handles become UIElements, AXValues become CGPoint, CGSize, CGRect, CFRange or
// an AXError, and everything else stays as the platform gave it.
#pragma once

#include "ax/AXError.h"
#include "ax/UIElement.h"
#include "platform/CoreTypes.h"
#include "marquee/URL.h"

#include <cmath>
#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace mq::ax {

struct Value;
using ValueArray = std::vector<Value>;
/// String keys in the platform's order.
using ValueDictionary = std::vector<std::pair<std::string, Value>>;

struct Value {
    using Storage = std::variant<platform::CFNull, bool, std::int64_t, double, std::string, URL, UIElement, platform::CGPoint,
        platform::CGSize, platform::CGRect, platform::CFRange, AXError, platform::AXValueOpaque, ValueArray, ValueDictionary>;
    Storage storage;

    Value() = default;
    template<typename T, typename = std::enable_if_t<std::is_constructible_v<Storage, T&&> && !std::is_same_v<std::decay_t<T>, Value>>>
    Value(T&& value)
        : storage(std::forward<T>(value))
    {
    }
    Value(const char* text)
        : storage(std::string(text))
    {
    }
    Value(int number)
        : storage(static_cast<std::int64_t>(number))
    {
    }

    template<typename T>
    bool is() const { return std::holds_alternative<T>(storage); }
    template<typename T>
    const T* get() const { return std::get_if<T>(&storage); }

    friend bool operator==(const Value&, const Value&) = default;
};

/// How a Value converts to the type a caller expects, as a bridged cast would:
/// exact types convert to themselves; numbers convert between bool, integer and
/// double when the number is represented exactly (true is 1); a list converts to
/// std::vector<T> when every entry converts to T; Value converts to itself.
template<typename T>
struct ValueCast {
    static std::optional<T> from(const Value& value)
    {
        if (const T* exact = value.get<T>())
            return *exact;
        return std::nullopt;
    }
};

template<>
struct ValueCast<Value> {
    static std::optional<Value> from(const Value& value) { return value; }
};

template<>
struct ValueCast<bool> {
    static std::optional<bool> from(const Value& value)
    {
        if (const bool* flag = value.get<bool>())
            return *flag;
        if (const std::int64_t* number = value.get<std::int64_t>(); number && (*number == 0 || *number == 1))
            return *number == 1;
        if (const double* number = value.get<double>(); number && (*number == 0 || *number == 1))
            return *number == 1;
        return std::nullopt;
    }
};

template<>
struct ValueCast<std::int64_t> {
    static std::optional<std::int64_t> from(const Value& value)
    {
        if (const std::int64_t* number = value.get<std::int64_t>())
            return *number;
        if (const bool* flag = value.get<bool>())
            return *flag ? 1 : 0;
        if (const double* number = value.get<double>();
            number && std::isfinite(*number) && std::trunc(*number) == *number && std::fabs(*number) < 9.2e18)
            return static_cast<std::int64_t>(*number);
        return std::nullopt;
    }
};

template<>
struct ValueCast<double> {
    static std::optional<double> from(const Value& value)
    {
        if (const double* number = value.get<double>())
            return *number;
        if (const std::int64_t* number = value.get<std::int64_t>())
            return static_cast<double>(*number);
        if (const bool* flag = value.get<bool>())
            return *flag ? 1.0 : 0.0;
        return std::nullopt;
    }
};

template<typename T>
struct ValueCast<std::vector<T>> {
    static std::optional<std::vector<T>> from(const Value& value)
    {
        const ValueArray* array = value.get<ValueArray>();
        if (!array)
            return std::nullopt;
        std::vector<T> result;
        result.reserve(array->size());
        for (const Value& entry : *array) {
            std::optional<T> converted = ValueCast<T>::from(entry);
            if (!converted)
                return std::nullopt;
            result.push_back(std::move(*converted));
        }
        return result;
    }
};

/// `value` as a `T`, or nothing (see ValueCast).
template<typename T>
std::optional<T> valueAs(const Value& value)
{
    return ValueCast<T>::from(value);
}

// Typed reads of UIElement.

template<typename T>
Result<std::optional<T>> UIElement::attribute(Attribute attribute) const
{
    return this->attribute<T>(rawValue(attribute));
}

template<typename T>
Result<std::optional<T>> UIElement::attribute(std::string_view attribute) const
{
    std::optional<Value> value = MQ_TRY(attributeValue(attribute));
    if (!value)
        return std::optional<T> {};
    return valueAs<T>(*value);
}

template<std::same_as<Attribute>... Attributes>
Result<std::map<Attribute, Value>> UIElement::getMultipleAttributes(Attributes... attributes) const
{
    return getMultipleAttributes(std::vector<Attribute> { attributes... });
}

template<typename T>
Result<std::optional<std::vector<T>>> UIElement::arrayAttribute(Attribute attribute) const
{
    return arrayAttribute<T>(rawValue(attribute));
}

template<typename T>
Result<std::optional<std::vector<T>>> UIElement::arrayAttribute(std::string_view attribute) const
{
    std::optional<Value> value = MQ_TRY(attributeValue(attribute));
    if (!value)
        return std::optional<std::vector<T>> {};
    if (!value->template is<ValueArray>())
        return failure(platform::axerror::illegalArgument);
    return valueAs<std::vector<T>>(*value);
}

template<typename T>
Result<std::optional<std::vector<T>>> UIElement::valuesForAttribute(Attribute attribute, std::int64_t startAtIndex,
    std::int64_t maxValues) const
{
    return valuesForAttribute<T>(rawValue(attribute), startAtIndex, maxValues);
}

template<typename T>
Result<std::optional<std::vector<T>>> UIElement::valuesForAttribute(std::string_view attribute, std::int64_t startAtIndex,
    std::int64_t maxValues) const
{
    std::optional<std::vector<Value>> values = MQ_TRY(attributeValues(attribute, startAtIndex, maxValues));
    if (!values)
        return std::optional<std::vector<T>> {};
    return valueAs<std::vector<T>>(Value(std::move(*values)));
}

template<typename T>
Result<std::optional<T>> UIElement::parameterizedAttribute(Attribute attribute, const Value& param) const
{
    return parameterizedAttribute<T>(rawValue(attribute), param);
}

template<typename T>
Result<std::optional<T>> UIElement::parameterizedAttribute(std::string_view attribute, const Value& param) const
{
    std::optional<Value> value = MQ_TRY(parameterizedAttributeValue(attribute, param));
    if (!value)
        return std::optional<T> {};
    return valueAs<T>(*value);
}

} // namespace mq::ax
