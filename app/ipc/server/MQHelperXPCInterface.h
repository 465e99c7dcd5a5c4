// The interface that the helper's service implements, built from the protocol
// table: one method per request of MQHelperXPCProtocol, taking the request's
// arguments and then its one-shot Reply. Only the serving side sees it; clients
// speak the protocol through protocol alone.
#pragma once

#include "marquee/MQHelperXPCProtocol.h"
#include "app/ipc/server/Reply.h"

#include <string_view>
#include <tuple>
#include <type_traits>

namespace mq {

namespace protocol {

template<typename Values>
struct ReplyForValues;
template<typename... Values>
struct ReplyForValues<std::tuple<Values...>> {
    using Type = Reply<void(Values...)>;
};

/// The one-shot Reply of a request (a Reply over its reply values).
template<typename Request>
using ReplyFor = typename ReplyForValues<typename Request::ReplyValues>::Type;

template<typename Signature, typename ReplySignature>
struct HandlerSignature;
template<typename... Args, typename ReplySignature>
struct HandlerSignature<void(Args...), ReplySignature> {
    using Type = void(std::decay_t<Args>..., typename ReplyForValues<typename SignatureTraits<ReplySignature>::Tuple>::Type);
};

/// The handler's method type for a request: its arguments, then its Reply.
template<typename Signature, typename ReplySignature>
using HandlerMethod = typename HandlerSignature<Signature, ReplySignature>::Type;

} // namespace protocol

/// What the service conforms to: every request of MQHelperXPCProtocol as a method.
class MQHelperXPCProtocol {
public:
    virtual ~MQHelperXPCProtocol() = default;

#define MQ_DECLARE_HANDLER(M, S, Sig, RSig) virtual protocol::HandlerMethod<Sig, RSig> M = 0;
    MQ_HELPER_XPC_PROTOCOL(MQ_DECLARE_HANDLER)
#undef MQ_DECLARE_HANDLER

    /// Whether the method for `selector` returns at once, never blocking the thread
    /// that delivers it (it replies there and then, or hands the work to another
    /// queue). The listener then runs it on its I/O thread when the connection has
    /// no earlier request waiting or running, saving the hand-off to the
    /// connection's queue; the order of one connection's requests is unchanged.
    virtual bool returnsAtOnce(std::string_view selector) const
    {
        (void)selector;
        return false;
    }
};

} // namespace mq
