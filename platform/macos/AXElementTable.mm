#include "platform/macos/AXElementTable.h"

#include "platform/macos/ProcessState.h"

namespace mq::platform::macos {

namespace {
/// Entries without a process (pid 0: its pid could not be read) go as well.
bool entryHasEnded(pid_type pid)
{
    return pid <= 0 || processHasEnded(pid);
}
} // namespace

AXUIElementRef AXElementTable::applicationHandleLocked(pid_type pid)
{
    auto found = m_applications.find(pid);
    if (found == m_applications.end())
        found = m_applications.emplace(pid, CFHolder<AXUIElementRef>(AXUIElementCreateApplication(pid))).first;
    return found->second.get();
}

CFHolder<AXUIElementRef> AXElementTable::resolve(const AXElementRef& element)
{
    std::lock_guard lock(m_mutex);
    if (element.isSystemWide) {
        if (!m_systemWide)
            m_systemWide = CFHolder<AXUIElementRef>(AXUIElementCreateSystemWide());
        return CFHolder<AXUIElementRef>::retained(m_systemWide.get());
    }
    if (element.token == 0)
        return element.pid > 0 ? CFHolder<AXUIElementRef>::retained(applicationHandleLocked(element.pid)) : CFHolder<AXUIElementRef>();
    auto found = m_byToken.find(element.token);
    if (found == m_byToken.end() || found->second.pid != element.pid)
        return {};
    return CFHolder<AXUIElementRef>::retained(found->second.handle.get());
}

AXElementRef AXElementTable::intern(AXUIElementRef handle)
{
    pid_t pid = 0;
    if (AXUIElementGetPid(handle, &pid) != kAXErrorSuccess)
        pid = 0;

    std::lock_guard lock(m_mutex);
    if (m_systemWide && CFEqual(handle, m_systemWide.get()))
        return AXElementRef { 0, 0, true };
    if (pid > 0 && CFEqual(handle, applicationHandleLocked(pid)))
        return AXElementRef { pid, 0, false };

    CFHashCode hash = CFHash(handle);
    auto [first, last] = m_byHash.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        const Entry& entry = m_byToken.at(it->second);
        if (CFEqual(handle, entry.handle.get()))
            return AXElementRef { entry.pid, it->second, false };
    }

    if (m_byToken.size() >= kPruneThreshold)
        dropEndedProcessesLocked();
    std::uint64_t token = m_nextToken++;
    m_byToken.emplace(token, Entry { CFHolder<AXUIElementRef>::retained(handle), pid });
    m_byHash.emplace(hash, token);
    return AXElementRef { pid, token, false };
}

AXElementRef AXElementTable::application(pid_type pid)
{
    std::lock_guard lock(m_mutex);
    applicationHandleLocked(pid);
    return AXElementRef { pid, 0, false };
}

AXElementRef AXElementTable::systemWide()
{
    std::lock_guard lock(m_mutex);
    if (!m_systemWide)
        m_systemWide = CFHolder<AXUIElementRef>(AXUIElementCreateSystemWide());
    return AXElementRef { 0, 0, true };
}

void AXElementTable::dropEndedProcessesLocked()
{
    std::vector<pid_type> ended;
    for (auto& [pid, handle] : m_applications)
        if (entryHasEnded(pid))
            ended.push_back(pid);
    for (pid_type pid : ended)
        m_applications.erase(pid);
    for (auto it = m_byHash.begin(); it != m_byHash.end();) {
        auto entry = m_byToken.find(it->second);
        if (entryHasEnded(entry->second.pid)) {
            m_byToken.erase(entry);
            it = m_byHash.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace mq::platform::macos
