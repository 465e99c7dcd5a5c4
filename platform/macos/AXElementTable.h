// The accessibility element handles behind the seam's AXElementRef values.
//
// The seam passes elements as plain values ({pid, token}), so this table keeps
// the AXUIElementRef that each value stands for. Elements that are CFEqual get
// the same token, so two reads of the same interface element compare equal, as
// CFEqual does on the handles. An application's element (token 0) and the
// system-wide element are kept as one handle each, so that a messaging time-out
// set on them holds for every later call. Entries of processes that have ended
// are dropped when the table grows past a bound.
#pragma once

#include "platform/CoreTypes.h"
#include "platform/macos/CFHolder.h"

#include <ApplicationServices/ApplicationServices.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace mq::platform::macos {

class AXElementTable {
public:
    /// The handle `element` stands for (retained), or nothing when it stands for none.
    CFHolder<AXUIElementRef> resolve(const AXElementRef& element);

    /// The value that stands for `handle`: the same token for every handle CFEqual to it.
    AXElementRef intern(AXUIElementRef handle);

    AXElementRef application(pid_type pid);
    AXElementRef systemWide();

private:
    struct Entry {
        CFHolder<AXUIElementRef> handle;
        pid_type pid { 0 };
    };
    AXUIElementRef applicationHandleLocked(pid_type pid);
    void dropEndedProcessesLocked();

    static constexpr std::size_t kPruneThreshold = 4096;

    std::mutex m_mutex;
    CFHolder<AXUIElementRef> m_systemWide;
    std::map<pid_type, CFHolder<AXUIElementRef>> m_applications;
    std::unordered_map<std::uint64_t, Entry> m_byToken;
    /// CFHash of a handle to the tokens with that hash.
    std::unordered_multimap<CFHashCode, std::uint64_t> m_byHash;
    std::uint64_t m_nextToken { 1 };
};

} // namespace mq::platform::macos
