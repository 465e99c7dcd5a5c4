// marquee-client: a connection to the Marquee helper, with one typed call per
// request of MQHelperXPCProtocol.
//
// Every request comes in two forms, both expanded from the protocol table:
//   connection.goToLogicPlayheadSMPTESeconds({60.0, 25.0, false})        // blocks, bounded
//   connection.goToLogicPlayheadSMPTESecondsAsync({60.0, 25.0, false}, callback)
// The arguments are the request's argument tuple and the result is its reply
// values as a tuple, so a call with the wrong types does not compile.
// A blocking call reads its own reply on the calling thread: no other thread wakes
// on its way back. Whatever it reads that belongs to another request it hands over.
// Callbacks run exactly once each, with the reply or with a ClientError when the
// connection breaks first, on whichever thread read the reply: the connection's
// reader thread, or a thread that waits in a blocking call on the same connection.
// When the helper closes the connection while none of its requests is waiting for
// a reply (it closes the longest-idle connection to let a new client in when it
// serves as many as it can), the next call connects again, once, and goes out on
// the new connection.
#pragma once

#include "marquee/Expected.h"
#include "marquee/MQHelperXPCProtocol.h"
#include "marquee/WireTuple.h"
#include "marquee/UniqueFunction.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mq::client {

struct ClientError {
    enum class Kind {
        unreachable, ///< No helper listens on the socket.
        disconnected, ///< The connection closed before the reply came.
        timedOut, ///< No reply within the time-out.
        badReply, ///< The helper's reply did not match the protocol.
    };
    Kind kind;
    std::string message;
};

/// The reply values of a request, or why there are none.
template<typename T>
using Result = Expected<T, ClientError>;

template<typename Request>
using ReplyCallback = UniqueFunction<void(Result<typename Request::ReplyValues>)>;

inline constexpr std::chrono::milliseconds kDefaultCallTimeout { 30000 };

class HelperConnection {
public:
    /// Connects to the helper's socket (the service's usual place when `socketPath` is empty).
    static Result<std::unique_ptr<HelperConnection>> connect(std::optional<std::string> socketPath = std::nullopt);
    ~HelperConnection(); // Pending callbacks get ClientError::disconnected.
    HelperConnection(const HelperConnection&) = delete;
    HelperConnection& operator=(const HelperConnection&) = delete;

    template<typename Request>
    void send(typename Request::Arguments arguments, ReplyCallback<Request> onReply)
    {
        sendEncoded(Request::selector, ipc::encodeTuple(std::move(arguments)),
            [onReply = std::move(onReply)](Result<std::vector<WireValue>> values) mutable {
                onReply(decodeReply<Request>(std::move(values)));
            });
    }

    /// Sends the request and waits for its reply at most `timeout`, reading it on
    /// the calling thread unless another thread is reading already.
    template<typename Request>
    Result<typename Request::ReplyValues> call(typename Request::Arguments arguments, std::chrono::milliseconds timeout = kDefaultCallTimeout)
    {
        return decodeReply<Request>(callEncoded(Request::selector, ipc::encodeTuple(std::move(arguments)), timeout));
    }

#define MQ_CLIENT_METHODS(M, S, Sig, RSig)                                                                            \
    Result<protocol::M::ReplyValues> M(protocol::M::Arguments arguments, std::chrono::milliseconds timeout = kDefaultCallTimeout) \
    {                                                                                                                 \
        return call<protocol::M>(std::move(arguments), timeout);                                                     \
    }                                                                                                                 \
    void M##Async(protocol::M::Arguments arguments, ReplyCallback<protocol::M> onReply)                              \
    {                                                                                                                 \
        send<protocol::M>(std::move(arguments), std::move(onReply));                                                 \
    }
    MQ_HELPER_XPC_PROTOCOL(MQ_CLIENT_METHODS)
#undef MQ_CLIENT_METHODS

    /// Reply frames that matched no waiting request (a second reply to one
    /// request, or a reply after its caller timed out).
    std::uint64_t unmatchedReplyCount() const;
    /// True once the helper closed the connection or it broke.
    bool isClosed() const;
    /// Waits until the connection is closed, at most `timeout`.
    [[nodiscard]] bool waitUntilClosed(std::chrono::milliseconds timeout) const;

    struct Impl;

private:
    template<typename Request>
    static Result<typename Request::ReplyValues> decodeReply(Result<std::vector<WireValue>> values)
    {
        if (!values)
            return unexpected(values.error());
        auto decoded = ipc::decodeTuple<typename Request::ReplyValues>(values.value());
        if (!decoded)
            return unexpected(ClientError { ClientError::Kind::badReply, std::string(Request::selector) + ": " + decoded.error() });
        return std::move(decoded).value();
    }

    explicit HelperConnection(std::unique_ptr<Impl> impl);
    void sendEncoded(std::string_view selector, std::vector<WireValue> values, UniqueFunction<void(Result<std::vector<WireValue>>)> onReply);
    Result<std::vector<WireValue>> callEncoded(std::string_view selector, std::vector<WireValue> values, std::chrono::milliseconds timeout);

    std::unique_ptr<Impl> m_impl;
};

} // namespace mq::client
