// The raw strings of the subrole names.
#include "ax/Subrole.h"

#include "ax/detail/NameTable.h"

namespace mq::ax {

namespace {

const detail::NameTable<Subrole, kSubroleCount>& subroleTable()
{
    static const detail::NameTable<Subrole, kSubroleCount> table(
        { MQ_AX_SUBROLES(MQ_AX_IDENTIFIER) }, { { Subrole::switchSubrole, "AXSwitch" } });
    return table;
}

} // namespace

std::string_view rawValue(Subrole subrole) { return subroleTable().rawValue(subrole); }
std::string_view caseName(Subrole subrole) { return subroleTable().caseName(subrole); }
std::optional<Subrole> subroleFromRawValue(std::string_view raw) { return subroleTable().fromRawValue(raw); }
const std::array<Subrole, kSubroleCount>& allSubroles()
{
    static const auto cases = detail::enumerateCases<Subrole, kSubroleCount>();
    return cases;
}

} // namespace mq::ax
