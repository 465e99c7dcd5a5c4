// Typed tuples to and from WireValue lists: the arguments of a request and the
// values of its reply, checked against the types that MQHelperXPCProtocol declares.
#pragma once

#include "marquee/Expected.h"
#include "marquee/WireValue.h"

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace mq::ipc {

template<typename Tuple>
std::vector<WireValue> encodeTuple(Tuple values)
{
    return std::apply(
        [](auto&&... v) {
            std::vector<WireValue> out;
            out.reserve(sizeof...(v));
            (out.push_back(WireTraits<std::decay_t<decltype(v)>>::encode(std::move(v))), ...);
            return out;
        },
        std::move(values));
}

/// Decodes `values` as `Tuple`; on a count or type mismatch returns the reason.
template<typename Tuple>
[[nodiscard]] Expected<Tuple, std::string> decodeTuple(const std::vector<WireValue>& values)
{
    constexpr size_t count = std::tuple_size_v<Tuple>;
    if (values.size() != count)
        return unexpected("expected " + std::to_string(count) + " values, got " + std::to_string(values.size()));
    Tuple out {};
    std::string reason;
    [&]<size_t... I>(std::index_sequence<I...>) {
        auto decodeOne = [&](auto& slot, size_t index) {
            using T = std::decay_t<decltype(slot)>;
            if (!reason.empty())
                return;
            if (!WireTraits<T>::decode(values[index], slot))
                reason = "value " + std::to_string(index) + " is not a " + WireTraits<T>::name;
        };
        (decodeOne(std::get<I>(out), I), ...);
        (void)decodeOne; // Unused for requests without arguments.
    }(std::make_index_sequence<count> {});
    if (!reason.empty())
        return unexpected(std::move(reason));
    return out;
}

} // namespace mq::ipc
