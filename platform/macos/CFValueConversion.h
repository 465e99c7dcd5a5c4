// The one place where Core Foundation values become the seam's CFValue and back.
//
// Reading: null, booleans, numbers, strings, URLs, accessibility elements,
// AXValues (point, size, rect, range, error), arrays and dictionaries with string
// keys. A value of any other type reads as null. Writing does the reverse and
// wraps geometry in an AXValue of the matching type.
#pragma once

#include "platform/CoreTypes.h"
#include "platform/macos/AXElementTable.h"
#include "platform/macos/CFHolder.h"

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

namespace mq::platform::macos {

CFValue fromCF(CFTypeRef value, AXElementTable& elements);
CFHolder<CFTypeRef> toCF(const CFValue& value, AXElementTable& elements);

/// A new CFString holding `text` (UTF-8); an invalid sequence gives an empty string.
CFHolder<CFStringRef> makeCFString(std::string_view text);
/// The UTF-8 bytes of `string`.
std::string toUTF8(CFStringRef string);

} // namespace mq::platform::macos
