// The raw strings of the action names.
#include "ax/Action.h"

#include "ax/detail/NameTable.h"

namespace mq::ax {

namespace {

const detail::NameTable<Action, kActionCount>& actionTable()
{
    static const detail::NameTable<Action, kActionCount> table({ MQ_AX_ACTIONS(MQ_AX_IDENTIFIER) }, {});
    return table;
}

} // namespace

std::string_view rawValue(Action action) { return actionTable().rawValue(action); }
std::string_view caseName(Action action) { return actionTable().caseName(action); }
std::optional<Action> actionFromRawValue(std::string_view raw) { return actionTable().fromRawValue(raw); }
const std::array<Action, kActionCount>& allActions()
{
    static const auto cases = detail::enumerateCases<Action, kActionCount>();
    return cases;
}

} // namespace mq::ax
