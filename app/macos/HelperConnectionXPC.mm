// The client library's macOS side: HelperConnection over an NSXPCConnection to
// the Mach service "com.quillmoor.marquee.helper". Each request goes through the
// generated table (selector to a call of the proxy with the request's typed
// arguments); its reply block, or the connection's error handler when the
// connection breaks first, answers the callback exactly once.
#import <Foundation/Foundation.h>

#import "MQHelperXPCProtocol.h"

#include "protocol/ServiceEndpoint.h"
#include "app/macos/XPCValues.h"
#include "marquee/HelperConnection.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace mq::client {

namespace {

using ProxyCall = void (*)(id<MQHelperXPCProtocol> proxy, const std::vector<WireValue>& values, xpc::ReplySink sink);

const std::map<std::string_view, ProxyCall>& proxyCalls()
{
    static const std::map<std::string_view, ProxyCall> calls {
#include "MQHelperXPCClientCalls.inc"
    };
    return calls;
}

Result<std::vector<WireValue>> toResult(xpc::ReplySink::Outcome outcome)
{
    if (outcome)
        return std::move(outcome).value();
    xpc::ReplySink::Failure failure = std::move(outcome).error();
    return unexpected(
        ClientError { failure.connectionBroke ? ClientError::Kind::disconnected : ClientError::Kind::badReply, std::move(failure.why) });
}

} // namespace

struct HelperConnection::Impl {
    NSXPCConnection* connection { nil };
    /// Replies that came after their caller stopped waiting.
    std::shared_ptr<std::atomic<std::uint64_t>> lateReplies { std::make_shared<std::atomic<std::uint64_t>>(0) };
    mutable std::mutex mutex;
    mutable std::condition_variable closedChanged;
    bool closed { false };

    void markClosed()
    {
        {
            std::lock_guard lock(mutex);
            closed = true;
        }
        closedChanged.notify_all();
    }
};

Result<std::unique_ptr<HelperConnection>> HelperConnection::connect(std::optional<std::string> socketPath)
{
    // The Mach service has one name; a socket path has no meaning here.
    (void)socketPath;
    auto impl = std::make_unique<Impl>();
    std::string name(ipc::kServiceName);
    impl->connection = [[NSXPCConnection alloc] initWithMachServiceName:xpc::toObjC(name) options:0];
    impl->connection.remoteObjectInterface = [NSXPCInterface interfaceWithProtocol:@protocol(MQHelperXPCProtocol)];
    Impl* state = impl.get();
    impl->connection.invalidationHandler = ^{
        state->markClosed();
    };
    [impl->connection resume];
    // A Mach service is looked up lazily: an unreachable helper shows as an error of the first request.
    return std::unique_ptr<HelperConnection>(new HelperConnection(std::move(impl)));
}

HelperConnection::HelperConnection(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

HelperConnection::~HelperConnection()
{
    // Invalidation answers every request still waiting through its error handler.
    m_impl->connection.invalidationHandler = nil;
    [m_impl->connection invalidate];
}

void HelperConnection::sendEncoded(std::string_view selector, std::vector<WireValue> values,
    UniqueFunction<void(Result<std::vector<WireValue>>)> onReply)
{
    xpc::ReplySink sink([onReply = std::move(onReply)](xpc::ReplySink::Outcome outcome) mutable { onReply(toResult(std::move(outcome))); });
    auto call = proxyCalls().find(selector);
    if (call == proxyCalls().end()) {
        sink.deliver(unexpected(xpc::ReplySink::Failure { false, std::string(selector) + ": not a request of MQHelperXPCProtocol" }));
        return;
    }
    id<MQHelperXPCProtocol> proxy = [m_impl->connection remoteObjectProxyWithErrorHandler:^(NSError* error) {
        sink.deliver(unexpected(xpc::ReplySink::Failure { true, std::string("connection broke: ") + error.localizedDescription.UTF8String }));
    }];
    call->second(proxy, values, sink);
}

Result<std::vector<WireValue>> HelperConnection::callEncoded(std::string_view selector, std::vector<WireValue> values,
    std::chrono::milliseconds timeout)
{
    struct Waiter {
        std::mutex mutex;
        std::condition_variable arrived;
        std::optional<Result<std::vector<WireValue>>> result;
        bool abandoned { false };
    };
    auto waiter = std::make_shared<Waiter>();
    sendEncoded(selector, std::move(values), [waiter, late = m_impl->lateReplies](Result<std::vector<WireValue>> result) {
        {
            std::lock_guard lock(waiter->mutex);
            if (waiter->abandoned) {
                ++*late;
                return;
            }
            waiter->result.emplace(std::move(result));
        }
        waiter->arrived.notify_all();
    });
    std::unique_lock lock(waiter->mutex);
    if (!waiter->arrived.wait_for(lock, timeout, [&] { return waiter->result.has_value(); })) {
        waiter->abandoned = true;
        return unexpected(ClientError { ClientError::Kind::timedOut, std::string(selector) + ": no reply within the time-out" });
    }
    return std::move(*waiter->result);
}

std::uint64_t HelperConnection::unmatchedReplyCount() const
{
    // XPC matches every reply to its request; what can come unasked is a reply
    // after its caller stopped waiting.
    return *m_impl->lateReplies;
}

bool HelperConnection::isClosed() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->closed;
}

bool HelperConnection::waitUntilClosed(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_impl->mutex);
    return m_impl->closedChanged.wait_for(lock, timeout, [&] { return m_impl->closed; });
}

} // namespace mq::client
