// The raw strings of the role names.
#include "ax/Role.h"

#include "ax/detail/NameTable.h"

namespace mq::ax {

namespace {

const detail::NameTable<Role, kRoleCount>& roleTable()
{
    static const detail::NameTable<Role, kRoleCount> table({ MQ_AX_ROLES(MQ_AX_IDENTIFIER) }, {});
    return table;
}

} // namespace

std::string_view rawValue(Role role) { return roleTable().rawValue(role); }
std::string_view caseName(Role role) { return roleTable().caseName(role); }
std::optional<Role> roleFromRawValue(std::string_view raw) { return roleTable().fromRawValue(raw); }
const std::array<Role, kRoleCount>& allRoles()
{
    static const auto cases = detail::enumerateCases<Role, kRoleCount>();
    return cases;
}

} // namespace mq::ax
