#include "app/ipc/server/RequestDispatch.h"

#include "marquee/WireTuple.h"

#include <unordered_map>

namespace mq::ipc {

namespace {

using Prepare = Expected<PreparedRequest, ProtocolViolation> (*)(Frame&&);

template<typename ReplyValues>
struct ReplyDelivery;

template<typename... V>
struct ReplyDelivery<std::tuple<V...>> {
    static UniqueFunction<void(V...)> make(std::shared_ptr<ReplySender> sender, std::uint64_t id)
    {
        return [sender = std::move(sender), id](V... values) {
            sender->sendReply(id, encodeTuple(std::tuple<V...>(std::move(values)...)));
        };
    }
};

template<typename Values>
struct CarriesData;
template<typename... V>
struct CarriesData<std::tuple<V...>> {
    static constexpr bool value = ((std::is_same_v<V, Data> || std::is_same_v<V, std::optional<Data>>) || ...);
};

template<typename Request, auto handlerMethod>
Expected<PreparedRequest, ProtocolViolation> prepare(Frame&& frame)
{
    auto decoded = decodeTuple<typename Request::Arguments>(frame.values);
    if (!decoded)
        return unexpected(ProtocolViolation { std::string(Request::selector) + ": " + decoded.error() });

    auto id = frame.id;
    auto invoke = [arguments = std::move(decoded).value(), id](
                      MQHelperXPCProtocol& handler, std::shared_ptr<ReplySender> sender) mutable {
        std::shared_ptr<const RequestOrigin> origin = sender;
        protocol::ReplyFor<Request> reply(std::string(Request::selector),
            ReplyDelivery<typename Request::ReplyValues>::make(std::move(sender), id), std::move(origin));
        std::apply(
            [&](auto&... args) { (handler.*handlerMethod)(std::move(args)..., std::move(reply)); }, arguments);
    };
    return PreparedRequest { Request::selector, id, CarriesData<typename Request::ReplyValues>::value, std::move(invoke) };
}

const std::unordered_map<std::string_view, Prepare>& dispatchTable()
{
    static const std::unordered_map<std::string_view, Prepare> table {
#define MQ_TABLE_ENTRY(M, S, Sig, RSig) { protocol::M::selector, &prepare<protocol::M, &MQHelperXPCProtocol::M> },
        MQ_HELPER_XPC_PROTOCOL(MQ_TABLE_ENTRY)
#undef MQ_TABLE_ENTRY
    };
    return table;
}

} // namespace

Expected<PreparedRequest, ProtocolViolation> prepareRequest(Frame&& frame)
{
    if (frame.kind != FrameKind::request)
        return unexpected(ProtocolViolation { "a reply frame sent to the helper" });
    const auto& table = dispatchTable();
    auto entry = table.find(frame.selector);
    if (entry == table.end())
        return unexpected(ProtocolViolation { "unknown selector '" + frame.selector + "'" });
    return entry->second(std::move(frame));
}

} // namespace mq::ipc
