// Reads for callers that treat every failure as "no value".
#pragma once

#include "ax/AXError.h"
#include "ax/UIElement.h"

#include <optional>

namespace mq::ax {

/// The attribute's value, or nothing when the element has none or the read
/// throws (Logic gone, a time-out, an element that no longer exists).
template<typename T>
std::optional<T> readOrNothing(const UIElement& element, Attribute attribute)
{
    try {
        return element.attribute<T>(attribute);
    } catch (const AXError&) {
        return std::nullopt;
    }
}

} // namespace mq::ax
