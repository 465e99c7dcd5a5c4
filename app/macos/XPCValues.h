// The one place where the request table's C++ values meet their Objective-C
// counterparts on the XPC side, and the glue that the generated code calls:
//   - toObjC / fromObjC for every type of the table (ObjCTypeNames.h names them);
//   - forward(): an exported method's arguments to the service, with a one-shot
//     Reply whose delivery calls the XPC reply block;
//   - decodeArguments() / encodeReply(): the client's wire values to a proxy call
//     and the reply block's values back.
#pragma once

#include "marquee/Expected.h"
#include "marquee/MQHelperXPCProtocol.h"
#include "marquee/WireTuple.h"
#include "app/ipc/server/MQHelperXPCInterface.h"
#include "app/ipc/server/Reply.h"
#include "marquee/UniqueFunction.h"

#import <Foundation/Foundation.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace mq::xpc {

// C++ to Objective-C.
inline double toObjC(double value) { return value; }
inline BOOL toObjC(bool value) { return value ? YES : NO; }
inline int64_t toObjC(std::int64_t value) { return value; }
inline uint32_t toObjC(std::uint32_t value) { return value; }
inline NSString* toObjC(const std::string& text)
{
    NSString* string = [[NSString alloc] initWithBytes:text.data() length:text.size() encoding:NSUTF8StringEncoding];
    // Text that is not UTF-8 crosses as an empty string rather than as nil, which
    // the interface does not allow for a string argument.
    return string ? string : [[NSString alloc] initWithBytes:"" length:0 encoding:NSUTF8StringEncoding];
}
inline NSURL* toObjC(const URL& url)
{
    return [NSURL URLWithString:toObjC(url.absoluteString())];
}
inline NSData* toObjC(const Data& data)
{
    return [NSData dataWithBytes:data.data() length:data.size()];
}
inline NSError* toObjC(const ServiceError& error)
{
    NSDictionary<NSErrorUserInfoKey, id>* userInfo = [NSDictionary dictionaryWithObject:toObjC(error.localizedDescription)
                                                                                forKey:NSLocalizedDescriptionKey];
    return [NSError errorWithDomain:toObjC(error.domain) code:static_cast<NSInteger>(error.code) userInfo:userInfo];
}
template<typename T>
auto toObjC(const std::optional<T>& value) -> decltype(toObjC(*value))
{
    if (!value)
        return nil;
    return toObjC(*value);
}

// Objective-C to C++.
template<typename T>
struct FromObjC;

template<>
struct FromObjC<double> {
    static double convert(double value) { return value; }
};
template<>
struct FromObjC<bool> {
    static bool convert(BOOL value) { return value != NO; }
};
template<>
struct FromObjC<std::int64_t> {
    static std::int64_t convert(int64_t value) { return value; }
};
template<>
struct FromObjC<std::uint32_t> {
    static std::uint32_t convert(uint32_t value) { return value; }
};
template<>
struct FromObjC<std::optional<std::string>> {
    static std::optional<std::string> convert(NSString* text)
    {
        if (!text)
            return std::nullopt;
        return std::string(text.UTF8String);
    }
};
template<>
struct FromObjC<std::string> {
    static std::string convert(NSString* text) { return FromObjC<std::optional<std::string>>::convert(text).value_or(std::string()); }
};
template<>
struct FromObjC<std::optional<URL>> {
    static std::optional<URL> convert(NSURL* url)
    {
        if (!url)
            return std::nullopt;
        return URL::parse(url.absoluteString.UTF8String);
    }
};
template<>
struct FromObjC<URL> {
    /// A URL the helper cannot parse arrives as the empty URL; the operations treat it as unreachable.
    static URL convert(NSURL* url) { return FromObjC<std::optional<URL>>::convert(url).value_or(URL()); }
};
template<>
struct FromObjC<std::optional<Data>> {
    static std::optional<Data> convert(NSData* data)
    {
        if (!data)
            return std::nullopt;
        auto* bytes = static_cast<const std::uint8_t*>(data.bytes);
        return Data(bytes, bytes + data.length);
    }
};
template<>
struct FromObjC<OptionalError> {
    static OptionalError convert(NSError* error)
    {
        if (!error)
            return std::nullopt;
        return ServiceError { std::string(error.domain.UTF8String), static_cast<std::int64_t>(error.code),
            std::string(error.localizedDescription.UTF8String) };
    }
};

template<typename Tuple, typename... ObjCValues>
Tuple fromObjCValues(ObjCValues... values)
{
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return Tuple { FromObjC<std::tuple_element_t<I, Tuple>>::convert(values)... };
    }(std::make_index_sequence<sizeof...(ObjCValues)> {});
}

template<typename Tuple>
struct DeliverFor;
template<typename... Values>
struct DeliverFor<std::tuple<Values...>> {
    /// The delivery of a one-shot Reply: calls the XPC reply block with each value converted.
    template<typename Block>
    static UniqueFunction<void(Values...)> make(Block reply)
    {
        return [reply](Values... values) { reply(toObjC(values)...); };
    }
};

/// An exported method's body: converts the arguments, hands them to `service`
/// with a Reply that answers `reply` once, and returns at once.
template<typename Request, typename Method, typename Block, typename... ObjCArguments>
void forward(MQHelperXPCProtocol& service, Method method, Block reply, ObjCArguments... arguments)
{
    static_assert(sizeof...(ObjCArguments) == std::tuple_size_v<typename Request::Arguments>);
    auto values = fromObjCValues<typename Request::Arguments>(arguments...);
    protocol::ReplyFor<Request> once(std::string(Request::selector), DeliverFor<typename Request::ReplyValues>::make(reply));
    std::apply([&](auto&&... value) { (service.*method)(std::move(value)..., std::move(once)); }, std::move(values));
}

/// Where the client's proxy call answers: the reply's wire values, or why there
/// are none. Whichever comes first (the reply block or the connection's error
/// handler) is delivered; the other is dropped.
class ReplySink {
public:
    /// Why a request has no reply values.
    struct Failure {
        /// True when the connection broke; false when the values did not match the table.
        bool connectionBroke { false };
        std::string why;
    };
    using Outcome = Expected<std::vector<WireValue>, Failure>;
    explicit ReplySink(UniqueFunction<void(Outcome)> deliver)
        : m_state(std::make_shared<State>())
    {
        m_state->deliver = std::move(deliver);
    }
    void deliver(Outcome outcome) const
    {
        if (m_state->delivered.exchange(true))
            return;
        auto deliver = std::move(m_state->deliver);
        deliver(std::move(outcome));
    }

private:
    struct State {
        std::atomic<bool> delivered { false };
        UniqueFunction<void(Outcome)> deliver;
    };
    std::shared_ptr<State> m_state;
};

/// The request's arguments from the client's wire values; nothing (and the
/// reason delivered to `sink`) when they do not match the table.
template<typename Request>
std::optional<typename Request::Arguments> decodeArguments(const std::vector<WireValue>& values, const ReplySink& sink)
{
    auto decoded = ipc::decodeTuple<typename Request::Arguments>(values);
    if (!decoded) {
        sink.deliver(unexpected(ReplySink::Failure { false, std::string(Request::selector) + ": " + decoded.error() }));
        return std::nullopt;
    }
    return std::move(decoded).value();
}

/// The reply block's values as the client's wire values.
template<typename Request, typename... ObjCValues>
std::vector<WireValue> encodeReply(ObjCValues... values)
{
    return ipc::encodeTuple(fromObjCValues<typename Request::ReplyValues>(values...));
}

} // namespace mq::xpc
