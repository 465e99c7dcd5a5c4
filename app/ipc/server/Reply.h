// The one-shot reply object that every request hands to its handler.
//
// A Reply must be called exactly once. Calling it a second time, or destroying it
// without calling it, is a bug in the helper: it is logged at fault level, counted
// (replyFaultCount), and the tests fail on it. Replies are move-only and may be
// called from any thread.
#pragma once

#include "platform/UniqueFunction.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace mq {

/// Logs a misused reply at fault level and counts it.
void reportReplyFault(std::string_view selector, std::string_view what);
/// How many reply faults this process has seen.
std::uint64_t replyFaultCount();

template<typename Signature>
class Reply;

template<typename... Values>
class Reply<void(Values...)> {
public:
    using Deliver = UniqueFunction<void(Values...)>;

    Reply(std::string selector, Deliver deliver)
        : m_selector(std::move(selector))
        , m_deliver(std::move(deliver))
        , m_armed(true)
    {
    }

    Reply(Reply&& other) noexcept
        : m_selector(std::move(other.m_selector))
        , m_deliver(std::move(other.m_deliver))
        , m_armed(std::exchange(other.m_armed, false))
        , m_called(other.m_called)
    {
    }
    Reply& operator=(Reply&&) = delete;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;

    ~Reply()
    {
        if (m_armed)
            reportReplyFault(m_selector, "dropped without a reply");
    }

    /// Sends the reply. A second call is reported and ignored.
    void operator()(Values... values)
    {
        if (!m_armed) {
            reportReplyFault(m_selector, m_called ? "called more than once" : "called after being moved from");
            return;
        }
        m_armed = false;
        m_called = true;
        auto deliver = std::move(m_deliver);
        deliver(std::move(values)...);
    }

    const std::string& selector() const { return m_selector; }
    bool isPending() const { return m_armed; }

private:
    std::string m_selector;
    Deliver m_deliver;
    bool m_armed { false };
    bool m_called { false };
};

} // namespace mq
