// Conversion between the platform's raw values and the layer's plain values.
#pragma once

#include "ax/Value.h"

namespace mq::ax {

/// Unpacking: an element handle becomes a new UIElement of `accessibility`; an
/// AXValue of type point, size, rect or range becomes a CGPoint, CGSize, CGRect or
/// CFRange; an AXValue holding an accessibility error becomes that AXError (a value,
/// not a failure); any other AXValue and every other object is passed on unchanged.
/// Lists and dictionaries are unpacked entry by entry.
Value unpack(platform::Accessibility& accessibility, const platform::CFValue& raw);

/// Packing, the reverse: a UIElement is written as its handle; a CFRange, CGPoint,
/// CGRect or CGSize is wrapped in an AXValue of the matching type; an AXError in an
/// AXValue holding it; anything else is passed as it is. Never fails.
platform::CFValue pack(const Value& value);

} // namespace mq::ax
