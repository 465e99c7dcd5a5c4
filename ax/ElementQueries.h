// Reads for callers that treat a failed read like an absent value: searches
// through Logic's interface, where any element may vanish or time out mid-way and
// the search simply goes on without it.
#pragma once

#include "ax/Application.h"
#include "ax/Role.h"
#include "ax/UIElement.h"
#include "ax/Value.h"

#include <optional>
#include <string>
#include <vector>

namespace mq::ax {

/// The attribute read as `T`; nothing when it is absent or the read fails.
template<typename T>
std::optional<T> attributeOrNothing(const UIElement& element, Attribute attribute)
{
    Result<std::optional<T>> read = element.attribute<T>(attribute);
    if (!read)
        return std::nullopt;
    return std::move(read).value();
}

/// The list attribute read as by UIElement::arrayAttribute(); nothing when it is
/// absent or the read fails.
template<typename T>
std::optional<std::vector<T>> arrayOrNothing(const UIElement& element, Attribute attribute)
{
    Result<std::optional<std::vector<T>>> read = element.arrayAttribute<T>(attribute);
    if (!read)
        return std::nullopt;
    return std::move(read).value();
}

/// The application's AXWindows; nothing when they are absent or the read fails.
[[nodiscard]] std::optional<std::vector<UIElement>> windowsOrNothing(const Application& application);

/// The application's AXWindows; none when they are absent or the read fails.
std::vector<UIElement> windowsOrNone(const Application& application);

/// The attribute as a string; nothing when it is absent or the read fails.
[[nodiscard]] std::optional<std::string> stringOrNothing(const UIElement& element, Attribute attribute);

/// The element's AXChildren; none when they are absent or the read fails.
std::vector<UIElement> childrenOrNone(const UIElement& element);

/// Whether the element's AXRole reads as `role`'s raw value.
bool hasRole(const UIElement& element, Role role);

/// What a search through an element tree looks at, read in one multiple-attribute
/// call (one round trip to the application instead of four).
struct ElementSummary {
    std::optional<std::string> role;
    std::vector<UIElement> children;
    std::optional<platform::CGPoint> position;
    std::optional<std::string> description;
};

/// The element's AXRole, AXChildren, AXPosition and AXDescription in one call.
/// Each is nothing (no children) when absent, of another type or failed on its
/// own; all are when the call fails.
ElementSummary summaryOrNothing(const UIElement& element);

} // namespace mq::ax
