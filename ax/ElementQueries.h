// Reads for callers that treat a failed read like an absent value: searches
// through Logic's interface, where any element may vanish or time out mid-way and
// the search simply goes on without it.
#pragma once

#include "ax/Role.h"
#include "ax/UIElement.h"

#include <optional>
#include <string>
#include <vector>

namespace mq::ax {

/// The attribute as a string; nothing when it is absent or the read fails.
std::optional<std::string> stringOrNothing(const UIElement& element, Attribute attribute);

/// The element's AXChildren; none when they are absent or the read fails.
std::vector<UIElement> childrenOrNone(const UIElement& element);

/// Whether the element's AXRole reads as `role`'s raw value.
bool hasRole(const UIElement& element, Role role);

} // namespace mq::ax
