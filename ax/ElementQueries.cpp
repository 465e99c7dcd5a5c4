#include "ax/ElementQueries.h"

#include "ax/Value.h"

namespace mq::ax {

std::optional<std::vector<UIElement>> windowsOrNothing(const Application& application)
{
    Result<std::optional<std::vector<UIElement>>> read = application.windows();
    if (!read)
        return std::nullopt;
    return std::move(read).value();
}

std::vector<UIElement> windowsOrNone(const Application& application)
{
    return windowsOrNothing(application).value_or(std::vector<UIElement> {});
}

std::optional<std::string> stringOrNothing(const UIElement& element, Attribute attribute)
{
    return attributeOrNothing<std::string>(element, attribute);
}

std::vector<UIElement> childrenOrNone(const UIElement& element)
{
    return attributeOrNothing<std::vector<UIElement>>(element, Attribute::children).value_or(std::vector<UIElement> {});
}

bool hasRole(const UIElement& element, Role role)
{
    return stringOrNothing(element, Attribute::role) == rawValue(role);
}

namespace {

template<typename T>
std::optional<T> entryAs(const std::vector<Result<std::optional<Value>>>& entries, std::size_t index)
{
    if (index >= entries.size() || !entries[index] || !entries[index].value())
        return std::nullopt;
    return valueAs<T>(*entries[index].value());
}

} // namespace

ElementSummary summaryOrNothing(const UIElement& element)
{
    Result<std::vector<Result<std::optional<Value>>>> read
        = element.multipleAttributeEntries({ Attribute::role, Attribute::children, Attribute::position, Attribute::description });
    if (!read)
        return {};
    const auto& entries = read.value();
    return ElementSummary {
        entryAs<std::string>(entries, 0),
        entryAs<std::vector<UIElement>>(entries, 1).value_or(std::vector<UIElement> {}),
        entryAs<platform::CGPoint>(entries, 2),
        entryAs<std::string>(entries, 3),
    };
}

} // namespace mq::ax
