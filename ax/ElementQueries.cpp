#include "ax/ElementQueries.h"

#include "ax/Value.h"

namespace mq::ax {

std::optional<std::string> stringOrNothing(const UIElement& element, Attribute attribute)
{
    return element.attribute<std::string>(attribute).valueOr(std::nullopt);
}

std::vector<UIElement> childrenOrNone(const UIElement& element)
{
    return element.attribute<std::vector<UIElement>>(Attribute::children).valueOr(std::nullopt).value_or(std::vector<UIElement> {});
}

bool hasRole(const UIElement& element, Role role)
{
    return stringOrNothing(element, Attribute::role) == rawValue(role);
}

} // namespace mq::ax
