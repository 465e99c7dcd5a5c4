#include "platform/linux/LogicSimWire.h"

#include "base/HexDigit.h"

#include <cmath>
#include <cstdlib>

namespace mq::platform::wire {

using nlohmann::json;

std::optional<std::string> defaultSocketPath()
{
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir)
        return std::nullopt;
    return std::string(dir) + "/" + kSocketName;
}

namespace {

json encodeDouble(double value)
{
    if (std::isnan(value))
        return json { { "real", "nan" } };
    if (std::isinf(value))
        return json { { "real", value > 0 ? "inf" : "-inf" } };
    return json(value);
}

std::optional<double> decodeDouble(const json& j)
{
    if (j.is_number())
        return j.get<double>();
    if (j.is_string()) {
        auto text = j.get<std::string>();
        if (text == "nan")
            return std::nan("");
        if (text == "inf")
            return INFINITY;
        if (text == "-inf")
            return -INFINITY;
    }
    return std::nullopt;
}

std::optional<std::vector<double>> numbers(const json& j, size_t count)
{
    if (!j.is_array() || j.size() != count)
        return std::nullopt;
    std::vector<double> out;
    for (const auto& item : j) {
        auto d = decodeDouble(item);
        if (!d)
            return std::nullopt;
        out.push_back(*d);
    }
    return out;
}

json encodeAXValue(const AXValue& value)
{
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, CGPoint>)
                return { { "point", { encodeDouble(v.x), encodeDouble(v.y) } } };
            else if constexpr (std::is_same_v<T, CGSize>)
                return { { "size", { encodeDouble(v.width), encodeDouble(v.height) } } };
            else if constexpr (std::is_same_v<T, CGRect>)
                return { { "rect",
                    { encodeDouble(v.origin.x), encodeDouble(v.origin.y), encodeDouble(v.size.width), encodeDouble(v.size.height) } } };
            else if constexpr (std::is_same_v<T, CFRange>)
                return { { "range", { v.location, v.length } } };
            else if constexpr (std::is_same_v<T, AXValueError>)
                return { { "axError", v.code } };
            else
                return { { "axValueType", v.type } };
        },
        value);
}

} // namespace

std::string hexEncode(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::optional<std::string> hexDecode(std::string_view text)
{
    if (text.size() % 2)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = hexDigitValue(text[i]), low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return out;
}

json encodeElement(const AXElementRef& element)
{
    if (element.isSystemWide)
        return { { "systemWide", true } };
    return { { "element", element.token }, { "pid", element.pid } };
}

std::optional<AXElementRef> decodeElement(const json& j)
{
    if (!j.is_object())
        return std::nullopt;
    if (auto it = j.find("systemWide"); it != j.end() && it->is_boolean() && it->get<bool>())
        return AXElementRef { 0, 0, true };
    auto token = j.find("element");
    auto pid = j.find("pid");
    if (token == j.end() || pid == j.end() || !token->is_number_unsigned() || !pid->is_number_integer())
        return std::nullopt;
    return AXElementRef { pid->get<pid_type>(), token->get<std::uint64_t>(), false };
}

json encode(const CFValue& value)
{
    return std::visit(
        [](const auto& v) -> json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, CFNull>)
                return nullptr;
            else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::string>)
                return v;
            else if constexpr (std::is_same_v<T, double>) {
                if (std::isfinite(v))
                    return v;
                return encodeDouble(v);
            } else if constexpr (std::is_same_v<T, URL>)
                return { { "url", v.absoluteString() } };
            else if constexpr (std::is_same_v<T, AXElementRef>)
                return encodeElement(v);
            else if constexpr (std::is_same_v<T, AXValue>)
                return encodeAXValue(v);
            else if constexpr (std::is_same_v<T, CFArray>) {
                json array = json::array();
                for (const auto& item : v)
                    array.push_back(encode(item));
                return array;
            } else {
                json pairs = json::array();
                for (const auto& [key, item] : v)
                    pairs.push_back(json::array({ key, encode(item) }));
                return { { "dict", pairs } };
            }
        },
        value.storage);
}

std::optional<CFValue> decode(const json& j)
{
    switch (j.type()) {
    case json::value_t::null: return CFValue(CFNull {});
    case json::value_t::boolean: return CFValue(j.get<bool>());
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: return CFValue(j.get<std::int64_t>());
    case json::value_t::number_float: return CFValue(j.get<double>());
    case json::value_t::string: return CFValue(j.get<std::string>());
    case json::value_t::array: {
        CFArray array;
        for (const auto& item : j) {
            auto decoded = decode(item);
            if (!decoded)
                return std::nullopt;
            array.push_back(std::move(*decoded));
        }
        return CFValue(std::move(array));
    }
    case json::value_t::object: break;
    default: return std::nullopt;
    }
    if (j.size() == 2 && j.contains("element"))
        if (auto element = decodeElement(j))
            return CFValue(*element);
    if (j.size() != 1)
        return std::nullopt;
    const std::string tag = j.begin().key();
    const json& body = j.begin().value();
    if (tag == "systemWide")
        return CFValue(AXElementRef { 0, 0, true });
    if (tag == "real") {
        if (auto d = decodeDouble(body))
            return CFValue(*d);
        return std::nullopt;
    }
    if (tag == "url") {
        if (!body.is_string())
            return std::nullopt;
        auto url = URL::parse(body.get<std::string>());
        if (!url)
            return std::nullopt;
        return CFValue(*url);
    }
    if (tag == "point") {
        if (auto n = numbers(body, 2))
            return CFValue(AXValue(CGPoint { (*n)[0], (*n)[1] }));
        return std::nullopt;
    }
    if (tag == "size") {
        if (auto n = numbers(body, 2))
            return CFValue(AXValue(CGSize { (*n)[0], (*n)[1] }));
        return std::nullopt;
    }
    if (tag == "rect") {
        if (auto n = numbers(body, 4))
            return CFValue(AXValue(CGRect { { (*n)[0], (*n)[1] }, { (*n)[2], (*n)[3] } }));
        return std::nullopt;
    }
    if (tag == "range") {
        if (body.is_array() && body.size() == 2 && body[0].is_number_integer() && body[1].is_number_integer())
            return CFValue(AXValue(CFRange { body[0].get<std::int64_t>(), body[1].get<std::int64_t>() }));
        return std::nullopt;
    }
    if (tag == "axError" && body.is_number_integer())
        return CFValue(AXValue(AXValueError { body.get<AXErrorCode>() }));
    if (tag == "axValueType" && body.is_number_integer())
        return CFValue(AXValue(AXValueOpaque { body.get<std::int32_t>() }));
    if (tag == "dict" && body.is_array()) {
        CFDictionary dictionary;
        for (const auto& pair : body) {
            if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string())
                return std::nullopt;
            auto decoded = decode(pair[1]);
            if (!decoded)
                return std::nullopt;
            dictionary.emplace_back(pair[0].get<std::string>(), std::move(*decoded));
        }
        return CFValue(std::move(dictionary));
    }
    return std::nullopt;
}

} // namespace mq::platform::wire
