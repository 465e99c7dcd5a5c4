// The one-shot reply object that every request hands to its handler.
//
// A Reply must be called exactly once. Calling it a second time, or destroying it
// without calling it, is a bug in the helper: it is logged at fault level, counted
// (replyFaultCount), and the tests fail on it. Replies are move-only and may be
// called from any thread.
//
// The one exception: a reply destroyed while an exception unwinds, or while the
// queue job that threw is destroyed (platform/JobBoundary.h), is answered as a
// failure, so that the client still hears once.
#pragma once

#include "platform/JobBoundary.h"
#include "marquee/ServiceError.h"
#include "marquee/ServiceErrorCodes.h"
#include "marquee/UniqueFunction.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace mq {

/// Logs a misused reply at fault level and counts it.
void reportReplyFault(std::string_view selector, std::string_view what);
/// How many reply faults this process has seen.
std::uint64_t replyFaultCount();


/// Logs that a reply was answered as a failure because its job threw.
void reportReplyAnsweredAsFailure(std::string_view selector);

/// The connection a request came in on, as its handler may ask about it.
class RequestOrigin {
public:
    virtual ~RequestOrigin() = default;
    /// Tells the connections of one listener apart (0 when there is no connection).
    virtual std::uint64_t connectionNumber() const { return 0; }
    /// True once the connection has closed: nobody waits for the reply any more.
    virtual bool isClosed() const { return false; }
};

namespace detail {

template<typename T>
struct IsOptional : std::false_type {};
template<typename T>
struct IsOptional<std::optional<T>> : std::true_type {};

/// A reply value that says "failed": false, NaN, -1, nothing, an empty text, or
/// the internal error where the reply has an error slot.
template<typename T>
T failureValue(std::string_view selector)
{
    if constexpr (std::is_same_v<T, std::optional<ServiceError>>)
        return makeServiceError(kInternalErrorCode, std::string(selector) + " failed inside the helper");
    else if constexpr (std::is_same_v<T, bool>)
        return false;
    else if constexpr (std::is_floating_point_v<T>)
        return std::nan("");
    else if constexpr (std::is_signed_v<T>)
        return T(-1);
    else
        return T {};
}

} // namespace detail

template<typename Signature>
class Reply;

template<typename... Values>
class Reply<void(Values...)> {
public:
    using Deliver = UniqueFunction<void(Values...)>;

    Reply(std::string selector, Deliver deliver, std::shared_ptr<const RequestOrigin> origin = nullptr)
        : m_selector(std::move(selector))
        , m_deliver(std::move(deliver))
        , m_origin(std::move(origin))
        , m_armed(true)
    {
    }

    Reply(Reply&& other) noexcept
        : m_selector(std::move(other.m_selector))
        , m_deliver(std::move(other.m_deliver))
        , m_origin(std::move(other.m_origin))
        , m_armed(std::exchange(other.m_armed, false))
        , m_called(other.m_called)
    {
    }
    Reply& operator=(Reply&&) = delete;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;

    ~Reply()
    {
        if (!m_armed)
            return;
        if (std::uncaught_exceptions() > 0 || failedJobTeardownInProgress()) {
            reportReplyAnsweredAsFailure(m_selector);
            (*this)(detail::failureValue<Values>(m_selector)...);
            return;
        }
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
    /// The connection the request came in on; nothing for a reply made outside one.
    const std::shared_ptr<const RequestOrigin>& origin() const { return m_origin; }

private:
    std::string m_selector;
    Deliver m_deliver;
    std::shared_ptr<const RequestOrigin> m_origin;
    bool m_armed { false };
    bool m_called { false };
};

} // namespace mq
