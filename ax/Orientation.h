// The AXOrientation attribute's values.
#pragma once

#include <cstdint>
#include <optional>

namespace mq::ax {

enum class Orientation : std::int32_t {
    unknown = 0,
    vertical = 1,
    horizontal = 2,
};

/// The case for an integer raw value; nothing for any other integer.
constexpr std::optional<Orientation> orientationFromRawValue(std::int64_t raw)
{
    if (raw < 0 || raw > 2)
        return std::nullopt;
    return static_cast<Orientation>(raw);
}

constexpr std::int32_t rawValue(Orientation orientation) { return static_cast<std::int32_t>(orientation); }

} // namespace mq::ax
