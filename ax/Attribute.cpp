// The raw strings of the accessibility attribute names.
#include "ax/Attribute.h"

#include "ax/detail/NameTable.h"

namespace mq::ax {

namespace {

const detail::NameTable<Attribute, kAttributeCount>& attributeTable()
{
    static const detail::NameTable<Attribute, kAttributeCount> table(
        { MQ_AX_ATTRIBUTES(MQ_AX_IDENTIFIER) },
        { { Attribute::url, "AXURL" }, { Attribute::rtfForRangeParameterized, "AXRTFForRangeParameterized" } });
    return table;
}

} // namespace

std::string_view rawValue(Attribute attribute) { return attributeTable().rawValue(attribute); }
std::string_view caseName(Attribute attribute) { return attributeTable().caseName(attribute); }
std::optional<Attribute> attributeFromRawValue(std::string_view raw) { return attributeTable().fromRawValue(raw); }
const std::array<Attribute, kAttributeCount>& allAttributes()
{
    static const auto cases = detail::enumerateCases<Attribute, kAttributeCount>();
    return cases;
}

} // namespace mq::ax
