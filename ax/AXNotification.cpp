// The raw strings of the notification names.
#include "ax/AXNotification.h"

#include "ax/detail/NameTable.h"

namespace mq::ax {

namespace {

const detail::NameTable<AXNotification, kAXNotificationCount>& notificationTable()
{
    static const detail::NameTable<AXNotification, kAXNotificationCount> table(
        { MQ_AX_NOTIFICATIONS(MQ_AX_IDENTIFIER) }, { { AXNotification::uiElementDestroyed, "AXUIElementDestroyed" } });
    return table;
}

} // namespace

std::string_view rawValue(AXNotification notification) { return notificationTable().rawValue(notification); }
std::string_view caseName(AXNotification notification) { return notificationTable().caseName(notification); }
std::optional<AXNotification> notificationFromRawValue(std::string_view raw) { return notificationTable().fromRawValue(raw); }
const std::array<AXNotification, kAXNotificationCount>& allNotifications()
{
    static const auto cases = detail::enumerateCases<AXNotification, kAXNotificationCount>();
    return cases;
}

} // namespace mq::ax
